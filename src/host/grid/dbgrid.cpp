// SPDX-License-Identifier: MIT
#include "dbgrid.h"

#include "datasetmodel.h"
#include "griddelegates.h"
#include "gridselectionmodel.h"

#include "host/dialogs.h"
#include "host/focuschain.h"
#include "host/services.h"
#include "platform/datalink.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "platform/field.h"
#include "wire/errors.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <optional>

namespace erp::host {

namespace {

bool editing(const DataSet* ds)
{
    return ds && (ds->state() == DataSet::State::Edit || ds->state() == DataSet::State::Insert);
}

// A key that types a character into a cell (and so goes to key-press):
// printable ones, Backspace and Enter; not those chorded with Ctrl or Alt.
bool typesCharacter(const QString& text, Qt::KeyboardModifiers modifiers)
{
    if (text.size() != 1 || (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const QChar c = text.front();
    return c.isPrint() || c == u'\b' || c == u'\r';
}

} // namespace

struct TDBGrid::Private {
    explicit Private(TDBGrid& grid) : q(grid), link(*this) {}

    // What the grid hears from the dataset beyond what its model shows.
    struct Link : DataLink {
        explicit Link(Private& owner) : grid(owner) {}
        void updateData() override { grid.updateData(); }
        bool focusControl(Field& f) override { return grid.focusControl(f); }
        Private& grid;
    };

    TDBGrid& q;
    DataSetModel* model = nullptr;
    GridSelectionModel* selection = nullptr;
    TextCellDelegate* textDelegate = nullptr;
    QList<CellDelegate*> columnDelegates;
    QList<GridColumn> columns;
    int selectedColumn = 0;
    bool confirmDelete = true;
    bool cancelOnExit = true;

    QPointer<QWidget> editor;
    QPersistentModelIndex editorIndex;
    // A text that failed to commit was reported once; the same text failing
    // again (the focus-out and the click that caused it) is not reported twice.
    QPointer<QWidget> failedEditor;
    QString failedText;
    bool lastCommitOk = true;
    bool forwarding = false; // a key already seen by key-down/key-press is being delivered
    int moving = 0;          // inside prepareMove: the guard places the cursor itself
    std::exception_ptr* codeError = nullptr;
    QMetaObject::Connection focusConnection;
    Link link;

    DataSet* dataSet() const { return model->dataSet(); }
    CellDelegate* delegateAt(int column) const
    {
        CellDelegate* del = column >= 0 && column < columnDelegates.size() ? columnDelegates[column] : nullptr;
        return del ? del : textDelegate;
    }

    bool keyDown(int& key, Qt::KeyboardModifiers modifiers);
    bool keyPress(QChar& ch);
    void actOnKey(QKeyEvent* e);
    void typeInto(QKeyEvent* e);
    void openEditor();
    bool downAppends();
    void insertRow();
    void escape();
    void deleteRow();
    bool commitEditor(QWidget* ed);
    void dropEditor();
    void moveDataSetTo(DataSet& ds, int viewRow);
    void follow();
    void editingChanged();
    void focusChanged(QWidget* old, QWidget* now);
    void updateData();
    bool focusControl(Field& f);
    void rebuildDelegates();
    void applyWidths();
    bool startEdit(DataSet& ds);
};

// ---------------------------------------------------------------- keys

bool TDBGrid::Private::keyDown(int& key, Qt::KeyboardModifiers modifiers)
{
    if (!q.onKeyDown)
        return true;
    const KeyDownHandler handler = q.onKeyDown;
    bool ran = false;
    guarded([&] {
        handler(q, key, modifiers);
        ran = true;
    });
    return ran && key != 0;
}

bool TDBGrid::Private::keyPress(QChar& ch)
{
    if (!q.onKeyPress)
        return true;
    const KeyPressHandler handler = q.onKeyPress;
    bool ran = false;
    guarded([&] {
        handler(q, ch);
        ran = true;
    });
    return ran && !ch.isNull();
}

// The grid's own handling of a key that passed key-down and key-press.
void TDBGrid::Private::actOnKey(QKeyEvent* e)
{
    const Qt::KeyboardModifiers mods = e->modifiers();
    switch (e->key()) {
    case Qt::Key_Down:
        if (!(mods & Qt::AltModifier) && downAppends()) {
            e->accept();
            return;
        }
        break;
    case Qt::Key_Insert:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            insertRow();
            e->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (!editor && !editing(dataSet()))
            break; // nothing to cancel: a dialog around the grid may want it
        escape();
        e->accept();
        return;
    case Qt::Key_Delete:
        if (mods & Qt::ControlModifier) {
            deleteRow();
            e->accept();
            return;
        }
        break;
    case Qt::Key_F2:
        openEditor();
        e->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(mods & Qt::ControlModifier)) {
            // Tab walks the columns and stays in the grid at its ends.
            const bool back = e->key() == Qt::Key_Backtab || (mods & Qt::ShiftModifier);
            const QModelIndex next = q.moveCursor(back ? MovePrevious : MoveNext, mods);
            if (next.isValid() && next != q.currentIndex())
                selection->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
            e->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (forwarding)
            break; // from an open editor: it has dealt with it
        if (mods & Qt::ControlModifier) {
            const int col = q.selectedIndex();
            if (col >= 0 && col < columns.size() && columns[col].ellipsis)
                q.editButtonClicked(editor);
        } else {
            openEditor();
        }
        e->accept();
        return;
    default:
        break;
    }
    if (!forwarding && typesCharacter(e->text(), mods) && e->text().front() != u'\b') {
        typeInto(e);
        e->accept();
        return;
    }
    if (forwarding && editor) {
        // From the editor: move without taking the focus first, so a refused
        // move leaves the editor as it was.
        std::optional<CursorAction> action;
        switch (e->key()) {
        case Qt::Key_Up: action = MoveUp; break;
        case Qt::Key_Down: action = MoveDown; break;
        case Qt::Key_PageUp: action = MovePageUp; break;
        case Qt::Key_PageDown: action = MovePageDown; break;
        default: break;
        }
        if (action) {
            const QModelIndex next = q.moveCursor(*action, mods);
            if (next.isValid() && next != q.currentIndex())
                selection->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
            e->accept();
            return;
        }
    }
    q.QTableView::keyPressEvent(e);
}

bool TDBGrid::Private::startEdit(DataSet& ds)
{
    if (ds.state() != DataSet::State::Browse)
        return true;
    bool ok = false;
    guarded([&] {
        ds.edit();
        ok = true;
    });
    return ok;
}

// A character typed on a cell: the row goes into edit and the cell editor
// opens with the character in it.
void TDBGrid::Private::typeInto(QKeyEvent* e)
{
    DataSet* ds = dataSet();
    if (!ds || !ds->active())
        return;
    QModelIndex cur = q.currentIndex();
    if (!cur.isValid() && ds->isEmpty()) {
        if (!startEdit(*ds)) // on an empty dataset this starts the first row
            return;
        cur = q.currentIndex();
    }
    if (!cur.isValid() || !(cur.flags() & Qt::ItemIsEditable) || !startEdit(*ds))
        return;
    cur = q.currentIndex();
    const bool was = std::exchange(forwarding, true);
    q.edit(cur, QAbstractItemView::AnyKeyPressed, e);
    forwarding = was;
}

void TDBGrid::Private::openEditor()
{
    DataSet* ds = dataSet();
    if (!ds || !ds->active())
        return;
    if (!q.currentIndex().isValid() && ds->isEmpty() && !startEdit(*ds))
        return;
    if (!q.currentIndex().isValid())
        return;
    q.edit(q.currentIndex());
    if (!editor)
        return;
    // F2 and Enter edit the text as it is, with the cursor at its end.
    QLineEdit* line = qobject_cast<QLineEdit*>(editor->focusProxy() ? editor->focusProxy() : editor.data());
    if (auto* combo = qobject_cast<QComboBox*>(editor.data()))
        line = combo->lineEdit();
    if (line)
        line->end(false);
}

// Down on the last row adds a row, unless that row is a new one still untouched.
bool TDBGrid::Private::downAppends()
{
    DataSet* ds = dataSet();
    if (!ds || !ds->active())
        return false;
    const QModelIndex cur = q.currentIndex();
    if (cur.isValid() && cur.row() < model->rowCount() - 1)
        return false;
    if (ds->state() == DataSet::State::Insert && !ds->modified() && !(editor && CellDelegate::isDirty(editor)))
        return true;
    guarded([ds] { ds->append(); }); // posts the row first; a refusal keeps it
    return true;
}

void TDBGrid::Private::insertRow()
{
    DataSet* ds = dataSet();
    if (ds && ds->active())
        guarded([ds] { ds->insert(); });
}

void TDBGrid::Private::escape()
{
    dropEditor();
    DataSet* ds = dataSet();
    if (editing(ds))
        guarded([ds] { ds->cancel(); });
}

void TDBGrid::Private::deleteRow()
{
    DataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->isEmpty())
        return;
    if (confirmDelete && !dialogs().confirm(QStringLiteral("Excluir o registro?")))
        return;
    dropEditor();
    guarded([ds] { ds->remove(); });
}

// ---------------------------------------------------------------- editor

bool TDBGrid::Private::commitEditor(QWidget* ed)
{
    if (!ed || !CellDelegate::isDirty(ed))
        return true;
    const QString text = delegateAt(editorIndex.column())->editorText(ed);
    if (ed == failedEditor && text == failedText)
        return false;
    q.QTableView::commitData(ed);
    if (CellDelegate::commitFailed(ed)) {
        failedEditor = ed;
        failedText = text;
        return false;
    }
    failedEditor = nullptr;
    return true;
}

// Closes the cell editor without writing its text (it is in the field
// already, or it is being thrown away).
void TDBGrid::Private::dropEditor()
{
    QWidget* ed = editor;
    if (!ed)
        return;
    editor = nullptr;
    lastCommitOk = true;
    q.QTableView::closeEditor(ed, QAbstractItemDelegate::NoHint);
}

void TDBGrid::Private::updateData()
{
    QWidget* ed = editor;
    if (!ed || !CellDelegate::isDirty(ed))
        return;
    CellDelegate* del = delegateAt(editorIndex.column());
    const QString text = del->editorText(ed);
    if (ed == failedEditor && text == failedText)
        throw Abort(); // shown already
    try {
        model->writeText(editorIndex, text);
    } catch (...) {
        failedEditor = ed;
        failedText = text;
        throw;
    }
    failedEditor = nullptr;
    CellDelegate::setDirty(ed, false);
    del->setEditorData(ed, editorIndex);
}

// ---------------------------------------------------------------- cursor

void TDBGrid::Private::moveDataSetTo(DataSet& ds, int viewRow)
{
    const int inserting = ds.insertRow();
    int target = viewRow;
    if (inserting >= 0) {
        if (viewRow == inserting)
            return;
        const int before = ds.recordCount();
        ds.checkBrowseMode();
        // A new row that was dropped no longer pushes the rows after it down.
        if (ds.recordCount() == before && viewRow > inserting)
            --target;
    }
    ds.moveTo(target);
}

void TDBGrid::Private::follow()
{
    if (moving > 0)
        return;
    const int row = model->currentRow();
    const int cols = model->columnCount();
    if (row < 0 || row >= model->rowCount() || cols == 0)
        return;
    const QModelIndex target = model->index(row, std::clamp(selectedColumn, 0, cols - 1));
    if (target == q.currentIndex())
        return;
    if (editor && editorIndex.row() != row)
        dropEditor();
    selection->follow(target);
}

void TDBGrid::Private::editingChanged()
{
    // Posted or cancelled from elsewhere (a toolbar): the editor's text is
    // either in the field or thrown away.
    if (editor && !editing(dataSet()))
        dropEditor();
}

// The focus chain tells moves inside the screen only: a window operation
// (a dialog, another window, the screen minimised) leaves the new row alone.
void TDBGrid::Private::focusChanged(QWidget* old, QWidget* now)
{
    const auto inside = [this](const QWidget* w) { return w && (w == &q || q.isAncestorOf(w)); };
    if (!cancelOnExit || !inside(old) || inside(now))
        return;
    DataSet* ds = dataSet();
    if (!ds || ds->state() != DataSet::State::Insert || ds->modified() || (editor && CellDelegate::isDirty(editor)))
        return;
    dropEditor();
    guarded([ds] { ds->cancel(); });
}

bool TDBGrid::Private::focusControl(Field& f)
{
    const int col = model->columnOf(f);
    if (col < 0 || !q.isVisible() || !q.isEnabled())
        return false;
    if (editor && editorIndex.column() == col)
        editor->setFocus(Qt::OtherFocusReason);
    else
        q.setFocus(Qt::OtherFocusReason);
    q.setSelectedIndex(col);
    return true;
}

// ---------------------------------------------------------------- columns

void TDBGrid::Private::rebuildDelegates()
{
    // Deleted now, not later: their filters must not outlive the columns.
    for (int c = 0; c < columnDelegates.size(); ++c)
        q.setItemDelegateForColumn(c, nullptr);
    qDeleteAll(columnDelegates);
    columnDelegates.clear();
    for (int c = 0; c < columns.size(); ++c) {
        CellDelegate* del = nullptr;
        if (!columns[c].pickList.isEmpty())
            del = new PickListDelegate(q, columns[c].pickList);
        else if (columns[c].ellipsis)
            del = new EllipsisDelegate(q);
        columnDelegates.append(del);
        if (del)
            q.setItemDelegateForColumn(c, del);
    }
}

void TDBGrid::Private::applyWidths()
{
    const QFontMetrics fm = q.fontMetrics();
    for (int c = 0; c < model->columnCount(); ++c) {
        int width = c < columns.size() ? columns[c].width : -1;
        if (width <= 0) {
            const Field* f = model->field(c);
            const int chars = !f ? 10 : f->dataType() == FieldType::String ? std::clamp(f->size(), 4, 40) : 12;
            const QString title = model->headerData(c, Qt::Horizontal).toString();
            width = std::max(fm.averageCharWidth() * chars, fm.horizontalAdvance(title)) + 16;
            if (c < columns.size() && columns[c].ellipsis)
                width += fm.horizontalAdvance(QStringLiteral("...")) + 16; // room for the button
        }
        q.horizontalHeader()->resizeSection(c, width);
    }
}

// ---------------------------------------------------------------- TDBGrid

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), d(std::make_unique<Private>(*this))
{
    d->model = new DataSetModel(this);
    setModel(d->model);
    QItemSelectionModel* initial = selectionModel();
    d->selection = new GridSelectionModel(d->model, *this);
    setSelectionModel(d->selection);
    delete initial;
    // The view submits the model once the current row has changed, which
    // would post the row just reached (a new row untouched). Rows are posted
    // by the selection model before the cursor leaves them.
    disconnect(d->selection, SIGNAL(currentRowChanged(QModelIndex,QModelIndex)), d->model, SLOT(submit()));
    d->textDelegate = new TextCellDelegate(*this);
    setItemDelegate(d->textDelegate);

    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setEditTriggers(DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed);
    setTabKeyNavigation(true);
    // A title wider than its column keeps its start in view.
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setTextElideMode(Qt::ElideRight);
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("MM")));

    connect(d->model, &DataSetModel::cursorMoved, this, [this] { d->follow(); });
    connect(d->model, &DataSetModel::editingChanged, this, [this] { d->editingChanged(); });
    // A reset makes the view release every editor itself: forget ours first.
    connect(d->model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        d->editor = nullptr;
        d->lastCommitOk = true;
    });
    connect(d->model, &QAbstractItemModel::modelReset, this, [this] { d->applyWidths(); });
    d->focusConnection = connect(&FocusChain::instance(), &FocusChain::moved, this,
                                 [this](QWidget* old, QWidget* now) { d->focusChanged(old, now); });
}

