// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <QJsonObject>
#include <QString>
#include <QVariant>

#include <map>
#include <string>
#include <vector>

// The repository's ECF data file as the tests read it (on their own, not
// through the server's loader), and the lines a database stores.
namespace erp::testing::ecf {

// One line of a sheet: code, description, kind, entry type, Parte B tax,
// start, end; a NULL is an invalid QVariant.
using Line = std::vector<QVariant>;
using Sheets = std::map<QString, std::vector<Line>>;

// The path of src/server/ecf/leiaute12.json in this checkout.
std::string dataFilePath();
QJsonObject dataFile();
// The file's sheets, in the order of their lines, and their names in the spreadsheet's order.
Sheets expectedSheets();
std::vector<QString> sheetOrder();

// The lines a database holds for a sheet in its newest layout, in order.
std::vector<Line> storedLines(server::Db& db, const QString& sheet);
Sheets storedSheets(server::Db& db);

// Shown when two line lists differ: the first line that does.
std::string firstDifference(const std::vector<Line>& a, const std::vector<Line>& b);

} // namespace erp::testing::ecf
