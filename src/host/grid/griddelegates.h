// SPDX-License-Identifier: MIT
#pragma once

#include <QStyledItemDelegate>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace erp {
class Field;
}

namespace erp::host {

class TDBGrid;

// The cell editors of the grid share this: the grid sees every key typed
// in them first (key-down, key-press), an editor the user typed in is
// "dirty" and is not overwritten by data changes, and a focus change to a
// modal dialog does not close the editor.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CellDelegate(TDBGrid& grid);

    // The text the editor holds, as the field's set-text rule should get it.
    virtual QString editorText(const QWidget* editor) const = 0;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // A cell whose text is cut shows the whole text as its tooltip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index) override;

    static bool isDirty(const QWidget* editor);
    static void setDirty(QWidget* editor, bool dirty);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    Field* fieldAt(const QModelIndex& index) const;
    // Wires a line edit of an editor to the grid: typing starts the row's edit.
    void watch(QWidget* editor, QLineEdit* edit) const;

    TDBGrid& grid_;

private:
    QWidget* editorOf(QObject* object) const;
};

// A line edit limited to the field's size, with the field's edit mask.
class TextCellDelegate : public CellDelegate {
    Q_OBJECT
public:
    using CellDelegate::CellDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    QString editorText(const QWidget* editor) const override;

protected:
    void configure(QLineEdit* edit, const QModelIndex& index) const;
    virtual QLineEdit* lineEditOf(const QWidget* editor) const;
};

// An editable combo box offering the column's pick list; a choice is
// written at once through the field's set-text rule.
class PickListDelegate : public CellDelegate {
    Q_OBJECT
public:
    PickListDelegate(TDBGrid& grid, const QStringList& items);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    QString editorText(const QWidget* editor) const override;

private:
    QStringList items_;
};

// A line edit with a "..." button: the button raises the grid's ellipsis
// event; the line edit keeps the focus.
class EllipsisEditor : public QWidget {
    Q_OBJECT
public:
    explicit EllipsisEditor(QWidget* parent);
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }

Q_SIGNALS:
    void buttonClicked();

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

// The current cell of an ellipsis column shows its "..." button also while
// no editor is open; a click on it raises the event as the editor's does.
class EllipsisDelegate : public TextCellDelegate {
    Q_OBJECT
public:
    using TextCellDelegate::TextCellDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index) override;

protected:
    QLineEdit* lineEditOf(const QWidget* editor) const override;

private:
    QRect buttonRect(const QStyleOptionViewItem& option) const;
    bool pressed_ = false;
};

} // namespace erp::host
