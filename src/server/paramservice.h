// SPDX-License-Identifier: MIT
#pragma once

#include "changes.h"
#include "storage.h"
#include "users.h"

#include "contract/tables.h"

#include "wire/errors.h"
#include "wire/rpccodes.h"

#include <QJsonArray>
#include <QJsonValue>

#include <functional>
#include <string>

namespace erp::server {

namespace code = rpc::code;

// A refusal meant for the client: a JSON-RPC code and a Portuguese sentence.
class RpcError : public Error {
public:
    RpcError(int code, const QString& message, std::string internal = {})
        : Error(message), code_(code), internal_(std::move(internal))
    {
    }
    int code() const noexcept { return code_; }
    // What the operator's log gets beside the outcome; never sent to the client.
    const std::string& internal() const noexcept { return internal_; }

private:
    int code_;
    std::string internal_;
};

// The parameter service "PAR47300.rdmParamIRPJ" over one database connection.
// Every method either answers its result or throws RpcError; storage
// failures are turned into RpcError(1500) with a plain message.
class ParamService {
public:
    // Runs inside a save's transaction just before its commit, given the
    // save's result: what must be written with the change or not at all.
    using BeforeCommit = std::function<void(const QJsonValue& result)>;

    // `caller`: whose companies the calls may touch, and who the history
    // records; `key`: the request's Idempotency-Key, recorded with its changes.
    explicit ParamService(Db& db, Caller caller = {}, QString key = {}) : db_(db), caller_(std::move(caller)), key_(std::move(key)) {}
    // A save's COMMIT whose outcome cannot be known is RpcError(1501).
    QJsonValue call(const QString& method, const QJsonArray& params, const BeforeCommit& beforeCommit = {});

private:
    Db& db_;
    Caller caller_;
    QString key_;
};

// A save's own checks of a new row of `table` (ParamApu, RecDesp or InfCtb)
// on its content: letters, ranges, and the rate entry, ledger account or
// structure item it names; not its number nor its parent. What an import
// asks of every row of its file. Throws RpcError.
void checkNewRowContent(Db& db, const contract::TableDef& table, const Row& n);

} // namespace erp::server
