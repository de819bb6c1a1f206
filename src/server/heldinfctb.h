// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <limits>

namespace erp::server {

// Accounting information that setDeleteInfCtb takes away ahead of its
// parent's delete, held (INFCTBIRPJREMOVIDA) until that delete commits, so a
// refused delete loses nothing.
class HeldInfCtb {
public:
    // How long held information waits for its parent's delete before a read gives it back.
    static constexpr long long kHoldSeconds = 300;

    explicit HeldInfCtb(Db& db) : db_(db) {}

    // Inside the caller's transaction: every row of the parent moves to the
    // holding table. Returns how many.
    long long hold(long long parent, long long now);
    // In a transaction of its own: what is held for a parent that still
    // exists comes back (held before `heldBefore`); for a parent that is gone
    // it is dropped. A row whose key was entered again meanwhile stays as entered.
    void restore(long long parent, long long heldBefore = std::numeric_limits<long long>::max());
    // The same while a refusal is being answered: the refusal is what the
    // client must hear, so a failure here leaves the rows held for a later read.
    void restoreQuietly(long long parent) noexcept;
    // Inside the parent's delete: what was held for it goes for good.
    void purge(long long parent);

private:
    Db& db_;
};

} // namespace erp::server