TDBGrid::~TDBGrid()
{
    QObject::disconnect(d->focusConnection);
    d->dropEditor();
    d->link.setDataSource(nullptr);
    d->model->setDataSource(nullptr);
    d->model->disconnect(this);
    // The delegates go before the private part: an editor still waiting for
    // its deletion must not reach, through their event filters, a grid that
    // is half gone.
    setItemDelegate(nullptr);
    for (int c = 0; c < d->columnDelegates.size(); ++c)
        setItemDelegateForColumn(c, nullptr);
    qDeleteAll(d->columnDelegates);
    delete d->textDelegate;
}

void TDBGrid::setDataSource(DataSource* source)
{
    d->dropEditor();
    d->link.setDataSource(source);
    d->model->setDataSource(source);
}

DataSource* TDBGrid::dataSource() const
{
    return d->model->dataSource();
}

void TDBGrid::setColumns(const QList<GridColumn>& columns)
{
    d->dropEditor();
    d->columns = columns;
    d->rebuildDelegates();
    d->model->setColumns(columns);
}

QList<GridColumn> TDBGrid::columns() const
{
    return d->columns;
}

DataSetModel* TDBGrid::dataSetModel() const
{
    return d->model;
}

Field* TDBGrid::selectedField() const
{
    return d->model->field(selectedIndex());
}

