// SPDX-License-Identifier: MIT
#pragma once

#include "dynamictables.h"
#include "xlsx.h"

#include "storage.h"

#include <QString>

#include <vector>

// --import-ecf: the Receita's spreadsheet (XLSX, a sheet per register) or
// one sheet of it as CSV (semicolon, UTF-8), read into the dynamic tables.
namespace erp::server::ecf {

struct Spreadsheet {
    std::vector<Sheet> sheets;
    // A workbook replaces its layout's rows; a CSV only those of its sheet.
    bool wholeLayout = false;
    // The layout the file name gives ("Leiaute-12" -> "0012"), or empty.
    QString layoutInName;
};

// Reads `path`: a workbook when it is a ZIP file, CSV otherwise. Every sheet
// must be a known one (a CSV is named after its sheet: M300A.csv,
// Leiaute-12-M300A.csv…) with a title row naming CÓDIGO, DESCRIÇÃO, DT_INI,
// DT_FIM, and TIPO and TIPO LANÇ (TRIBUTO on the Parte B sheet), anywhere
// above its lines; dates DDMMAAAA. Throws ImportError naming what is wrong.
Spreadsheet readSpreadsheet(const QString& path);

// The lines of one sheet's cells, checked as they will be stored.
Sheet sheetFromCells(const SheetCells& cells, const Source& source);

// "12" or "0012" -> "0012"; empty for anything that is not 1 to 9999.
QString layoutCode(const QString& text);

struct Imported {
    QString layout;
    Spreadsheet spreadsheet;
    // Mapped additions rows whose code is not in their tax's sheet any more:
    // they keep it, and the checks point them out.
    long long codesNotFound = 0;
};

// Reads `path` and replaces its rows in one transaction: those of `layout`
// when given, else of the layout the file name gives, else of the newest
// layout stored. Throws ImportError (nothing written) or DbError.
Imported importSpreadsheet(Db& db, const QString& path, const QString& layout = {});

} // namespace erp::server::ecf
