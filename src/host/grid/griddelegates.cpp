// SPDX-License-Identifier: MIT
#include "griddelegates.h"

#include "datasetmodel.h"
#include "dbgrid.h"

#include "host/focuschain.h"
#include "host/maskedit.h"

#include "platform/field.h"
#include "platform/formatting.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QToolTip>
#include <QAbstractItemView>
#include <QHelpEvent>

namespace erp::host {

namespace {
constexpr char kDirty[] = "erpGridDirty";
constexpr char kEditMask[] = "erpGridEditMask";
} // namespace

// ---------------------------------------------------------------- CellDelegate

CellDelegate::CellDelegate(TDBGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

bool CellDelegate::isDirty(const QWidget* editor)
{
    return editor && editor->property(kDirty).toBool();
}

void CellDelegate::setDirty(QWidget* editor, bool dirty)
{
    if (editor)
        editor->setProperty(kDirty, dirty);
}

void CellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The whole current row stays marked, not only its cell.
    const QModelIndex current = grid_.currentIndex();
    if (current.isValid() && index.row() == current.row() && index != current) {
        QColor tint = option->palette.color(QPalette::Highlight);
        tint.setAlpha(48);
        option->backgroundBrush = tint;
    }
}

Field* CellDelegate::fieldAt(const QModelIndex& index) const
{
    return grid_.dataSetModel()->field(index.column());
}

void CellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (!isDirty(editor))
        return; // nothing typed: the field keeps its value untouched
    if (!model->setData(index, editorText(editor), Qt::EditRole)) {
        grid_.commitRefused();
        return;
    }
    setDirty(editor, false);
    setEditorData(editor, index); // the text the field gives back
}

void CellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}

bool CellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = view;
    const QRect text = widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    if (!opt.text.isEmpty() && opt.fontMetrics.horizontalAdvance(opt.text) > text.width() - 2 * margin)
        QToolTip::showText(event->globalPos(), opt.text, view->viewport(), option.rect);
    else
        QToolTip::hideText();
    return true;
}

void CellDelegate::watch(QWidget* editor, QLineEdit* edit) const
{
    TDBGrid* grid = &grid_;
    connect(edit, &QLineEdit::textEdited, editor, [grid, editor] { grid->editorEdited(editor); });
    if (edit != editor)
        edit->installEventFilter(const_cast<CellDelegate*>(this));
}

QWidget* CellDelegate::editorOf(QObject* object) const
{
    auto* w = qobject_cast<QWidget*>(object);
    while (w && w->parentWidget() != grid_.viewport())
        w = w->parentWidget();
    return w;
}

bool CellDelegate::eventFilter(QObject* object, QEvent* event)
{
    QWidget* editor = editorOf(object);
    if (!editor || editor != grid_.cellEditor())
        return false; // an editor on its way out
    switch (event->type()) {
    case QEvent::KeyPress:
        if (grid_.deliveringKey())
            return QStyledItemDelegate::eventFilter(editor, event);
        return grid_.editorKey(object, static_cast<QKeyEvent*>(event));
    case QEvent::FocusOut:
        // A modal dialog opened from the cell (a search), another window or
        // the screen being minimised takes the focus for a while: the cell
        // stays open and gets it back.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::ActiveWindowFocusReason
            || FocusChain::leavesScope(editor, QApplication::focusWidget()))
            return false;
        return QStyledItemDelegate::eventFilter(editor, event);
    default:
        return QStyledItemDelegate::eventFilter(editor, event);
    }
}

// ---------------------------------------------------------------- TextCellDelegate

QWidget* TextCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setAutoFillBackground(true);
    configure(edit, index);
    watch(edit, edit);
    grid_.editorOpened(edit, index);
    return edit;
}

void TextCellDelegate::configure(QLineEdit* edit, const QModelIndex& index) const
{
    const Field* f = fieldAt(index);
    if (!f)
        return;
    edit->setAlignment(f->alignment() & Qt::AlignHorizontal_Mask);
    const QString mask = qtInputMask(f->activeEditMask());
    edit->setProperty(kEditMask, mask.isEmpty() ? QString() : f->activeEditMask());
    if (!mask.isEmpty())
        edit->setInputMask(mask);
    else if (f->size() > 0 && f->dataType() == FieldType::String)
        edit->setMaxLength(f->size());
}

