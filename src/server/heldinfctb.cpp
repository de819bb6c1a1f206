// SPDX-License-Identifier: MIT
#include "heldinfctb.h"

#include "tablesql.h"

#include "contract/names.h"

namespace erp::server {

namespace {

namespace f = contract::f;

// The statements, from the accounting table's own column list.
struct HeldSql {
    std::string hold, take, anyHeld, restore[2], dropHeld, purge;

    HeldSql()
    {
        const TableSql& inf = infCtbSql();
        const std::string held = contract::t::INFCTBIRPJREMOVIDA;
        const std::string columns = inf.storedColumns();
        const std::string byParent = std::string(" WHERE ") + f::NRSEQPARAMAPU + " = ?";
        const std::string heldBefore = byParent + " AND " + f::DTREMOCAO + " < ?";
        hold = "INSERT INTO " + held + " (" + columns + ", " + f::DTREMOCAO + ") SELECT " + columns + ", ? FROM " + inf.table().name + byParent;
        take = inf.removeWhere({f::NRSEQPARAMAPU});
        anyHeld = "SELECT 1 FROM " + held + heldBefore + " LIMIT 1";
        const std::string back = " INTO " + std::string(inf.table().name) + " (" + columns + ") SELECT " + columns + " FROM " + held + heldBefore;
        restore[std::size_t(Dialect::Sqlite)] = "INSERT OR IGNORE" + back;
        restore[std::size_t(Dialect::Postgres)] = "INSERT" + back + " ON CONFLICT DO NOTHING";
        dropHeld = "DELETE FROM " + held + heldBefore;
        purge = "DELETE FROM " + held + byParent;
    }
};

const HeldSql& sql()
{
    static const HeldSql s;
    return s;
}

} // namespace

long long HeldInfCtb::hold(long long parent, long long now)
{
    db_.exec(sql().hold, {qlonglong(now), qlonglong(parent)});
    return db_.exec(sql().take, {qlonglong(parent)});
}

void HeldInfCtb::restore(long long parent, long long heldBefore)
{
    const SqlParams params{qlonglong(parent), qlonglong(heldBefore)};
    if (db_.query(sql().anyHeld, params).empty())
        return;
    Transaction tx(db_, true);
    if (!db_.query(apurPaiSql().keyExists(), {qlonglong(parent)}).empty())
        db_.exec(sql().restore[std::size_t(db_.dialect())], params);
    db_.exec(sql().dropHeld, params);
    tx.commit();
}

void HeldInfCtb::restoreQuietly(long long parent) noexcept
{
    try {
        restore(parent);
    } catch (...) {
    }
}

void HeldInfCtb::purge(long long parent)
{
    db_.exec(sql().purge, {qlonglong(parent)});
}

} // namespace erp::server
