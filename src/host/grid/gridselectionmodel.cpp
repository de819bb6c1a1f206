// SPDX-License-Identifier: MIT
#include "gridselectionmodel.h"

#include "datasetmodel.h"
#include "dbgrid.h"

namespace erp::host {

GridSelectionModel::GridSelectionModel(QAbstractItemModel* model, TDBGrid& grid)
    : QItemSelectionModel(model, &grid), grid_(grid)
{
}

void GridSelectionModel::setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command)
{
    const QModelIndex previous = currentIndex();
    const auto* m = qobject_cast<const DataSetModel*>(model());
    if (following_ || (m && m->changingStructure()) || !index.isValid() || !previous.isValid() || index == previous) {
        QItemSelectionModel::setCurrentIndex(index, command);
        return;
    }
    const QModelIndex target = grid_.prepareMove(previous, index);
    if (target.isValid())
        QItemSelectionModel::setCurrentIndex(target, command == NoUpdate ? ClearAndSelect : command);
}

void GridSelectionModel::select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command)
{
    const QModelIndex current = currentIndex();
    const bool selecting = command & (Select | Toggle);
    if (selecting && current.isValid() && !(selection.size() == 1 && selection.first().topLeft() == current
                                            && selection.first().bottomRight() == current)) {
        // A click on a row the cursor could not reach selects nothing there.
        QItemSelectionModel::select(QItemSelection(current, current), ClearAndSelect);
        return;
    }
    QItemSelectionModel::select(selection, command);
}

void GridSelectionModel::follow(const QModelIndex& index)
{
    following_ = true;
    QItemSelectionModel::setCurrentIndex(index, ClearAndSelect);
    following_ = false;
}

} // namespace erp::host
