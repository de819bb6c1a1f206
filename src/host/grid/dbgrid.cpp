// SPDX-License-Identifier: MIT
#include "dbgrid.h"

#include "datasetmodel.h"
#include "griddelegates.h"
#include "gridselectionmodel.h"

#include "host/dialogs.h"
#include "host/focuschain.h"
#include "host/hostapplication.h"
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
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace erp::host {

namespace {

bool editing(const DataSet* ds)
{
    return ds && ds->isEditing();
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
    bool lastCommitOk = true; // of the last commit the view asked for, until it closes the editor
    bool commitAccepted = true; // what the delegate said of the commit running now
    bool delivering = false;    // a key already seen by key-down/key-press is being delivered
    int moving = 0;             // inside checkMove: the guard places the cursor itself
    QMetaObject::Connection focusConnection;
    Link link;

    DataSet* dataSet() const { return model->dataSet(); }
    CellDelegate* delegateAt(int column) const
    {
        CellDelegate* del = column >= 0 && column < columnDelegates.size() ? columnDelegates[column] : nullptr;
        return del ? del : textDelegate;
    }

    enum class KeyOrigin;
    enum class KeyAction;
    enum class MoveBy { User, Code };

    // The one key path: the key-down and key-press rules once, one decision, one act.
    void key(QKeyEvent* event, KeyOrigin origin, QObject* editorTarget = nullptr);
    bool runKeyRules(const QKeyEvent& event, std::optional<QKeyEvent>& rewritten);
    KeyAction decide(const QKeyEvent& e, KeyOrigin origin) const;
    void perform(KeyAction action, QKeyEvent* e, QObject* editorTarget);
    void moveTo(const QModelIndex& next);
    bool onLastRow() const;
    void typeInto(QKeyEvent* e);
    void openEditor();
    void append();
    void insertRow();
    void escape();
    void deleteRow();
    void editButton();
    bool commitEditor(QWidget* ed);
    void dropEditor();
    QModelIndex checkMove(const QModelIndex& previous, const QModelIndex& target, MoveBy by);
    bool runColExit(MoveBy by);
    void giveEditorFocusBack();
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

// Where a key reached the grid: the view itself, an open cell editor (before
// the editor sees it), or the view again because the editor left it unused.
enum class TDBGrid::Private::KeyOrigin { View, Editor, LeftByEditor };

// What the grid does with a key, decided once.
enum class TDBGrid::Private::KeyAction {
    Default,    // the view's own handling
    ToEditor,   // the cell editor's; Tab, Enter and Esc come back as its close hint
    Append,     // Down on the last row
    MoveRow,    // out of an open editor, without taking its focus first
    NextColumn, // Tab: the columns, staying in the grid at its ends
    PreviousColumn,
    Insert,
    Cancel,
    Delete,
    OpenEditor,
    EditButton, // Ctrl+Enter: the ellipsis button of the column, if it has one
    Type,       // a character typed on a cell opens its editor with it
};

void TDBGrid::Private::key(QKeyEvent* event, KeyOrigin origin, QObject* editorTarget)
{
    if (origin == KeyOrigin::LeftByEditor) { // key-down and key-press ran when it reached the editor
        perform(decide(*event, origin), event, nullptr);
        return;
    }
    std::optional<QKeyEvent> rewritten;
    if (!runKeyRules(*event, rewritten)) {
        event->accept();
        return;
    }
    QKeyEvent* e = rewritten ? &*rewritten : event;
    const QScopedValueRollback seen(delivering, origin == KeyOrigin::Editor);
    perform(decide(*e, origin), e, editorTarget);
    event->setAccepted(e->isAccepted());
}

// The key-down rule, then (for a typed character) the key-press rule. False
// when one discarded the key or failed; `rewritten` is the key they made of
// it when they changed it.
bool TDBGrid::Private::runKeyRules(const QKeyEvent& event, std::optional<QKeyEvent>& rewritten)
{
    int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (q.onKeyDown) {
        const KeyDownHandler handler = q.onKeyDown;
        if (!guarded([&] { handler(q, key, mods); }) || key == 0)
            return false;
    }
    QString text = key == event.key() ? event.text() : QString();
    if (q.onKeyPress && typesCharacter(text, mods)) {
        const KeyPressHandler handler = q.onKeyPress;
        QChar ch = text.front();
        if (!guarded([&] { handler(q, ch); }) || ch.isNull())
            return false;
        text = QString(ch);
    }
    if (key != event.key() || text != event.text())
        rewritten.emplace(QEvent::KeyPress, key, mods, text, event.isAutoRepeat(), event.count());
    return true;
}

TDBGrid::Private::KeyAction TDBGrid::Private::decide(const QKeyEvent& e, KeyOrigin origin) const
{
    const Qt::KeyboardModifiers mods = e.modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const bool inEditor = origin == KeyOrigin::Editor;
    switch (e.key()) {
    case Qt::Key_Down:
        if (!alt && onLastRow())
            return KeyAction::Append;
        [[fallthrough]];
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Rows, not the editor's own lists (Alt opens a list).
        if (inEditor)
            return alt ? KeyAction::ToEditor : KeyAction::MoveRow;
        return origin == KeyOrigin::LeftByEditor && editor ? KeyAction::MoveRow : KeyAction::Default;
    case Qt::Key_Insert:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)))
            return KeyAction::Insert;
        return inEditor && alt ? KeyAction::ToEditor : KeyAction::Default;
    case Qt::Key_Escape:
        if (inEditor)
            return KeyAction::ToEditor;
        // Nothing to cancel: a dialog around the grid may want it.
        return editor || editing(dataSet()) ? KeyAction::Cancel : KeyAction::Default;
    case Qt::Key_Delete:
        if (ctrl)
            return KeyAction::Delete;
        break;
    case Qt::Key_F2:
        return inEditor ? KeyAction::ToEditor : KeyAction::OpenEditor;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (inEditor)
            return KeyAction::ToEditor;
        if (ctrl)
            return KeyAction::Default;
        return e.key() == Qt::Key_Backtab || (mods & Qt::ShiftModifier) ? KeyAction::PreviousColumn : KeyAction::NextColumn;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (origin == KeyOrigin::LeftByEditor)
            return KeyAction::Default; // the editor has dealt with it
        if (ctrl)
            return KeyAction::EditButton;
        return inEditor ? KeyAction::ToEditor : KeyAction::OpenEditor;
    default:
        break;
    }
    if (inEditor)
        return KeyAction::ToEditor;
    if (origin == KeyOrigin::View && typesCharacter(e.text(), mods) && e.text().front() != u'\b')
        return KeyAction::Type;
    return KeyAction::Default;
}

