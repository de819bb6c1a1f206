// SPDX-License-Identifier: MIT
#include "databasetest.h"

#include "packets.h"

#include "contract/paramirpj.h"
#include "rpc.h"
#include "schema.h"

#include <QJsonDocument>

namespace erp::testing {

void DatabaseTest::createDatabase(const char* prefix, bool demo)
{
    if (const std::string missing = engineMissing(GetParam()); !missing.empty())
        GTEST_SKIP() << missing;
    testDb_ = std::make_unique<TestDatabase>(GetParam(), prefix);
    db_ = server::openDatabase(testDb_->url);
    server::migrate(*db_);
    if (demo)
        server::fillDemo(*db_);
}

QJsonObject DatabaseTest::callAs(const QString& user, const char* method, const QJsonArray& params, const QStringList& companies,
                                 const std::string& key)
{
    const server::Caller caller{user, companies.isEmpty(), companies};
    const server::RpcAnswer a = server::handleRpc(contract::kServerObject, rpcRequest(method, params), *db_, {key, caller});
    return QJsonDocument::fromJson(a.body).object();
}

QJsonObject DatabaseTest::call(const char* method, const QJsonArray& params, const QStringList& companies, const std::string& key)
{
    return callAs(QStringLiteral("maria"), method, params, companies, key);
}

QJsonObject DatabaseTest::ok(const char* method, const QJsonArray& params, const QString& user, const std::string& key)
{
    const QJsonObject r = callAs(user, method, params, {}, key);
    EXPECT_TRUE(r.contains("result")) << method << ": " << QJsonDocument(r).toJson().toStdString();
    return r;
}

} // namespace erp::testing