void TDBGrid::setSelectedField(Field* field)
{
    if (!field)
        return;
    if (const int col = d->model->columnOf(*field); col >= 0)
        setSelectedIndex(col);
}

int TDBGrid::selectedIndex() const
{
    const int cols = d->model->columnCount();
    if (cols == 0)
        return -1;
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.column() : std::clamp(d->selectedColumn, 0, cols - 1);
}

void TDBGrid::setSelectedIndex(int column)
{
    if (column < 0 || column >= d->model->columnCount() || column == selectedIndex())
        return;
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) {
        if (onColExit) {
            const GridHandler handler = onColExit;
            handler(*this);
        }
        d->selectedColumn = column;
        return;
    }
    std::exception_ptr error;
    d->codeError = &error;
    selectionModel()->setCurrentIndex(d->model->index(cur.row(), column), QItemSelectionModel::ClearAndSelect);
    d->codeError = nullptr;
    if (error)
        std::rethrow_exception(error);
}

bool TDBGrid::confirmDelete() const
{
    return d->confirmDelete;
}

void TDBGrid::setConfirmDelete(bool on)
{
    d->confirmDelete = on;
}

bool TDBGrid::cancelOnExit() const
{
    return d->cancelOnExit;
}

void TDBGrid::setCancelOnExit(bool on)
{
    d->cancelOnExit = on;
}