void TDBGrid::Private::perform(KeyAction action, QKeyEvent* e, QObject* editorTarget)
{
    switch (action) {
    case KeyAction::Default:
        q.QTableView::keyPressEvent(e);
        return;
    case KeyAction::ToEditor:
        QCoreApplication::sendEvent(editorTarget, e);
        return;
    case KeyAction::Append: append(); break;
    case KeyAction::MoveRow:
        moveTo(q.moveCursor(e->key() == Qt::Key_Up     ? MoveUp
                            : e->key() == Qt::Key_Down ? MoveDown
                            : e->key() == Qt::Key_PageUp ? MovePageUp
                                                         : MovePageDown,
                            e->modifiers()));
        break;
    case KeyAction::NextColumn: moveTo(q.moveCursor(MoveNext, e->modifiers())); break;
    case KeyAction::PreviousColumn: moveTo(q.moveCursor(MovePrevious, e->modifiers())); break;
    case KeyAction::Insert: insertRow(); break;
    case KeyAction::Cancel: escape(); break;
    case KeyAction::Delete: deleteRow(); break;
    case KeyAction::OpenEditor: openEditor(); break;
    case KeyAction::EditButton: editButton(); break;
    case KeyAction::Type: typeInto(e); break;
    }
    e->accept();
}

// Moves the cursor through the selection model's checks, unless it stays.
void TDBGrid::Private::moveTo(const QModelIndex& next)
{
    if (next.isValid() && next != q.currentIndex())
        selection->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
}

