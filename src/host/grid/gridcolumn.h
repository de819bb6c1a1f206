// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

namespace erp::host {

// One column of a data-aware grid.
struct GridColumn {
    QString fieldName = {};
    int width = -1;             // pixels; -1 takes a width from the field's size
    QString title = {};         // empty: the field's display label
    QStringList pickList = {};  // texts offered by the cell editor, written through the field's set-text rule
    bool ellipsis = false;      // the cell editor shows a "..." button
};

} // namespace erp::host
