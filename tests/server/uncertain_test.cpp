// SPDX-License-Identifier: MIT
// A commit whose outcome cannot be known is answered 1501, never "try
// again": on PostgreSQL a connection lost during COMMIT, on SQLite a disk
// that fails while the commit is written. Sent again with its key, the save
// is applied exactly once.
#include "rpcclient.h"
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

std::string insertRequest(server::Db& db, const QString& name)
{
    ChangePacket p;
    p.fields = contract::paramApuLayout();
    p.changes.push_back({ChangeStatus::Inserted, {}, {double(server::nextSequence(db, server::Series::Param)), "01", name, "A", "I", 10.0}});
    const QJsonObject r{{"jsonrpc", "2.0"}, {"id", 1}, {"method", m::SetParamIRPJ}, {"params", QJsonArray{packet::toJson(p)}}};
    return QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject sendKeyed(server::Db& db, const std::string& body)
{
    return QJsonDocument::fromJson(server::handleRpc(contract::kServerObject, body, db, {"incerta"}).body).object();
}

qlonglong rowsNamed(server::Db& db, const QString& name)
{
    return db.query("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NMPARAMAPU = ?", {name}).at(0).at(0).toLongLong();
}

void expectUncertain(const QJsonObject& r)
{
    EXPECT_EQ(errorCode(r), 1501) << QJsonDocument(r).toJson().toStdString();
    EXPECT_TRUE(errorMessage(r).contains("não é possível saber")) << errorMessage(r).toStdString();
    EXPECT_TRUE(errorMessage(r).contains("recarregados")) << errorMessage(r).toStdString();
    EXPECT_FALSE(errorMessage(r).contains("Tente novamente")) << errorMessage(r).toStdString();
}

// The save's COMMIT is held in a deferred trigger; its connection is then
// terminated from outside, exactly while the COMMIT waits for its answer.
TEST(UncertainCommit, PostgreSQLConnectionLostDuringCommit)
{
    if (!PgCluster::binDir())
        GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    PgCluster cluster;
    const std::string url = cluster.createDatabase("incerta");
    auto db = server::openDatabase(url);
    server::migrate(*db);
    server::fillDemo(*db);
    auto admin = server::openDatabase(url);
    admin->script("CREATE FUNCTION ESPERA_NO_COMMIT() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(60); RETURN NULL; END $$;"
                  "CREATE CONSTRAINT TRIGGER TRESPERA AFTER INSERT ON PARAMAPUIRPJ DEFERRABLE INITIALLY DEFERRED "
                  "FOR EACH ROW EXECUTE FUNCTION ESPERA_NO_COMMIT()");
    const std::string body = insertRequest(*db, QStringLiteral("Incerta"));

    QJsonObject answer;
    std::thread save([&] { answer = sendKeyed(*db, body); });
    bool terminated = false;
    for (int i = 0; i < 200 && !terminated; ++i) {
        const server::SqlRows committing = admin->query("SELECT pid FROM pg_stat_activity WHERE state = 'active' AND query = 'COMMIT'");
        if (!committing.empty()) {
            admin->query("SELECT pg_terminate_backend(CAST(? AS INTEGER))", {committing[0][0]});
            terminated = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    save.join();
    ASSERT_TRUE(terminated) << "the COMMIT never showed up in pg_stat_activity";
    expectUncertain(answer);
    // Terminated before it committed: nothing is stored, the key neither.
    EXPECT_EQ(rowsNamed(*admin, QStringLiteral("Incerta")), 0);

    admin->script("DROP TRIGGER TRESPERA ON PARAMAPUIRPJ");
    const QJsonObject again = sendKeyed(*db, body);
    EXPECT_EQ(again.value("result").toObject().value("applied"), 1) << QJsonDocument(again).toJson().toStdString();
    EXPECT_EQ(sendKeyed(*db, body), again);
    EXPECT_EQ(rowsNamed(*admin, QStringLiteral("Incerta")), 1);
}

// A VFS over the default one whose syncs of WAL files fail while `failing`
// is set, as a disk that reports an error in the middle of a commit.
namespace flaky {

std::atomic<bool> failing{false};
sqlite3_vfs* base = nullptr;
sqlite3_vfs vfs;
sqlite3_io_methods methods;

struct File {
    sqlite3_file file;
    sqlite3_file* real;
    bool wal;
};

sqlite3_file* real(sqlite3_file* f)
{
    return reinterpret_cast<File*>(f)->real;
}

int xSync(sqlite3_file* f, int flags)
{
    if (reinterpret_cast<File*>(f)->wal && failing)
        return SQLITE_IOERR_FSYNC;
    return real(f)->pMethods->xSync(real(f), flags);
}

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    File* me = reinterpret_cast<File*>(f);
    me->real = reinterpret_cast<sqlite3_file*>(me + 1);
    me->wal = (flags & SQLITE_OPEN_WAL) != 0;
    const int rc = base->xOpen(base, name, me->real, flags, outFlags);
    me->file.pMethods = rc == SQLITE_OK ? &methods : nullptr;
    return rc;
}

// Registered as the default VFS for its lifetime; every other call goes to the real file.
struct Scope {
    Scope()
    {
        base = sqlite3_vfs_find(nullptr);
        vfs = *base;
        vfs.zName = "flaky";
        vfs.szOsFile = int(sizeof(File)) + base->szOsFile;
        vfs.xOpen = xOpen;
        methods = sqlite3_io_methods{
            3,
            [](sqlite3_file* f) {
                const int rc = real(f)->pMethods->xClose(real(f));
                f->pMethods = nullptr;
                return rc;
            },
            [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), b, n, o); },
            [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xWrite(real(f), b, n, o); },
            [](sqlite3_file* f, sqlite3_int64 size) { return real(f)->pMethods->xTruncate(real(f), size); },
            xSync,
            [](sqlite3_file* f, sqlite3_int64* size) { return real(f)->pMethods->xFileSize(real(f), size); },
            [](sqlite3_file* f, int lock) { return real(f)->pMethods->xLock(real(f), lock); },
            [](sqlite3_file* f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); },
            [](sqlite3_file* f, int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); },
            [](sqlite3_file* f, int op, void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); },
            [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); },
            [](sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
            [](sqlite3_file* f, int page, int size, int extend, void volatile** p) { return real(f)->pMethods->xShmMap(real(f), page, size, extend, p); },
            [](sqlite3_file* f, int offset, int n, int flags) { return real(f)->pMethods->xShmLock(real(f), offset, n, flags); },
            [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); },
            [](sqlite3_file* f, int drop) { return real(f)->pMethods->xShmUnmap(real(f), drop); },
            [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return real(f)->pMethods->xFetch(real(f), o, n, p); },
            [](sqlite3_file* f, sqlite3_int64 o, void* p) { return real(f)->pMethods->xUnfetch(real(f), o, p); },
        };
        sqlite3_vfs_register(&vfs, 1);
    }
    ~Scope()
    {
        failing = false;
        sqlite3_vfs_register(base, 1);
        sqlite3_vfs_unregister(&vfs);
    }
};

} // namespace flaky