QLineEdit* TextCellDelegate::lineEditOf(const QWidget* editor) const
{
    return const_cast<QLineEdit*>(qobject_cast<const QLineEdit*>(editor));
}

void TextCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    QLineEdit* edit = lineEditOf(editor);
    if (!edit || isDirty(editor))
        return; // what the user typed wins over a redraw
    QString text = index.data(Qt::EditRole).toString();
    const EditMask mask(edit->property(kEditMask).toString());
    if (!mask.isEmpty() && !mask.saveLiterals())
        text = mask.format(text);
    edit->setText(text);
}

QString TextCellDelegate::editorText(const QWidget* editor) const
{
    const QLineEdit* edit = lineEditOf(editor);
    if (!edit)
        return {};
    const EditMask mask(edit->property(kEditMask).toString());
    if (mask.isEmpty() || mask.saveLiterals())
        return edit->text();
    return mask.strip(edit->displayText());
}

// ---------------------------------------------------------------- PickListDelegate

PickListDelegate::PickListDelegate(TDBGrid& grid, const QStringList& items) : CellDelegate(grid), items_(items) {}

QWidget* PickListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr); // a typed text goes to the set-text rule as typed
    combo->setFrame(false);
    combo->addItems(items_);
    watch(combo, combo->lineEdit());
    TDBGrid* grid = &grid_;
    connect(combo, &QComboBox::activated, combo, [grid, combo] { grid->pickListChosen(combo); });
    grid_.editorOpened(combo, index);
    return combo;
}

void PickListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo || isDirty(editor))
        return;
    const QString text = index.data(Qt::EditRole).toString();
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(combo->findText(text));
    combo->setEditText(text);
    combo->lineEdit()->selectAll();
}

QString PickListDelegate::editorText(const QWidget* editor) const
{
    const auto* combo = qobject_cast<const QComboBox*>(editor);
    return combo ? combo->currentText() : QString();
}

// ---------------------------------------------------------------- EllipsisEditor

EllipsisEditor::EllipsisEditor(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    edit_->setFrame(false);
    button_->setText(QStringLiteral("..."));
    button_->setFocusPolicy(Qt::NoFocus); // the line edit keeps the focus
    button_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    layout->addWidget(edit_);
    layout->addWidget(button_);
    setFocusProxy(edit_);
    setAutoFillBackground(true);
    connect(button_, &QToolButton::clicked, this, &EllipsisEditor::buttonClicked);
}

QWidget* EllipsisDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* box = new EllipsisEditor(parent);
    configure(box->lineEdit(), index);
    watch(box, box->lineEdit());
    TDBGrid* grid = &grid_;
    connect(box, &EllipsisEditor::buttonClicked, box, [grid, box] { grid->editButtonClicked(box); });
    grid_.editorOpened(box, index);
    return box;
}

QRect EllipsisDelegate::buttonRect(const QStyleOptionViewItem& option) const
{
    const int width = option.fontMetrics.horizontalAdvance(QStringLiteral("...")) + 12;
    return QRect(option.rect.right() - width + 1, option.rect.top(), width, option.rect.height());
}

void EllipsisDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    TextCellDelegate::paint(painter, option, index);
    if (index != grid_.currentIndex())
        return;
    QStyleOptionButton button;
    button.rect = buttonRect(option);
    button.text = QStringLiteral("...");
    button.state = option.state | QStyle::State_Enabled | (pressed_ ? QStyle::State_Sunken : QStyle::State_Raised);
    button.palette = option.palette;
    grid_.style()->drawControl(QStyle::CE_PushButton, &button, painter, &grid_);
}

bool EllipsisDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                   const QModelIndex& index)
{
    const auto type = event->type();
    if (index == grid_.currentIndex() && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && buttonRect(option).contains(mouse->position().toPoint())) {
            pressed_ = type == QEvent::MouseButtonPress;
            grid_.viewport()->update(option.rect);
            if (type == QEvent::MouseButtonRelease)
                grid_.editButtonClicked(nullptr);
            return true;
        }
    }
    pressed_ = false;
    return TextCellDelegate::editorEvent(event, model, option, index);
}

QLineEdit* EllipsisDelegate::lineEditOf(const QWidget* editor) const
{
    const auto* box = qobject_cast<const EllipsisEditor*>(editor);
    return box ? box->lineEdit() : nullptr;
}

} // namespace erp::host
