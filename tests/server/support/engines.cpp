// SPDX-License-Identifier: MIT
#include "engines.h"

#include <unistd.h>

#include <atomic>

namespace erp::testing {

namespace {
PgCluster& cluster()
{
    static std::unique_ptr<PgCluster> c = std::make_unique<PgCluster>();
    return *c;
}
} // namespace

std::string engineMissing(Engine e)
{
    if (e == Engine::Postgres && !PgCluster::binDir())
        return "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    return {};
}

TestDatabase::TestDatabase(Engine e, const std::string& prefix)
{
    static std::atomic<int> counter{0};
    if (e == Engine::Sqlite) {
        dir = std::make_unique<TempDir>();
        url = "sqlite:" + dir->path() + "/erp.db";
    } else {
        url = cluster().createDatabase(prefix + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    }
}

} // namespace erp::testing