TEST(UncertainCommit, SQLiteDiskFailureWhileTheCommitIsWritten)
{
    TempDir dir;
    flaky::Scope vfs;
    {
        auto db = server::openSqlite(dir.path() + "/erp.db");
        server::migrate(*db);
        server::fillDemo(*db);
        const std::string body = insertRequest(*db, QStringLiteral("Incerta"));

        flaky::failing = true;
        const QJsonObject answer = sendKeyed(*db, body);
        // A number asked again is at worst a gap: an ordinary failure.
        const QJsonObject number = sendKeyed(*db, R"({"jsonrpc":"2.0","id":2,"method":"prxSeqParamIRPJ","params":[]})");
        flaky::failing = false;
        expectUncertain(answer);
        EXPECT_EQ(errorCode(number), 1500) << QJsonDocument(number).toJson().toStdString();

        // The connection goes on; sent again with its key the save applies once.
        const QJsonObject again = sendKeyed(*db, body);
        EXPECT_EQ(again.value("result").toObject().value("applied"), 1) << QJsonDocument(again).toJson().toStdString();
        EXPECT_EQ(sendKeyed(*db, body), again);
        EXPECT_EQ(rowsNamed(*db, QStringLiteral("Incerta")), 1);
    }
    auto reopened = server::openSqlite(dir.path() + "/erp.db");
    EXPECT_EQ(rowsNamed(*reopened, QStringLiteral("Incerta")), 1);
}

} // namespace
