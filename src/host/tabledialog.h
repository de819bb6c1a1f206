// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QAbstractItemModel;
class QSortFilterProxyModel;
class QTableView;

namespace erp::host {

// A read-only table to look at: sorted by a click on a column title, written
// to a CSV file with "Exportar CSV…" (the file name asked through the dialog
// service), closed with "Fechar". Sorting uses the model's Qt::UserRole
// where it holds a value (a moment, a number) and the text otherwise.
// A double-click on a row (or Enter on it) reports the row of the model.
class TTableDialog : public QDialog {
    Q_OBJECT
public:
    // Takes the model over. It opens sorted by `sortColumn`, in `order`.
    TTableDialog(const QString& title, QAbstractItemModel* model, const QString& csvName, int sortColumn, Qt::SortOrder order,
                 QWidget* parent = nullptr);

    QTableView* view() const { return view_; }
    // Writes the rows as shown (in their current order) to a file the user names.
    void exportCsv();

Q_SIGNALS:
    // A row was activated; `row` is the model's, whatever the sort order.
    void rowActivated(int row);

private:
    QSortFilterProxyModel* sorted_;
    QTableView* view_;
    QString csvName_;
};

} // namespace erp::host
