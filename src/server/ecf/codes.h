// SPDX-License-Identifier: MIT
#pragma once

#include "changes.h"
#include "history.h"
#include "storage.h"
#include "tablesql.h"

#include <QJsonArray>
#include <QJsonValue>

#include <functional>

// The ECF code of each additions row (PARAMAPUECF, keyed by the row's
// number): the methods that read the dynamic tables and the codes, the save
// of the codes, and the removal of a row's code with the row.
namespace erp::server::ecf {

const TableSql& paramApuEcfSql();

class Codes {
public:
    // Refuses (1006) a company the caller may not see.
    using RequireAccess = std::function<void(const QString& company)>;
    // Commits a save's transaction with its result (the idempotency key goes with it).
    using Commit = std::function<QJsonValue(Transaction&, const QJsonValue& result)>;

    Codes(Db& db, History& history, RequireAccess requireAccess, Commit commit)
        : db_(db), history_(history), requireAccess_(std::move(requireAccess)), commit_(std::move(commit))
    {
    }

    // getTabelaECF(tax): every line of M300A ("I") or M350A ("C"), in the sheet's order.
    QJsonValue table(const QJsonArray& params);
    // getCodECF(company, tax): the code of each mapped row, with its description and validity.
    QJsonValue codes(const QJsonArray& params);
    // setCodECF(change packet): maps, remaps and unmaps rows, in one transaction.
    QJsonValue save(const QJsonArray& params);

private:
    Db& db_;
    History& history_;
    RequireAccess requireAccess_;
    Commit commit_;
};

// Inside the delete of additions row `number`: removes its code, if it has
// one, and records that in the history.
void removeCodeOf(Db& db, History& history, long long number, const QString& company);

} // namespace erp::server::ecf
