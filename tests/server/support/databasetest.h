// SPDX-License-Identifier: MIT
#pragma once

#include "engines.h"

#include "storage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace erp::testing {

// A test on a fresh database of the engine it is instantiated with, and calls
// to the parameter service in process, as the front makes them for a user.
class DatabaseTest : public ::testing::TestWithParam<Engine> {
protected:
    // Creates the database (named after `prefix`), migrates it and, when
    // `demo`, fills it with the demo data. Skips the test when the engine is
    // missing: a SetUp that goes on afterwards checks IsSkipped() first.
    void createDatabase(const char* prefix, bool demo = true);

    // A call as `user`, to every company unless `companies` are given, with
    // an Idempotency-Key when `key` is not empty: the answer's JSON object.
    QJsonObject callAs(const QString& user, const char* method, const QJsonArray& params, const QStringList& companies = {},
                       const std::string& key = {});
    // The same as maria, the demo office's user.
    QJsonObject call(const char* method, const QJsonArray& params, const QStringList& companies = {}, const std::string& key = {});
    // A call that must succeed (a refusal fails the test, with the answer): the answer.
    QJsonObject ok(const char* method, const QJsonArray& params, const QString& user = QStringLiteral("maria"), const std::string& key = {});

    std::unique_ptr<TestDatabase> testDb_;
    std::unique_ptr<server::Db> db_;
};

} // namespace erp::testing
