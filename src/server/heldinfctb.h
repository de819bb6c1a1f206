// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include "wire/packet.h"

#include <limits>

namespace erp::server {

class History;

// Accounting information that setDeleteInfCtb takes away ahead of its
// parent's delete, held (INFCTBIRPJREMOVIDA) until that delete commits, so a
// refused delete loses nothing.
class HeldInfCtb {
public:
    // How long held information waits for its parent's delete before a read gives it back.
    static constexpr long long kHoldSeconds = 300;

    // `history`, when given, records the rows that leave for good.
    explicit HeldInfCtb(Db& db, History* history = nullptr) : db_(db), history_(history) {}

    // Inside the caller's transaction: every row of the parent moves to the
    // holding table. Returns how many.
    long long hold(long long parent, long long now);
    // In a transaction of its own: what is held for a parent that still
    // exists comes back (held before `heldBefore`); for a parent that is gone
    // it is dropped. A row whose key was entered again meanwhile stays as
    // entered, and the held one is dropped (and recorded as deleted).
    void restore(long long parent, long long heldBefore = std::numeric_limits<long long>::max());
    // The same while a refusal is being answered: the refusal is what the
    // client must hear, so a failure here leaves the rows held for a later read.
    void restoreQuietly(long long parent) noexcept;
    // Inside the parent's delete: what was held for it goes for good, and
    // is recorded as deleted in the parent's company.
    void purge(long long parent, const QString& company);

private:
    void recordGone(const SqlRows& rows, const QString& company, long long parent);

    Db& db_;
    History* history_;
};

} // namespace erp::server
