// SPDX-License-Identifier: MIT
#pragma once

#include <QItemSelectionModel>
#include <QPointer>

namespace erp::host {

class TDBGrid;

// The one place where the grid's cursor moves: every move, by keyboard,
// mouse or code, passes here, so a column exit that refuses and a post
// that refuses keep the cursor where it is. The selection always follows
// the cursor.
class GridSelectionModel : public QItemSelectionModel {
    Q_OBJECT
public:
    GridSelectionModel(QAbstractItemModel* model, TDBGrid& grid);

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override;
    using QItemSelectionModel::select;

    // Moves without the checks: the grid following its dataset.
    void follow(const QModelIndex& index);

private:
    TDBGrid& grid_;
    bool following_ = false;
};

} // namespace erp::host
