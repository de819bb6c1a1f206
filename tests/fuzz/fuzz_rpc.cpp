// SPDX-License-Identifier: MIT
// The JSON-RPC dispatcher on arbitrary request bodies, in process, against a
// throwaway SQLite database with the schema and the demo data. Every request
// gets a JSON-RPC answer (or none, for a notification), never a crash.
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include "contract/paramirpj.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace erp::server;

namespace {

std::string& folder()
{
    static std::string path;
    return path;
}

void removeFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
}

Db& database()
{
    static std::unique_ptr<Db> db = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/erp-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder() = pattern;
        std::atexit(removeFolder);
        auto d = openSqlite(pattern + "/erp.db");
        migrate(*d);
        fillDemo(*d);
        // A throwaway file: durability would only slow the fuzzer down.
        d->script("PRAGMA synchronous=OFF");
        return d;
    }();
    return *db;
}

[[noreturn]] void fault(const char* what, const std::string& body)
{
    std::fprintf(stderr, "fuzz_rpc: %s: %s\n", what, body.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Db& db = database();
    const std::string body(reinterpret_cast<const char*>(data), size);
    const RpcAnswer a = handleRpc(erp::contract::kServerObject, body, db);
    if (a.body.isEmpty())
        return 0; // a notification
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(a.body, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        fault("the answer is not a JSON object", a.body.toStdString());
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("jsonrpc")) != QLatin1String("2.0") || o.contains(QLatin1String("result")) == o.contains(QLatin1String("error")))
        fault("the answer is not a JSON-RPC 2.0 response", a.body.toStdString());
    if (o.contains(QLatin1String("error"))) {
        const QJsonObject e = o.value(QLatin1String("error")).toObject();
        if (!e.value(QLatin1String("code")).isDouble() || e.value(QLatin1String("message")).toString().isEmpty())
            fault("an error without code or message", a.body.toStdString());
        // A storage failure on a healthy throwaway database means a request
        // reached the database it should have been refused before.
        if (e.value(QLatin1String("code")).toInt() == 1500)
            fault("a request ended in a storage failure", a.body.toStdString() + " / " + a.internal);
    }
    return 0;
}
