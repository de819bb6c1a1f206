// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace erp::server {

// The server's database connections, independent of its HTTP threads: at
// most `size` are open, each made on first need and kept (with its prepared
// statements) for the next call. A call waits up to `wait` for one to be free.
class DbPool {
public:
    using Opener = std::function<std::unique_ptr<Db>()>;
    DbPool(Opener open, int size, std::chrono::milliseconds wait);
    ~DbPool();
    DbPool(const DbPool&) = delete;
    DbPool& operator=(const DbPool&) = delete;

    // Thrown when no connection became free in time.
    class Exhausted : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // A connection borrowed for one call; given back when it goes out of scope.
    class Lease {
    public:
        Lease(Lease&& other) noexcept : pool_(other.pool_), db_(std::move(other.db_)) { other.pool_ = nullptr; }
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        Db& operator*() const { return *db_; }
        Db* operator->() const { return db_.get(); }

    private:
        friend class DbPool;
        Lease(DbPool* pool, std::unique_ptr<Db> db) : pool_(pool), db_(std::move(db)) {}
        DbPool* pool_;
        std::unique_ptr<Db> db_;
    };

    // Throws Exhausted after the wait (the pool's own, or a shorter one), or
    // the opener's DbError when a new connection cannot be made (its slot is
    // free again for the next call).
    Lease acquire();
    Lease acquire(std::chrono::milliseconds wait);

    int size() const { return size_; }
    int open() const;

private:
    void giveBack(std::unique_ptr<Db> db);

    Opener open_;
    const int size_;
    const std::chrono::milliseconds wait_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<Db>> idle_; // the most recently used last: its caches are warm
    int opened_ = 0;
};

} // namespace erp::server
