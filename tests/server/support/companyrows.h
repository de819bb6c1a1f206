// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <QString>

#include <set>

namespace erp::testing {

// Everything a client reads of a company through the parameter service,
// without the fields that name rows (numbers, company, parent): one line per
// parent row with the accounting information under it. Two companies with
// the same parameters give the same lines whatever their numbers.
std::multiset<QString> companyContent(server::Db& db, const QString& company);

} // namespace erp::testing
