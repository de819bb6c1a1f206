// SPDX-License-Identifier: MIT
#include "datasetmodel.h"

#include "host/services.h"
#include "platform/datalink.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "platform/field.h"

#include <QPointer>
#include <QTimer>

#include <exception>
#include <utility>

namespace erp::host {

namespace {
bool valid(const QModelIndex& index)
{
    return index.isValid() && !index.parent().isValid();
}

bool editing(const DataSet* ds)
{
    return ds && ds->isEditing();
}
} // namespace

struct DataSetModel::Private : DataLink {
    explicit Private(DataSetModel& model) : q(model) {}

    DataSetModel& q;
    QList<GridColumn> columns;
    QList<Field*> fields; // resolved per column; null for a missing field
    // What the view was last told: rows, the row being inserted, the cursor.
    int rows = 0;
    int insertRow = -1;
    int current = -1;
    int structureDepth = 0;
    int removing = -1; // a deleted row the view still shows until endRemoveRows
    // A get-text rule that throws while drawing is reported once, later, and
    // not again until the data changes: a dialog inside a paint would recur.
    mutable bool readFailureReported = false;

    DataSet* dataSet() const { return dataSource() ? dataSource()->dataSet() : nullptr; }
    bool active() const { return dataSet() && dataSet()->active(); }

    void activeChanged() override { reset(); }
    void dataSetChanged() override { sync(); }
    void editingChanged() override
    {
        Q_EMIT q.editingChanged();
        sync();
    }
    void recordChanged(Field* f) override;
    void dataSetScrolled() override;

    void resolveFields();
    int liveRows() const;
    int liveCurrent() const;
    void reset();
    void sync();
    void setCurrent(int row);
    void reportReadFailure(std::exception_ptr e) const;

    // Which dataset row a view row shows: -2 for the row being inserted, -3
    // for a deleted row the view still shows.
    int dataSetRow(int viewRow) const
    {
        if (removing >= 0 && viewRow >= removing)
            return viewRow == removing ? -3 : viewRow - 1;
        if (insertRow < 0 || viewRow < insertRow)
            return viewRow;
        return viewRow == insertRow ? -2 : viewRow - 1;
    }
};

void DataSetModel::Private::resolveFields()
{
    fields.clear();
    DataSet* ds = dataSet();
    if (!ds)
        return;
    if (columns.isEmpty()) {
        for (int i = 0; i < ds->fieldCount(); ++i)
            if (ds->field(i).visible())
                fields.append(&ds->field(i));
        return;
    }
    for (const GridColumn& c : std::as_const(columns))
        fields.append(ds->findField(c.fieldName));
}

int DataSetModel::Private::liveRows() const
{
    const DataSet* ds = dataSet();
    if (!ds || !ds->active())
        return 0;
    return ds->recordCount() + (ds->insertRow() >= 0 ? 1 : 0);
}

int DataSetModel::Private::liveCurrent() const
{
    const DataSet* ds = dataSet();
    if (!ds || !ds->active())
        return -1;
    if (ds->insertRow() >= 0)
        return ds->insertRow();
    const int r = ds->recNo();
    return r >= 0 && r < ds->recordCount() ? r : -1;
}

void DataSetModel::Private::reset()
{
    ++structureDepth;
    q.beginResetModel();
    resolveFields();
    rows = liveRows();
    insertRow = dataSet() && active() ? dataSet()->insertRow() : -1;
    current = liveCurrent();
    readFailureReported = false;
    q.endResetModel();
    --structureDepth;
    Q_EMIT q.cursorMoved();
}

// The dataset has already changed when it tells its links, so the model
// works out the change from what it last told the view. Rows are read live,
// and the cached row count and insert position keep the two sides of every
// begin/end pair consistent.
void DataSetModel::Private::sync()
{
    DataSet* ds = dataSet();
    if (!ds || !ds->active()) {
        if (rows != 0)
            reset();
        return;
    }
    const int newInsert = ds->insertRow();
    const int newRows = liveRows();
    ++structureDepth;
    bool full = false;
    if (newInsert != insertRow) {
        if (insertRow < 0 && newRows == rows + 1) { // an insert began
            q.beginInsertRows({}, newInsert, newInsert);
            rows = newRows;
            insertRow = newInsert;
            q.endInsertRows();
        } else if (newInsert < 0 && newRows == rows - 1) { // the new row was cancelled
            q.beginRemoveRows({}, insertRow, insertRow);
            rows = newRows;
            insertRow = -1;
            q.endRemoveRows();
        } else if (newInsert < 0 && newRows == rows) { // the new row was posted in place
            insertRow = -1;
        } else {
            full = true;
        }
    } else if (newRows == rows - 1 && current >= 0 && current < rows) { // the current row was deleted
        removing = current;
        q.beginRemoveRows({}, current, current);
        rows = newRows;
        removing = -1;
        q.endRemoveRows();
    } else if (newRows != rows) {
        full = true;
    }
    --structureDepth;
    if (full) {
        reset();
        return;
    }
    readFailureReported = false;
    if (rows > 0 && !fields.isEmpty())
        Q_EMIT q.dataChanged(q.index(0, 0), q.index(rows - 1, int(fields.size()) - 1));
    setCurrent(liveCurrent());
}

void DataSetModel::Private::recordChanged(Field* f)
{
    readFailureReported = false;
    const int row = liveCurrent();
    if (row < 0 || row >= rows || fields.isEmpty())
        return;
    if (!f) {
        Q_EMIT q.dataChanged(q.index(row, 0), q.index(row, int(fields.size()) - 1));
    } else {
        for (int c = 0; c < fields.size(); ++c)
            if (fields[c] == f)
                Q_EMIT q.dataChanged(q.index(row, c), q.index(row, c));
    }
    Q_EMIT q.headerDataChanged(Qt::Vertical, row, row);
}

void DataSetModel::Private::dataSetScrolled()
{
    setCurrent(liveCurrent());
}

void DataSetModel::Private::setCurrent(int row)
{
    const int old = std::exchange(current, row);
    if (old >= 0 && old < rows)
        Q_EMIT q.headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rows)
        Q_EMIT q.headerDataChanged(Qt::Vertical, row, row);
    Q_EMIT q.cursorMoved();
}

