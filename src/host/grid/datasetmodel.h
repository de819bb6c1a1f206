// SPDX-License-Identifier: MIT
#pragma once

#include "gridcolumn.h"

#include <QAbstractTableModel>

#include <memory>

namespace erp {
class DataSet;
class DataSource;
class Field;
} // namespace erp

namespace erp::host {

// A table model over the dataset behind a data source: one row per dataset
// row plus the row being inserted, one column per grid column. The dataset
// keeps the edit buffer: submit() posts the current row and revert() cancels
// it. Texts come from the fields' get-text rules and go back through their
// set-text rules.
//
// Not supported: sorting, drag and drop, more than one row in edit at a time
// (the dataset has one cursor).
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(QObject* parent = nullptr);
    ~DataSetModel() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const;
    DataSet* dataSet() const; // null without a data source or dataset

    // One column per entry; an empty list shows every visible field.
    void setColumns(const QList<GridColumn>& columns);
    Field* field(int column) const; // null for a column whose field is missing
    int columnOf(const Field& field) const; // -1 when no column shows it

    // The view row of the dataset's cursor (the row being inserted while
    // inserting), -1 without one.
    int currentRow() const;
    // Writes a text the user entered into a field of the current row, putting
    // a browsing dataset into edit first. Throws whatever the dataset and the
    // field's rules throw; returns false when the index is not the current row.
    bool writeText(const QModelIndex& index, const QString& text);
    // Whether writeText can write the cell: a field's cell of the current row.
    bool writable(const QModelIndex& index) const;
    // True while rows are being inserted, removed or reset: the view's own
    // housekeeping of its cursor is not a move by the user.
    bool changingStructure() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

public Q_SLOTS:
    bool submit() override;
    void revert() override;

Q_SIGNALS:
    // The dataset's cursor moved, or its rows changed: views follow it.
    void cursorMoved();
    // The dataset entered or left edit or insert.
    void editingChanged();

private:
    struct Private;
    std::unique_ptr<Private> const d;
};

} // namespace erp::host
