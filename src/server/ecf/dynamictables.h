// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"
#include "wire/errors.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The Receita's ECF dynamic tables as the server keeps them (TABELAECF): a
// row per line of each sheet of a layout, in the sheet's order. A code may
// appear on several lines of one sheet (M350A lists 13 twice), so nothing
// is keyed on it. Each sheet records where its rows came from (FONTEECF).
namespace erp::server::ecf {

// The sheets of the spreadsheet, in its order. The register sheets give each
// line a kind and an entry type; the standard Parte B sheet gives its tax.
QStringList knownSheets();
inline constexpr char kParteB[] = "PARTEB_PADRAO";
inline constexpr char kIrpj[] = "M300A";
inline constexpr char kCsll[] = "M350A";

struct Line {
    QString code;
    QString description;
    QString kind;      // TPECF: R, E, CA, CNA (empty on the Parte B sheet)
    QString entryType; // TPLANCECF: A, E, P, L, R or empty
    QString tax;       // IDTRIBUTOECF on the Parte B sheet: I, C, A
    QString start;     // ISO date
    QString end;       // ISO date, empty while valid
};

struct Source {
    QString file;   // the file's name, without its folder
    QString sha256; // of the file, in hex
    QString description;
};

struct Sheet {
    QString name;
    std::vector<Line> lines;
    Source source;
};

// A line that cannot be stored, with the reason in Portuguese.
class InvalidLine : public erp::Error {
public:
    using erp::Error::Error;
};

// Checks one line of `sheet` as it will be stored: a code, a description,
// the kind and entry type (or the Parte B tax) among the known letters,
// valid dates with the end not before the start, every text within its
// column and in Windows-1252. Throws InvalidLine.
void checkLine(const QString& sheet, const Line& line);

// Replaces the rows of each of `sheets` in `layout` (other sheets and
// layouts are kept) and records their sources, inside the caller's write
// transaction. `when`: UTC milliseconds since the epoch.
void replaceSheets(Db& db, const QString& layout, const std::vector<Sheet>& sheets, long long when);

// Removes every sheet of `layout`, rows and sources, inside the caller's
// write transaction.
void removeLayout(Db& db, const QString& layout);

// The newest layout stored for a sheet, or nothing when it has no rows.
std::optional<QString> currentLayout(Db& db, const QString& sheet);

// The ECF dynamic tables compiled into the server (the repository's data
// file): its layout and every sheet.
struct Bundled {
    QString layout;
    std::vector<Sheet> sheets;
};
const Bundled& bundled();

// Schema migration: the bundled tables, into an empty TABELAECF.
void loadBundled(Db& db);

} // namespace erp::server::ecf
