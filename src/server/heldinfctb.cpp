// SPDX-License-Identifier: MIT
#include "heldinfctb.h"

#include "history.h"
#include "tablesql.h"

#include "contract/names.h"

namespace erp::server {

namespace {

namespace f = contract::f;

// The statements, from the accounting table's own column list.
struct HeldSql {
    std::string hold, take, anyHeld, restore[2], notRestored, dropHeld, heldRows, purge;

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
        // The accounting table's own columns, as its select reads them.
        std::string read;
        for (const FieldDef& c : inf.table().columns)
            read += (read.empty() ? "" : ", ") + c.name.toStdString();
        const std::string key = std::string(f::NRSEQINFCTBIRPJ);
        notRestored = "SELECT " + read + " FROM " + held + heldBefore + " AND " + key + " NOT IN (SELECT " + key + " FROM " + inf.table().name + ") ORDER BY " + key;
        heldRows = "SELECT " + read + " FROM " + held + byParent + " ORDER BY " + key;
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
    if (history_) {
        const SqlRows gone = db_.query(sql().notRestored, params);
        if (!gone.empty())
            recordGone(gone, companyOfParent(db_, parent).value_or(QString()), parent);
    }
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

void HeldInfCtb::purge(long long parent, const QString& company)
{
    if (history_)
        recordGone(db_.query(sql().heldRows, {qlonglong(parent)}), company, parent);
    db_.exec(sql().purge, {qlonglong(parent)});
}

void HeldInfCtb::recordGone(const SqlRows& rows, const QString& company, long long parent)
{
    const TableSql& inf = infCtbSql();
    const DataPacket gone = inf.rows(rows);
    for (const RowValues& values : gone.rows) {
        const Row o(gone.fields, values);
        history_->record(inf, ChangeStatus::Deleted, company, parent, &o, nullptr);
    }
}

} // namespace erp::server
