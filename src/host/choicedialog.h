// SPDX-License-Identifier: MIT
#pragma once

#include "dialogs.h"

#include <QDialog>

class QLineEdit;
class QStandardItemModel;
class QTableView;

namespace erp::host {

class ChoiceFilter;

// A modal list to choose one row from; typing filters the rows.
class ChoiceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChoiceDialog(const ChoiceList& list, QWidget* parent = nullptr);
    // The chosen row of the list given, once accepted.
    std::optional<int> chosenRow() const;

private:
    QLineEdit* filter_;
    QStandardItemModel* model_;
    ChoiceFilter* proxy_;
    QTableView* view_;
};

} // namespace erp::host
