// SPDX-License-Identifier: MIT
#pragma once

#include "wire/errors.h"

#include <QString>
#include <QStringList>

#include <vector>

// A small reader of XLSX workbooks: the sheets by name (workbook.xml and its
// relationships), each cell as text: shared strings, inline strings and
// formula strings as written, numbers as stored (so "0.51" stays "0.51"),
// booleans as 0 or 1. Styles, dates and formulas are not interpreted.
namespace erp::server::ecf {

// A file that cannot be read as asked, with the reason in Portuguese.
class ImportError : public erp::Error {
public:
    using erp::Error::Error;
};

struct CellRow {
    int number = 0;    // as the sheet numbers it, from 1
    QStringList cells; // by column from A; empty where the sheet has none
};

struct SheetCells {
    QString name;
    std::vector<CellRow> rows; // in the sheet's order; rows without cells left out
};

// Every sheet of the workbook at `path`, in the workbook's order. Throws
// ImportError for a file that is not a readable workbook.
std::vector<SheetCells> readXlsx(const QString& path);

} // namespace erp::server::ecf
