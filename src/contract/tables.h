// SPDX-License-Identifier: MIT
#pragma once

#include "names.h"

#include "wire/fielddef.h"

#include <QStringView>

#include <vector>

// The tables the parameter service keeps, each described once. The server
// generates every statement that reads or writes them from these
// descriptions, and writes by hand only each table's own checks. The columns
// are the contract's fields, so a new column is one more name in a layout.
namespace erp::contract {

// A stored column that holds the case-folded form of other columns, for a
// unique index that ignores letter case: each folded, joined by '/'.
struct FoldedColumn {
    const char* name = nullptr;
    std::vector<const char*> from{};
};

struct TableDef {
    const char* name = nullptr;
    FieldDefs columns{}; // as read and written, in packet order
    std::vector<const char*> key{};
    // The company of a row and its parent row's number: an update never
    // changes them.
    const char* company = nullptr;
    const char* parent = nullptr;
    // Numbers of rows of other tables. They, the numbered key and the parent
    // are whole numbers, stored as integers and sent as the client's doubles.
    std::vector<const char*> references{};
    // A whole number the database assigns on insert, in the order rows are
    // written: read, never written.
    const char* serial = nullptr;
    // Stored only: written from the columns they fold, never read.
    std::vector<FoldedColumn> folded{};

    bool isWholeNumber(QStringView column) const;
};

// Reference data, read by the client and by the server's checks.
const TableDef& empresaTable();
const TableDef& contCtblTable();
const TableDef& itensDRETable();
const TableDef& aliquotasTable();
// Every parent number (an additions row or a net-profit item), so the
// accounting information can reference its parent whichever table it is in.
const TableDef& apurPaiTable();
// The three tables the screen edits.
const TableDef& paramApuTable();
const TableDef& recDespTable();
const TableDef& infCtbTable();
// Every change the saves applied, appended in the change's transaction and
// never changed or removed.
const TableDef& historicoTable();
// The Receita's ECF dynamic tables, a row per line of each sheet of each
// layout; where each sheet's rows came from; and the ECF code of an
// additions row, in a table of its own so the screen's packets stay as they are.
const TableDef& tabelaEcfTable();
const TableDef& fonteEcfTable();
const TableDef& paramApuEcfTable();

} // namespace erp::contract
