// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <string>
#include <vector>

namespace erp::testing {

// The rows a query answers, one line each, values joined by '|'.
std::vector<std::string> rowsAsText(server::Db& db, const std::string& sql);

// Every table of the parameters and both series as text, to prove that a
// refusal wrote nothing.
std::vector<std::string> snapshot(const std::string& url);

} // namespace erp::testing
