// SPDX-License-Identifier: MIT
#pragma once

// A backup taken while clients save without pause, and its restore: the
// same scenario for the build's server and for the one installed from the
// packages.
#include "rpcclient.h"
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "storage.h"
#include "wire/packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace erp::testing {

// The IRPJ additions of company 01 as (number, name), read from a database file.
inline std::set<std::pair<long long, QString>> additionsIn(const std::string& sqliteFile)
{
    std::set<std::pair<long long, QString>> rows;
    auto db = server::openSqlite(sqliteFile);
    for (const auto& r : db->query("SELECT NRSEQPARAMAPU, NMPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = '01' AND IDIMPOSTO = 'I'"))
        rows.insert({r.at(0).toLongLong(), r.at(1).toString()});
    return rows;
}

// The same, as the server answers GetParamIRPJ.
inline std::set<std::pair<long long, QString>> additionsServed(const ServerProcess& s)
{
    std::set<std::pair<long long, QString>> rows;
    RpcClient cli(s.host(), s.port());
    const QJsonObject packet = cli.call(contract::method::GetParamIRPJ, {"01"}).value("result").toObject();
    for (const QJsonValue& row : packet.value("rows").toArray())
        rows.insert({qlonglong(row.toArray().at(0).toDouble()), row.toArray().at(2).toString()});
    return rows;
}

// `server` (a program path) serves `folder`/erp.db while four clients save
// additions as fast as it takes them; `server --backup` copies the database
// meanwhile. The copy must be whole and consistent, hold every row answered
// before the backup began and none whose save began after it ended. Then,
// the server stopped, `server --restore` puts the copy back and the server
// reads exactly the copy's rows.
inline void backupUnderLoadAndRestore(const std::string& server, const std::string& folder)
{
    const std::string db = folder + "/erp.db", copy = folder + "/copia.db";
    const std::vector<std::string> serve{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo"};
    auto running = std::make_unique<ServerProcess>(server, serve);

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<QString> answered; // saves answered as applied, in order
    std::vector<std::pair<std::chrono::steady_clock::time_point, QString>> begun;
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c)
        clients.emplace_back([&, c] {
            RpcClient cli(running->host(), running->port());
            for (int i = 0; !stop; ++i) {
                const QJsonValue seq = cli.call(contract::method::prxSeqParamIRPJ).value("result");
                if (!seq.isDouble())
                    return;
                const QString name = QStringLiteral("Carga %1-%2").arg(c).arg(i);
                ChangePacket p;
                p.fields = contract::paramApuLayout();
                p.changes.push_back({ChangeStatus::Inserted, {}, {seq.toDouble(), "01", name, "A", "I", 10.0}});
                {
                    std::lock_guard lock(mutex);
                    begun.push_back({std::chrono::steady_clock::now(), name});
                }
                const QJsonObject r = cli.call(contract::method::SetParamIRPJ, {packet::toJson(p)});
                if (r.value("result").toObject().value("applied").toInt() != 1)
                    return;
                std::lock_guard lock(mutex);
                answered.push_back(name);
            }
        });
    auto savedSoFar = [&] {
        std::lock_guard lock(mutex);
        return answered;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (savedSoFar().size() < 40 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<QString> beforeBackup = savedSoFar();
    const RunResult backup = runProgram({server, "--db", "sqlite:" + db, "--backup", copy}, 60);
    const auto backupEnded = std::chrono::steady_clock::now();
    while (savedSoFar().size() < beforeBackup.size() + 40 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (std::thread& t : clients)
        t.join();
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_NE(backup.out.find("gravada em " + copy), std::string::npos) << backup.out;
    ASSERT_GE(beforeBackup.size(), 40u) << "the clients did not save";
    ASSERT_GE(answered.size(), beforeBackup.size() + 40) << "the saves stopped during the backup";

    {
        // A copy is one file: its header says rollback journal (1), not WAL (2).
        std::ifstream header(copy, std::ios::binary);
        char version[2] = {};
        header.seekg(18);
        header.read(version, 2);
        EXPECT_EQ(version[0], 1);
        EXPECT_EQ(version[1], 1);
        EXPECT_FALSE(std::filesystem::exists(copy + "-wal"));
        auto check = server::openSqlite(copy);
        EXPECT_EQ(check->query("PRAGMA quick_check").at(0).at(0).toString(), "ok");
        EXPECT_TRUE(check->query("PRAGMA foreign_key_check").empty());
        // Every addition's number was issued by its series before the copy.
        EXPECT_EQ(check->query("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU > (SELECT VRULTIMO FROM SEQUENCIA WHERE NMSEQUENCIA = 'PARAMIRPJ')")
                      .at(0)
                      .at(0)
                      .toLongLong(),
                  0);
    }
    const auto copied = additionsIn(copy);
    std::set<QString> copiedNames;
    for (const auto& [seq, name] : copied)
        copiedNames.insert(name);
    for (const QString& name : beforeBackup)
        EXPECT_TRUE(copiedNames.count(name)) << name.toStdString() << " was saved before the backup began";
    for (const auto& [when, name] : begun) {
        if (when > backupEnded) {
            EXPECT_FALSE(copiedNames.count(name)) << name.toStdString() << " was sent after the backup ended";
        }
    }

    // The restore is refused while the server holds the database.
    const RunResult refused = runProgram({server, "--db", "sqlite:" + db, "--restore", copy}, 60);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("em uso por um servidor"), std::string::npos) << refused.err;
    const auto everything = additionsServed(*running);
    EXPECT_GT(everything.size(), copied.size());
    EXPECT_TRUE(std::includes(everything.begin(), everything.end(), copied.begin(), copied.end()));

    running->stop();
    const RunResult restored = runProgram({server, "--db", "sqlite:" + db, "--restore", copy}, 60);
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("restaurado a partir de " + copy), std::string::npos) << restored.out;
    // What the restore replaced is kept beside the database.
    const auto kept = restored.out.find("guardado em ");
    ASSERT_NE(kept, std::string::npos) << restored.out;
    EXPECT_EQ(additionsIn(restored.out.substr(kept + 12, restored.out.find_first_of("\n", kept) - kept - 12)), everything);
    running = std::make_unique<ServerProcess>(server, std::vector<std::string>{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0"});
    EXPECT_EQ(additionsServed(*running), copied);
}

} // namespace erp::testing