void DataSetModel::Private::reportReadFailure(std::exception_ptr e) const
{
    if (readFailureReported)
        return;
    readFailureReported = true;
    QTimer::singleShot(0, &q, [e] { guarded([e] { std::rethrow_exception(e); }); });
}

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent), d(std::make_unique<Private>(*this)) {}

DataSetModel::~DataSetModel() = default;

void DataSetModel::setDataSource(DataSource* source)
{
    if (source == d->dataSource())
        return;
    d->DataLink::setDataSource(source);
    d->reset();
}

DataSource* DataSetModel::dataSource() const
{
    return d->dataSource();
}

DataSet* DataSetModel::dataSet() const
{
    return d->dataSet();
}

void DataSetModel::setColumns(const QList<GridColumn>& columns)
{
    d->columns = columns;
    d->reset();
}

Field* DataSetModel::field(int column) const
{
    return column >= 0 && column < d->fields.size() ? d->fields[column] : nullptr;
}

int DataSetModel::columnOf(const Field& field) const
{
    return int(d->fields.indexOf(&field));
}

int DataSetModel::currentRow() const
{
    return d->current;
}

bool DataSetModel::changingStructure() const
{
    return d->structureDepth > 0;
}

bool DataSetModel::writable(const QModelIndex& index) const
{
    return d->dataSet() && field(index.column()) && index.isValid() && index.row() == d->current;
}

bool DataSetModel::writeText(const QModelIndex& index, const QString& text)
{
    if (!writable(index))
        return false;
    DataSet* ds = d->dataSet();
    if (ds->state() == DataSet::State::Browse)
        ds->edit();
    field(index.column())->setText(text);
    return true;
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : d->rows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(d->fields.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!valid(index))
        return {};
    Field* f = field(index.column());
    DataSet* ds = d->dataSet();
    if (!f || !ds || !ds->active())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(f->alignment());
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};

    const int dsRow = d->dataSetRow(index.row());
    if (dsRow == -3)
        return {};
    // The row being inserted, and the row in edit, read the edit buffer.
    const bool buffer = dsRow == -2 || (ds->state() == DataSet::State::Edit && dsRow == ds->recNo());
    if (dsRow == -2 && ds->state() != DataSet::State::Insert)
        return {}; // a new row that is going away
    try {
        if (buffer)
            return role == Qt::EditRole ? f->text() : f->displayText();
        const DataSet::RowPeek peek(*ds, dsRow);
        return role == Qt::EditRole ? f->text() : f->displayText();
    } catch (...) {
        d->reportReadFailure(std::current_exception());
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= d->fields.size())
            return {};
        if (section < d->columns.size() && !d->columns[section].title.isEmpty())
            return d->columns[section].title;
        if (const Field* f = d->fields[section])
            return f->displayLabel();
        return section < d->columns.size() ? d->columns[section].fieldName : QString();
    }
    if (section < 0 || section >= d->rows || section != d->current)
        return QString();
    // The row indicator: the cursor, a row in edit, a new row.
    switch (d->dataSet() ? d->dataSet()->state() : DataSet::State::Inactive) {
    case DataSet::State::Insert: return QStringLiteral("*");
    case DataSet::State::Edit: return QStringLiteral("I");
    default: return QStringLiteral("\u25B6");
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    if (!valid(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (field(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !valid(index) || !writable(index))
        return false;
    return guarded([&] { writeText(index, value.toString()); });
}

bool DataSetModel::submit()
{
    DataSet* ds = d->dataSet();
    return !editing(ds) || guarded([ds] { ds->post(); });
}

void DataSetModel::revert()
{
    DataSet* ds = d->dataSet();
    if (editing(ds))
        guarded([ds] { ds->cancel(); });
}

} // namespace erp::host
