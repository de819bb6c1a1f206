// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"

namespace erp::server {

// --import-ecf FILE [--ecf-layout N] [--db URL]: replaces the ECF dynamic
// tables of a layout with the file's, in one transaction, and prints the
// lines read per sheet. Returns the exit status: 0, 1 for a file or
// database that failed (nothing written), 2 for a bad option.
int importEcfCommand(const Options& opt);

} // namespace erp::server
