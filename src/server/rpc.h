// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"
#include "users.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <string>
#include <string_view>

namespace erp::server {

// Deepest nesting of arrays and objects a request may have; the packets of
// the contract need six levels.
inline constexpr int kMaxJsonDepth = 32;

// A request body read as JSON: strictly by RFC 8259, in UTF-8 without a
// byte-order mark, nested at most kMaxJsonDepth levels (reading stops there,
// so a hostile body never drives the reader deeper).
struct RequestBody {
    enum class Outcome { Json, RepeatedMember, TooDeep, ByteOrderMark, NotUtf8, NotJson };
    Outcome outcome = Outcome::NotJson;
    QJsonValue value;     // the request object when Json and an object
    qsizetype offset = 0; // where reading stopped, when NotJson
};
RequestBody readRequestBody(std::string_view body);

struct RpcAnswer {
    QByteArray body;   // empty for a notification
    QString method;    // as far as it was read, for the log
    QString outcome;   // "ok" or "erro <code>"
    std::string internal; // operator-only detail of a failure
    int httpStatus = 200; // another status only for refusals outside JSON-RPC (400, 422)
};

// What the HTTP front knows of a request besides its path and body.
struct RpcContext {
    RpcContext() = default;
    RpcContext(std::string key, Caller who = {}) : idempotencyKey(std::move(key)), caller(std::move(who)) {}

    std::string idempotencyKey; // the Idempotency-Key header; empty when absent
    Caller caller;              // who the token names; every company when none is required
};

// One JSON-RPC 2.0 request addressed to a server object. A save carrying an
// Idempotency-Key is applied at most once: a repeat with the same body gets
// the first answer byte for byte, with another body HTTP 422.
RpcAnswer handleRpc(const std::string& object, const std::string& body, Db& db, const RpcContext& context = {});

} // namespace erp::server
