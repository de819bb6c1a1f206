// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <QByteArray>

#include <optional>
#include <string>

// Saves sent with an Idempotency-Key. The key is stored with the answer in
// the save's own transaction, so it is in the database exactly when the
// change is; a repeat of the request is answered from there.
namespace erp::server::idempotency {

// How long a key is kept at least; older keys are purged a few at a time by
// the saves that store new ones.
inline constexpr long long kKeepSeconds = 24 * 60 * 60;

// 1 to 64 characters of UTF-8, none of them a control character.
bool validKey(const std::string& key);

// What must be the same for a repeat: the server object and the body.
QByteArray fingerprint(const std::string& object, const std::string& body);

// Inside the save's write transaction. Throws DbError(Unique) when the key
// is already stored (by an earlier or a concurrent request).
void remember(Db& db, const std::string& key, const QByteArray& fingerprint, const QByteArray& answer, long long now);

struct Stored {
    QByteArray fingerprint;
    QByteArray answer;
};
// Outside any transaction: what was stored under the key, if anything.
std::optional<Stored> recall(Db& db, const std::string& key);

} // namespace erp::server::idempotency
