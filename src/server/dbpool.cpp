// SPDX-License-Identifier: MIT
#include "dbpool.h"

namespace erp::server {

DbPool::DbPool(Opener open, int size, std::chrono::milliseconds wait) : open_(std::move(open)), size_(size), wait_(wait)
{
    idle_.reserve(std::size_t(size));
}

DbPool::~DbPool() = default;

DbPool::Lease::~Lease()
{
    if (pool_ && db_)
        pool_->giveBack(std::move(db_));
}

DbPool::Lease DbPool::acquire()
{
    return acquire(wait_);
}

DbPool::Lease DbPool::acquire(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, wait, [this] { return !idle_.empty() || opened_ < size_; }))
        throw Exhausted("no database connection became free");
    if (!idle_.empty()) {
        std::unique_ptr<Db> db = std::move(idle_.back());
        idle_.pop_back();
        return Lease(this, std::move(db));
    }
    // Opening takes a while (a PostgreSQL handshake): not under the lock.
    ++opened_;
    lock.unlock();
    try {
        return Lease(this, open_());
    } catch (...) {
        lock.lock();
        --opened_;
        lock.unlock();
        freed_.notify_one();
        throw;
    }
}

void DbPool::giveBack(std::unique_ptr<Db> db)
{
    {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(db));
    }
    freed_.notify_one();
}

int DbPool::open() const
{
    std::lock_guard lock(mutex_);
    return opened_;
}

} // namespace erp::server
