// SPDX-License-Identifier: MIT
#pragma once

#include "serverprocess.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The two storage engines the server tests run on.
namespace erp::testing {

enum class Engine { Sqlite, Postgres };

inline std::string engineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

// Why an engine cannot be tested here, or empty when it can.
std::string engineMissing(Engine e);

// A database for one test: a file in a temporary folder, or a new database
// (named after `prefix`) in the one PostgreSQL cluster of the run.
struct TestDatabase {
    TestDatabase(Engine e, const std::string& prefix);
    std::unique_ptr<TempDir> dir;
    std::string url;
};

} // namespace erp::testing
