// SPDX-License-Identifier: MIT
#pragma once

#include "changes.h"
#include "storage.h"
#include "tablesql.h"

#include <QString>

#include <optional>

// The history of every applied change (HISTORICOIRPJ): appended inside the
// change's own transaction, so it holds a change exactly when the tables do,
// and never changed or removed.
namespace erp::server {

// Who made the changes of one call, and through which method and key.
struct Author {
    QString user;
    QString method;
    QString key; // the request's Idempotency-Key; empty when none came
};

class History {
public:
    // Every change recorded through one History takes its moment (UTC, in
    // milliseconds) from when the History was made: one call, one moment.
    History(Db& db, Author author);

    // One applied change of a row of `table`: `o` the row before (modified,
    // deleted), `n` the row after (inserted, modified), each holding the
    // table's columns. `parent` is the parameter row the change belongs to
    // (the row's own number for a parent row), `company` that row's company.
    void record(const TableSql& table, ChangeStatus kind, const QString& company, long long parent, const Row* o, const Row* n);

    // The history of a parameter row and of the accounting information under
    // it, newest first, one line per changed field (getHistorico's packet).
    static DataPacket read(Db& db, const QString& company, long long parent);

private:
    Db& db_;
    Author author_;
    long long now_;
};

// The company of a parent row (an additions row or a net-profit item), or
// nothing when no such row exists.
std::optional<QString> companyOfParent(Db& db, long long parent);

// For the benchmark alone, which measures a save without its history beside
// one with it: production never turns the history off.
void setHistoryWrittenForBenchmark(bool written);

} // namespace erp::server