bool TDBGrid::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        // Tab is the grid's, with its modifiers, before the focus chain sees it.
        auto* k = static_cast<QKeyEvent*>(event);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) && !(k->modifiers() & Qt::ControlModifier)) {
            keyPressEvent(k);
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys the grid acts on are not taken by the window's shortcuts.
        const auto* k = static_cast<QKeyEvent*>(event);
        const bool ctrl = k->modifiers() & Qt::ControlModifier;
        if ((k->key() == Qt::Key_Escape && (editing(d->dataSet()) || d->editor)) || (k->key() == Qt::Key_Delete && ctrl)
            || (k->key() == Qt::Key_Insert && k->modifiers() == Qt::NoModifier)) {
            event->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

// A title cut by its column's width shows whole as a tooltip.
bool TDBGrid::eventFilter(QObject* watched, QEvent* event)
{
    QHeaderView* header = horizontalHeader();
    if (event->type() == QEvent::ToolTip && watched == header->viewport()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int section = header->logicalIndexAt(help->pos());
        const QString title = section < 0 ? QString() : model()->headerData(section, Qt::Horizontal).toString();
        const int room = header->sectionSize(section) - 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        if (section >= 0 && header->fontMetrics().horizontalAdvance(title) > room) {
            const QRect rect(header->sectionViewportPosition(section), 0, header->sectionSize(section), header->height());
            QToolTip::showText(help->globalPos(), title, header->viewport(), rect);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    if (d->forwarding) { // from an open editor: key-down and key-press ran there
        d->actOnKey(event);
        return;
    }
    int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (!d->keyDown(key, mods)) {
        event->accept();
        return;
    }
    QString text = key == event->key() ? event->text() : QString();
    if (typesCharacter(text, mods)) {
        QChar ch = text.front();
        if (!d->keyPress(ch)) {
            event->accept();
            return;
        }
        text = QString(ch);
    }
    if (key == event->key() && text == event->text()) {
        d->actOnKey(event);
        return;
    }
    QKeyEvent rewritten(QEvent::KeyPress, key, mods, text, event->isAutoRepeat(), event->count());
    d->actOnKey(&rewritten);
    event->setAccepted(rewritten.isAccepted());
}

bool TDBGrid::filterEditorKey(QObject* target, QWidget* editor, QKeyEvent* event)
{
    int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (!d->keyDown(key, mods))
        return true;
    QString text = key == event->key() ? event->text() : QString();
    if (typesCharacter(text, mods)) {
        QChar ch = text.front();
        if (!d->keyPress(ch))
            return true;
        text = QString(ch);
    }
    std::optional<QKeyEvent> rewritten;
    QKeyEvent* e = event;
    if (key != event->key() || text != event->text()) {
        rewritten.emplace(QEvent::KeyPress, key, mods, text, event->isAutoRepeat(), event->count());
        e = &*rewritten;
    }
    const bool was = std::exchange(d->forwarding, true);
    const auto restore = qScopeGuard([&] { d->forwarding = was; });
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_Insert:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Rows, not the editor's own lists: the grid acts on these.
        if (!(mods & Qt::AltModifier)) {
            d->actOnKey(e);
            return true;
        }
        break;
    case Qt::Key_Delete:
        if (mods & Qt::ControlModifier) {
            d->actOnKey(e);
            return true;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods & Qt::ControlModifier) {
            const int col = selectedIndex();
            if (col >= 0 && col < d->columns.size() && d->columns[col].ellipsis)
                editButtonClicked(editor);
            return true;
        }
        break;
    default:
        break;
    }
    QCoreApplication::sendEvent(target, e);
    return true;
}

bool TDBGrid::forwardingKey() const
{
    return d->forwarding;
}

QWidget* TDBGrid::cellEditor() const
{
    return d->editor;
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex cur = currentIndex();
    if (!cur.isValid() || (action != MoveNext && action != MovePrevious))
        return QTableView::moveCursor(action, modifiers);
    // Tab walks the columns and wraps to the next or previous row.
    const int cols = d->model->columnCount();
    int row = cur.row();
    int col = cur.column() + (action == MoveNext ? 1 : -1);
    if (col >= cols) {
        if (row + 1 >= d->model->rowCount())
            return cur;
        ++row;
        col = 0;
    } else if (col < 0) {
        if (row == 0)
            return cur;
        --row;
        col = cols - 1;
    }
    return d->model->index(row, col);
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        d->selectedColumn = current.column();
    if (current.row() != previous.row())
        viewport()->update(); // the row marking moves with the cursor
}

void TDBGrid::commitData(QWidget* editor)
{
    if (editor && editor == d->editor)
        d->lastCommitOk = d->commitEditor(editor);
    else
        QTableView::commitData(editor);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool committed = std::exchange(d->lastCommitOk, true);
    if (editor && editor == d->editor && !committed) {
        // A refused text keeps the cell open, with the focus, until it is
        // corrected or Esc throws it away.
        QTimer::singleShot(0, editor, [ed = QPointer<QWidget>(editor)] {
            if (ed)
                ed->setFocus(Qt::OtherFocusReason);
        });
        return;
    }
    if (editor == d->editor)
        d->editor = nullptr;
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    switch (hint) {
    case QAbstractItemDelegate::EditNextItem:
    case QAbstractItemDelegate::EditPreviousItem: {
        const QModelIndex next = moveCursor(hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious, Qt::NoModifier);
        if (next.isValid() && next != currentIndex())
            selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
        break;
    }
    case QAbstractItemDelegate::RevertModelCache:
        d->escape();
        break;
    default:
        // Enter only closes the cell: the row is posted when the cursor leaves it.
        break;
    }
}

QModelIndex TDBGrid::prepareMove(const QModelIndex& previous, const QModelIndex& target)
{
    std::exception_ptr* codeError = std::exchange(d->codeError, nullptr);
    const auto refuse = [this, codeError](std::exception_ptr e) {
        if (codeError)
            *codeError = e ? e : std::make_exception_ptr(Abort());
        // The view took the focus from the editor to move; the editor gets it back.
        if (d->editor && hasFocus())
            d->editor->setFocus(Qt::OtherFocusReason);
        return QModelIndex();
    };
    ++d->moving;
    const auto done = qScopeGuard([this] { --d->moving; });

    // What the open editor holds belongs to the cell being left.
    if (d->editor && !d->commitEditor(d->editor))
        return refuse({});

    if (target.column() != previous.column() && onColExit) {
        const GridHandler handler = onColExit;
        if (codeError) {
            try {
                handler(*this);
            } catch (...) {
                return refuse(std::current_exception());
            }
        } else {
            bool ok = false;
            guarded([&] {
                handler(*this);
                ok = true;
            });
            if (!ok)
                return refuse({});
        }
    }

    int row = target.row();
    if (row != previous.row()) {
        if (DataSet* ds = d->dataSet(); ds && ds->active()) {
            bool ok = false;
            guarded([&] {
                d->moveDataSetTo(*ds, target.row());
                ok = true;
            });
            row = d->model->currentRow();
            if (!ok && row == previous.row())
                return refuse({}); // the post was refused: the row stays
        }
    }
    if (row < 0 || row >= d->model->rowCount())
        return refuse({});
    if (d->editor && (row != previous.row() || target.column() != previous.column()))
        d->dropEditor(); // its text is in the field already
    return d->model->index(row, target.column());
}

void TDBGrid::editorOpened(QWidget* editor, const QModelIndex& index)
{
    d->editor = editor;
    d->editorIndex = index;
    d->failedEditor = nullptr;
}

void TDBGrid::editorEdited(QWidget* editor)
{
    CellDelegate::setDirty(editor, true);
    DataSet* ds = d->dataSet();
    if (ds && ds->active() && !d->startEdit(*ds))
        d->dropEditor();
}

void TDBGrid::pickListChosen(QWidget* editor)
{
    if (editor != d->editor)
        return;
    CellDelegate::setDirty(editor, true);
    d->commitEditor(editor);
}

void TDBGrid::editButtonClicked(QWidget* editor)
{
    if (editor && editor == d->editor && !d->commitEditor(editor))
        return;
    if (onEditButtonClick) {
        const GridHandler handler = onEditButtonClick;
        guarded([&] { handler(*this); });
    }
    // The cell shows what the rule left in the field.
    if (editor && editor == d->editor) {
        CellDelegate::setDirty(editor, false);
        d->delegateAt(d->editorIndex.column())->setEditorData(editor, d->editorIndex);
        editor->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace erp::host
