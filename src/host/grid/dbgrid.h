// SPDX-License-Identifier: MIT
#pragma once

#include "gridcolumn.h"

#include <QAbstractItemDelegate>
#include <QTableView>

#include <functional>
#include <memory>

namespace erp {
class DataSource;
class Field;
} // namespace erp

namespace erp::host {

class DataSetModel;

// A data-aware grid over the dataset of a data source, with the editing
// conventions of such grids: typing in a cell starts the row's edit, moving
// to another row posts it (a refusal keeps the row), Down on the last row
// appends, Insert inserts, Esc cancels, Ctrl+Delete deletes after a
// confirmation, Tab moves between columns, F2 or Enter opens the cell editor,
// and an untouched new row is dropped when the focus leaves the grid.
// Titles are left-aligned and cut at their end; a title or a cell whose text
// does not fit shows the whole text as its tooltip.
//
// Every event handler gets the grid first. Handlers may throw: an abort ends
// what the key or click was doing, any other failure is shown once; the
// cursor stays where it was.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    // A key going down, before the grid acts on it; key = 0 discards it.
    using KeyDownHandler = std::function<void(TDBGrid&, int& key, Qt::KeyboardModifiers modifiers)>;
    // A typed character, before the cell gets it; a null character discards
    // it, another character is what the cell receives.
    using KeyPressHandler = std::function<void(TDBGrid&, QChar& ch)>;
    using GridHandler = std::function<void(TDBGrid&)>;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const;
    void setColumns(const QList<GridColumn>& columns);
    QList<GridColumn> columns() const;
    DataSetModel* dataSetModel() const;

    // The field of the selected column (null without columns).
    Field* selectedField() const;
    // Selects the column showing the field; nothing for a field not shown.
    void setSelectedField(Field* field);
    int selectedIndex() const;
    // Selects a column from code. Raises the column exit for the column being
    // left (not when the column is already selected); what the exit rule
    // throws comes out of here and the column stays.
    void setSelectedIndex(int column);

    // Ctrl+Delete asks "Excluir o registro?" first.
    bool confirmDelete() const;
    void setConfirmDelete(bool on);
    // A new row left untouched is cancelled when the focus leaves the grid.
    bool cancelOnExit() const;
    void setCancelOnExit(bool on);

    KeyDownHandler onKeyDown;
    KeyPressHandler onKeyPress;
    GridHandler onColExit;         // before the selected column changes; throwing keeps it
    GridHandler onEditButtonClick; // the "..." button of an ellipsis column

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

protected Q_SLOTS:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class CellDelegate;
    friend class TextCellDelegate;
    friend class PickListDelegate;
    friend class EllipsisDelegate;
    friend class GridSelectionModel;

    // For the selection model: the checks of a move from previous to target;
    // where the cursor goes (invalid: it stays).
    QModelIndex prepareMove(const QModelIndex& previous, const QModelIndex& target);
    // For the delegates. A key typed in the open editor goes through the
    // grid's one key path first (true: the grid has dealt with it).
    bool editorKey(QObject* target, QKeyEvent* event);
    // A key the grid has seen is on its way to the editor.
    bool deliveringKey() const;
    QWidget* cellEditor() const; // the open cell editor, if any
    // The delegate refused the text being committed (the field's rule refused it).
    void commitRefused();
    void editorOpened(QWidget* editor, const QModelIndex& index);
    void editorEdited(QWidget* editor);
    void pickListChosen(QWidget* editor);
    void editButtonClicked(QWidget* editor);

    struct Private;
    std::unique_ptr<Private> const d;
};

} // namespace erp::host
