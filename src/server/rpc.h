// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <QByteArray>
#include <QString>

#include <string>

namespace erp::server {

// Deepest nesting of arrays and objects a request may have; the packets of
// the contract need four levels.
inline constexpr int kMaxJsonDepth = 32;

// True when no array or object in `json` is nested deeper than `maxDepth`.
// Runs before the parser, so a hostile body never reaches its recursion.
bool nestingWithin(const std::string& json, int maxDepth);

// True when no object in `json` (already accepted by the parser) names a
// member twice.
bool membersDistinct(const std::string& json);

struct RpcAnswer {
    QByteArray body;   // empty for a notification
    QString method;    // as far as it was read, for the log
    QString outcome;   // "ok" or "erro <code>"
    std::string internal; // operator-only detail of a failure
    int httpStatus = 200; // another status only for refusals outside JSON-RPC (422)
};

// What the HTTP front knows of a request besides its path and body.
struct RpcContext {
    std::string idempotencyKey; // the Idempotency-Key header; empty when absent
};

// One JSON-RPC 2.0 request addressed to a server object.
RpcAnswer handleRpc(const std::string& object, const std::string& body, Db& db, const RpcContext& context = {});

} // namespace erp::server
