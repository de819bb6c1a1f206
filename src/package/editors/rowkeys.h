// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace erp {
class DataSet;
}

namespace erp::par47300 {

// The key columns of the current row, their stored texts joined with
// nothing between: what a pre-edit key records when an edit begins, and
// what the checks compare with it.
QString adicKey(const DataSet& ds);   // additions: name, type, tax
QString infCtbKey(const DataSet& ds); // accounting information: parent number (whole), origin, key
QString itemKey(const DataSet& ds);   // net-profit items: name, revenue/expense, operational, rate code

// True for an edit whose key columns still hold what they held when it
// began: its own saved row is no duplicate. A key recorded for an edit
// counts only for that edit, never for a new row.
bool keptKey(const DataSet& ds, const QString& rowKey, const QString& preEditKey);

} // namespace erp::par47300
