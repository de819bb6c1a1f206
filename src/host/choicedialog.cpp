// SPDX-License-Identifier: MIT
#include "choicedialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace erp::host {

// Typing filters on what a cell shows and on what it stores, so a masked
// code is found by its digits as well.
class ChoiceFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setText(const QString& text)
    {
        text_ = text;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (text_.isEmpty())
            return true;
        for (int c = 0; c < sourceModel()->columnCount(parent); ++c) {
            const QModelIndex i = sourceModel()->index(row, c, parent);
            if (i.data(Qt::DisplayRole).toString().contains(text_, Qt::CaseInsensitive)
                || i.data(Qt::UserRole).toString().contains(text_, Qt::CaseInsensitive))
                return true;
        }
        return false;
    }

private:
    QString text_;
};

ChoiceDialog::ChoiceDialog(const ChoiceList& list, QWidget* parent)
    : QDialog(parent),
      filter_(new QLineEdit(this)),
      model_(new QStandardItemModel(int(list.rows.size()), int(list.columns.size()), this)),
      proxy_(new ChoiceFilter(this)),
      view_(new QTableView(this))
{
    setWindowTitle(list.title);
    model_->setHorizontalHeaderLabels(list.columns);
    for (int r = 0; r < list.rows.size(); ++r) {
        for (int c = 0; c < list.columns.size(); ++c) {
            model_->setData(model_->index(r, c), list.rows[r].value(c));
            model_->setData(model_->index(r, c), list.stored.value(r).value(c), Qt::UserRole);
        }
    }
    proxy_->setSourceModel(model_);
    view_->setModel(proxy_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->verticalHeader()->hide();
    view_->selectRow(0);
    filter_->setPlaceholderText(QStringLiteral("Digite para filtrar"));
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setText(text);
        view_->selectRow(0);
    });
    connect(view_, &QTableView::doubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(view_);
    layout->addWidget(buttons);
    resize(520, 360);
}

std::optional<int> ChoiceDialog::chosenRow() const
{
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return proxy_->mapToSource(current).row();
}

} // namespace erp::host