bool TDBGrid::Private::onLastRow() const
{
    const DataSet* ds = dataSet();
    const QModelIndex cur = q.currentIndex();
    return ds && ds->active() && !(cur.isValid() && cur.row() < model->rowCount() - 1);
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
    const QScopedValueRollback seen(delivering, true);
    q.edit(q.currentIndex(), QAbstractItemView::AnyKeyPressed, e);
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
void TDBGrid::Private::append()
{
    DataSet* ds = dataSet();
    if (ds->state() == DataSet::State::Insert && !ds->modified() && !(editor && CellDelegate::isDirty(editor)))
        return;
    guarded([ds] { ds->append(); }); // posts the row first; a refusal keeps it
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

void TDBGrid::Private::editButton()
{
    const int col = q.selectedIndex();
    if (col >= 0 && col < columns.size() && columns[col].ellipsis)
        q.editButtonClicked(editor);
}

bool TDBGrid::Private::startEdit(DataSet& ds)
{
    return ds.state() != DataSet::State::Browse || guarded([&ds] { ds.edit(); });
}

// ---------------------------------------------------------------- editor

bool TDBGrid::Private::commitEditor(QWidget* ed)
{
    if (!ed || !CellDelegate::isDirty(ed))
        return true;
    const QString text = delegateAt(editorIndex.column())->editorText(ed);
    if (ed == failedEditor && text == failedText)
        return false;
    commitAccepted = true;
    q.QTableView::commitData(ed); // the delegate reports through commitRefused()
    if (!commitAccepted) {
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
    auto noteFailure = qScopeGuard([&] {
        failedEditor = ed;
        failedText = text;
    });
    model->writeText(editorIndex, text);
    noteFailure.dismiss();
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
    if (HostApplication* host = HostApplication::instance())
        d->focusConnection = connect(&host->focusChain(), &FocusChain::moved, this,
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
        d->runColExit(Private::MoveBy::Code);
        d->selectedColumn = column;
        return;
    }
    d->selection->follow(d->checkMove(cur, d->model->index(cur.row(), column), Private::MoveBy::Code));
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
        using A = Private::KeyAction;
        const A action = d->decide(*static_cast<QKeyEvent*>(event), Private::KeyOrigin::View);
        if (action == A::Cancel || action == A::Delete || action == A::Insert) {
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
    d->key(event, d->delivering ? Private::KeyOrigin::LeftByEditor : Private::KeyOrigin::View);
}

bool TDBGrid::editorKey(QObject* target, QKeyEvent* event)
{
    d->key(event, Private::KeyOrigin::Editor, target);
    return true;
}

bool TDBGrid::deliveringKey() const
{
    return d->delivering;
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

// The view acts on the hint the editor closed with (Tab, Shift+Tab, Esc).
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
    case QAbstractItemDelegate::EditNextItem: d->moveTo(moveCursor(MoveNext, Qt::NoModifier)); break;
    case QAbstractItemDelegate::EditPreviousItem: d->moveTo(moveCursor(MovePrevious, Qt::NoModifier)); break;
    case QAbstractItemDelegate::RevertModelCache: d->escape(); break;
    default:
        // Enter only closes the cell: the row is posted when the cursor leaves it.
        break;
    }
}

QModelIndex TDBGrid::prepareMove(const QModelIndex& previous, const QModelIndex& target)
{
    return d->checkMove(previous, target, Private::MoveBy::User);
}

// The checks of a cursor move: the open editor's text, the column exit, the
// row's post. A refused move leaves the cursor and the editor as they were;
// from the user it is reported (the refusing rule showed why), from code the
// caller hears the exception (an abort when nothing else was thrown).
QModelIndex TDBGrid::Private::checkMove(const QModelIndex& previous, const QModelIndex& target, MoveBy by)
{
    const auto refuse = [this, by] {
        giveEditorFocusBack();
        if (by == MoveBy::Code)
            throw Abort();
        return QModelIndex();
    };
    ++moving;
    const auto done = qScopeGuard([this] { --moving; });

    // What the open editor holds belongs to the cell being left.
    if (editor && !commitEditor(editor))
        return refuse();
    if (target.column() != previous.column() && !runColExit(by))
        return refuse();

    int row = target.row();
    if (row != previous.row()) {
        if (DataSet* ds = dataSet(); ds && ds->active()) {
            const bool moved = guarded([&] { moveDataSetTo(*ds, target.row()); });
            row = model->currentRow();
            if (!moved && row == previous.row())
                return refuse(); // the post was refused: the row stays
        }
    }
    if (row < 0 || row >= model->rowCount())
        return refuse();
    if (editor && (row != previous.row() || target.column() != previous.column()))
        dropEditor(); // its text is in the field already
    return model->index(row, target.column());
}

// The column-exit rule: from the user under the guard (false when it
// refused), from code straight to the caller.
bool TDBGrid::Private::runColExit(MoveBy by)
{
    if (!q.onColExit)
        return true;
    const GridHandler handler = q.onColExit;
    if (by == MoveBy::User)
        return guarded([&] { handler(q); });
    auto keep = qScopeGuard([this] { giveEditorFocusBack(); });
    handler(q);
    keep.dismiss();
    return true;
}

// The view took the focus from the editor to move; the editor gets it back.
void TDBGrid::Private::giveEditorFocusBack()
{
    if (editor && q.hasFocus())
        editor->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::commitRefused()
{
    d->commitAccepted = false;
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
