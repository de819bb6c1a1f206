// SPDX-License-Identifier: MIT
// The contract's table descriptions, against the schema the migrations build:
// a column the statements would write must exist, and a stored column the
// descriptions lack would be left out of every insert.
#include "support/serverprocess.h"

#include "contract/tables.h"
#include "schema.h"
#include "storage.h"
#include "tablesql.h"

#include <gtest/gtest.h>

#include <set>

using namespace erp;
using namespace erp::testing;

namespace {

std::set<std::string> storedColumns(server::Db& db, const std::string& table)
{
    std::set<std::string> out;
    for (const server::SqlRow& r : db.query("SELECT name FROM pragma_table_info(?)", {QString::fromStdString(table)}))
        out.insert(r.at(0).toString().toStdString());
    return out;
}

std::set<std::string> described(const contract::TableDef& t)
{
    std::set<std::string> out;
    for (const FieldDef& c : t.columns)
        out.insert(c.name.toStdString());
    for (const contract::FoldedColumn& f : t.folded)
        out.insert(f.name);
    return out;
}

TEST(Tables, EachDescriptionNamesExactlyTheColumnsItsTableStores)
{
    TempDir dir;
    auto db = server::openSqlite(dir.path() + "/erp.db");
    server::migrate(*db);
    for (const contract::TableDef* t : {&contract::empresaTable(), &contract::contCtblTable(), &contract::itensDRETable(), &contract::aliquotasTable(),
                                        &contract::apurPaiTable(), &contract::paramApuTable(), &contract::recDespTable(), &contract::infCtbTable(),
                                        &contract::historicoTable(), &contract::tabelaEcfTable(), &contract::fonteEcfTable(),
                                        &contract::paramApuEcfTable()}) {
        SCOPED_TRACE(t->name);
        EXPECT_EQ(described(*t), storedColumns(*db, t->name));
    }
    // Accounting information is held with its own columns and when it was taken.
    std::set<std::string> held = described(contract::infCtbTable());
    held.insert(contract::f::DTREMOCAO);
    EXPECT_EQ(held, storedColumns(*db, contract::t::INFCTBIRPJREMOVIDA));
}

} // namespace
