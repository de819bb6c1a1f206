// SPDX-License-Identifier: MIT
#include "tabledialog.h"

#include "csv.h"
#include "dialogs.h"
#include "services.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace erp::host {

namespace {
// A moment or a number where the model gives one, the text otherwise.
class SortProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        const QVariant l = left.data(Qt::UserRole), r = right.data(Qt::UserRole);
        if (l.isValid() && r.isValid())
            return QVariant::compare(l, r) == QPartialOrdering::Less;
        return QString::localeAwareCompare(left.data().toString(), right.data().toString()) < 0;
    }
};
} // namespace

TTableDialog::TTableDialog(const QString& title, QAbstractItemModel* model, const QString& csvName, int sortColumn, Qt::SortOrder order,
                           QWidget* parent)
    : QDialog(parent), sorted_(new SortProxy(this)), view_(new QTableView(this)), csvName_(csvName)
{
    setWindowTitle(title);
    model->setParent(this);
    sorted_->setSourceModel(model);
    view_->setObjectName(QStringLiteral("grdTabela"));
    view_->setModel(sorted_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setSortIndicator(sortColumn, order);
    view_->setSortingEnabled(true);
    view_->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* exportButton = buttons->addButton(QStringLiteral("Exportar CSV…"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("btnExportar"));
    QPushButton* close = buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnFechar"));
    connect(exportButton, &QPushButton::clicked, this, [this] { guarded([this] { exportCsv(); }); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(view_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (index.isValid())
            Q_EMIT rowActivated(sorted_->mapToSource(index).row());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addWidget(buttons);
    resize(760, 420);
}

void TTableDialog::exportCsv()
{
    const std::optional<QString> path = dialogs().askSaveFile(QStringLiteral("Exportar CSV"), csvName_, QStringLiteral("Arquivos CSV (*.csv)"));
    if (path)
        writeCsv(*sorted_, *path);
}

} // namespace erp::host
