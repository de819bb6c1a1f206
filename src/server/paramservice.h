// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include "wire/errors.h"

#include <QJsonArray>
#include <QJsonValue>

#include <functional>
#include <string>

namespace erp::server {

// JSON-RPC error codes of the wire contract.
namespace code {
inline constexpr int ParseError = -32700;
inline constexpr int InvalidRequest = -32600;
inline constexpr int MethodNotFound = -32601;
inline constexpr int InvalidParams = -32602;
inline constexpr int Validation = 1001;
inline constexpr int Conflict = 1002;
inline constexpr int Duplicate = 1003;
inline constexpr int MissingReference = 1004;
inline constexpr int Storage = 1500;
inline constexpr int Uncertain = 1501;
} // namespace code

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

    explicit ParamService(Db& db) : db_(db) {}
    // A save's COMMIT whose outcome cannot be known is RpcError(1501).
    QJsonValue call(const QString& method, const QJsonArray& params, const BeforeCommit& beforeCommit = {});

private:
    Db& db_;
};

} // namespace erp::server
