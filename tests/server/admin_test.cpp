// SPDX-License-Identifier: MIT
// The operator's side of erp-server: its help and messages, backups and
// restores of a SQLite database, and the shared PostgreSQL database set up
// in one step.
#include "backupround.h"
#include "rpcclient.h"
#include "support/serverprocess.h"

#include "storage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace erp;
using namespace erp::testing;

namespace {

RunResult runServer(std::vector<std::string> args, int timeoutSec = 60)
{
    args.insert(args.begin(), ERP_SERVER_BINARY);
    return runProgram(args, timeoutSec);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A demo database of the build's server, stopped.
std::string demoDatabase(const std::string& folder)
{
    const std::string db = folder + "/erp.db";
    ServerProcess(ERP_SERVER_BINARY, {"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo"}).stop();
    return db;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(Operator, HelpGoesToStdoutAndEndsWell)
{
    const RunResult r = runServer({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    for (const char* part : {"uso: erp-server", "--db URL", "--listen", "--token-file", "--db-pool", "--db-wait", "--setup-postgres", "--setup-name",
                             "--setup-dir", "--backup", "--restore", "--users", "--new-user", "-h, --help"})
        EXPECT_TRUE(contains(r.out, part)) << part;
    // The build's own program keeps its data in the checkout.
    EXPECT_TRUE(contains(r.out, "padrão: sqlite:" ERP_SOURCE_DIR "/data/erp.db")) << r.out;
    EXPECT_FALSE(contains(r.out, "Usage")) << r.out;
}

// A failure is a Portuguese sentence; the library's own words come after
// it, on a line of their own, never inside it.
TEST(Operator, FailuresSayWhatFailedThenTheDetail)
{
    const RunResult r = runServer({"--db", "postgresql://erp@127.0.0.1:" + std::to_string(freeTcpPort()) + "/x", "--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("erp-server: não foi possível abrir o banco de dados.\n  detalhe: postgresql: ", 0), 0u) << r.err;
    EXPECT_FALSE(contains(r.err, ".:")) << r.err;
}

TEST(Operator, StopSignalsAreNamedInPortuguese)
{
    TempDir dir;
    for (const auto& [sig, said] : {std::pair{SIGTERM, "pedido de término (SIGTERM) recebido: encerrando"},
                                    std::pair{SIGINT, "pedido de interrupção (SIGINT) recebido: encerrando"}}) {
        ServerProcess s(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0"});
        s.signal(sig);
        EXPECT_EQ(s.stop(), 0);
        EXPECT_TRUE(contains(s.errorLog(), said)) << s.errorLog();
    }
}

TEST(Backup, UnderConcurrentSavesRestoresTheSameRows)
{
    TempDir dir;
    backupUnderLoadAndRestore(ERP_SERVER_BINARY, dir.path());
}

TEST(Backup, RefusalsLeaveEverythingAsItWas)
{
    TempDir dir;
    const std::string db = demoDatabase(dir.path());
    const auto rows = additionsIn(db);
    {
        std::ofstream(dir.path() + "/texto.db") << "não é um banco\n";
        auto other = server::openSqlite(dir.path() + "/outro.db");
        other->script("CREATE TABLE T (A INTEGER)");
        auto newer = server::openSqlite(dir.path() + "/nova.db");
        newer->script("CREATE TABLE ERP_SCHEMA (VERSION INTEGER NOT NULL); INSERT INTO ERP_SCHEMA VALUES (99)");
    }
    const auto before = filesIn(dir.path());
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::string sqlite = "sqlite:" + db;
    const std::vector<Case> cases{
        {"backup of PostgreSQL", {"--db", "postgresql://erp@127.0.0.1/erp", "--backup", dir.path() + "/c.db"}, 2, "pg_dump"},
        {"backup of a missing database", {"--db", "sqlite:" + dir.path() + "/nenhum.db", "--backup", dir.path() + "/c.db"}, 1, "não existe"},
        {"backup onto the database", {"--db", sqlite, "--backup", db}, 2, "sobre o próprio banco"},
        {"restore of PostgreSQL", {"--db", "postgresql://erp@127.0.0.1/erp", "--restore", dir.path() + "/outro.db"}, 2, "pg_restore"},
        {"restore from a missing copy", {"--db", sqlite, "--restore", dir.path() + "/nenhum.db"}, 1, "não existe"},
        {"restore from a text", {"--db", sqlite, "--restore", dir.path() + "/texto.db"}, 1, "não é um banco SQLite íntegro"},
        {"restore from another system's database", {"--db", sqlite, "--restore", dir.path() + "/outro.db"}, 1, "não é um banco deste sistema"},
        {"restore from a newer version", {"--db", sqlite, "--restore", dir.path() + "/nova.db"}, 1, "versão mais nova"},
        {"restore of the database onto itself", {"--db", sqlite, "--restore", db}, 2, "mesmo arquivo"},
        {"backup and restore at once", {"--db", sqlite, "--backup", dir.path() + "/c.db", "--restore", dir.path() + "/outro.db"}, 2, "use só uma"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = runServer(c.args);
        EXPECT_EQ(r.exitCode, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(filesIn(dir.path()), before);
    EXPECT_EQ(additionsIn(db), rows);
}

// The restore's hold on the file, taken here by hand: a server does not
// start on a database being restored.
TEST(Backup, AServerDoesNotStartDuringARestore)
{
    TempDir dir;
    const std::string db = demoDatabase(dir.path());
    const int fd = ::open(db.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const RunResult r = runServer({"--db", "sqlite:" + db, "--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "está sendo restaurado")) << r.err;
    ::close(fd);
    ServerProcess s(ERP_SERVER_BINARY, {"--db", "sqlite:" + db, "--listen", "127.0.0.1:0"});
    EXPECT_GT(s.port(), 0);
}

// Root opening a database that belongs to the service's user would leave
// files beside it that the service cannot write.
TEST(Backup, RootDoesNotOpenAnotherUsersDatabase)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can open another user's database";
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody)
        GTEST_SKIP() << "no user nobody";
    TempDir dir;
    const std::string db = demoDatabase(dir.path());
    ASSERT_EQ(::chown(db.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    const std::string folder = dir.path() + "/servico";
    ASSERT_EQ(::mkdir(folder.c_str(), 0750), 0);
    ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    for (const auto& args : std::vector<std::vector<std::string>>{{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0"},
                                                                   {"--db", "sqlite:" + db, "--backup", dir.path() + "/c.db"},
                                                                   {"--db", "sqlite:" + db, "--restore", dir.path() + "/c.db"},
                                                                   {"--db", "sqlite:" + folder + "/erp.db", "--listen", "127.0.0.1:0"}}) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        const RunResult r = runServer(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(contains(r.err, "pertence ao usuário nobody; execute como ele (runuser -u nobody -- erp-server ...)")) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(db + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/erp.db"));
}

// On a cluster that asks passwords over TCP, as an office's does.
TEST(SetupPostgres, RolesDatabaseSchemaAndExactlyTheClientsGrants)
{
    if (!PgCluster::binDir())
        GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    PgCluster cluster(false, true);
    TempDir dir;
    const std::string secrets = dir.path() + "/senhas";
    const std::vector<std::string> setup{"--setup-postgres", cluster.socketUrl("postgres"), "--setup-name", "escritorio", "--setup-dir", secrets, "--demo"};
    const RunResult first = runServer(setup);
    ASSERT_EQ(first.exitCode, 0) << first.err << first.out;
    for (const char* part : {"papel escritorio: criado", "papel escritorio_leitura: criado", "banco escritorio: criado, dono escritorio",
                             "esquema: versão", "dados de demonstração gravados", "listen_addresses = '*'", "pg_hba.conf",
                             "host  escritorio  escritorio  192.168.0.0/24  scram-sha-256",
                             "host  escritorio  escritorio_leitura  192.168.0.0/24  scram-sha-256", "pg_ctlcluster"})
        EXPECT_TRUE(contains(first.out, part)) << part << "\n" << first.out;
    for (const char* role : {"escritorio", "escritorio_leitura"}) {
        struct stat st{};
        const std::string file = secrets + "/" + role + ".pgpass";
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line.rfind(std::string("*:*:escritorio:") + role + ":", 0), 0u) << line;
        EXPECT_FALSE(contains(first.out, line.substr(line.rfind(':') + 1))) << "a password was printed";
    }

    const std::string tcp = "postgresql://%1@127.0.0.1:" + std::to_string(cluster.port()) + "/escritorio";
    auto urlOf = [&](const std::string& role, bool withPassword) {
        std::string u = tcp;
        u.replace(u.find("%1"), 2, role);
        return withPassword ? u + "?passfile=" + secrets + "/" + role + ".pgpass" : u;
    };
    // The owner role: the server runs on it, with the password file only.
    {
        ServerProcess s(ERP_SERVER_BINARY, {"--db", urlOf("escritorio", true), "--listen", "127.0.0.1:0"});
        RpcClient cli(s.host(), s.port());
        EXPECT_FALSE(cli.call("GetParamIRPJ", {"01"}).value("result").toObject().value("rows").toArray().isEmpty());
    }
    const RunResult noPassword = runServer({"--db", urlOf("escritorio", false), "--listen", "127.0.0.1:0"});
    EXPECT_EQ(noPassword.exitCode, 1) << "a password is required over TCP";

    // The clients' role: exactly SELECT on the two look-up tables, read-only.
    auto reader = server::openPostgres(urlOf("escritorio_leitura", true));
    EXPECT_EQ(reader->query("SELECT COUNT(*) FROM EMPRESA").at(0).at(0).toLongLong(), 4);
    EXPECT_GT(reader->query("SELECT COUNT(*) FROM CONTCTBL").at(0).at(0).toLongLong(), 0);
    EXPECT_EQ(reader->query("SHOW default_transaction_read_only").at(0).at(0).toString(), "on");
    const server::SqlRows granted = reader->query(
        "SELECT c.relname || ':' || string_agg(p.privilege, ',' ORDER BY p.privilege) FROM pg_class c "
        "CROSS JOIN (VALUES ('SELECT'), ('INSERT'), ('UPDATE'), ('DELETE'), ('TRUNCATE'), ('REFERENCES'), ('TRIGGER')) AS p(privilege) "
        "WHERE c.relnamespace = 'public'::regnamespace AND c.relkind IN ('r', 'S', 'v') AND has_table_privilege(c.oid, p.privilege) "
        "GROUP BY c.relname ORDER BY c.relname");
    std::vector<std::string> grants;
    for (const auto& row : granted)
        grants.push_back(row.at(0).toString().toStdString());
    EXPECT_EQ(grants, (std::vector<std::string>{"contctbl:SELECT", "empresa:SELECT"}));
    for (const char* sql : {"SELECT COUNT(*) FROM PARAMAPUIRPJ", "SELECT nextval('SQPARAMIRPJ')"})
        EXPECT_THROW(reader->query(sql), server::DbError) << sql;
    EXPECT_THROW(reader->script("CREATE TABLE INTRUSA (A INTEGER)"), server::DbError);

    // Nobody else may connect; the tables belong to the owner role.
    auto admin = server::openPostgres(cluster.socketUrl("postgres"));
    admin->script("CREATE ROLE intruso LOGIN");
    EXPECT_EQ(admin->query("SELECT has_database_privilege('intruso', 'escritorio', 'CONNECT')").at(0).at(0).toString(), "f");
    auto owned = server::openPostgres(cluster.socketUrl("escritorio"));
    EXPECT_EQ(owned->query("SELECT string_agg(DISTINCT pg_get_userbyid(relowner), ',') FROM pg_class "
                           "WHERE relnamespace = 'public'::regnamespace AND relkind IN ('r', 'S', 'i')")
                  .at(0)
                  .at(0)
                  .toString(),
              "escritorio");

    // Again: nothing to create, the same passwords still open the database.
    const RunResult second = runServer(setup);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(contains(second.out, "papel escritorio: já existia")) << second.out;
    EXPECT_TRUE(contains(second.out, "banco escritorio: já existia")) << second.out;
    EXPECT_FALSE(contains(second.out, "dados de demonstração gravados")) << second.out;
    EXPECT_EQ(server::openPostgres(urlOf("escritorio_leitura", true))->query("SELECT COUNT(*) FROM EMPRESA").at(0).at(0).toLongLong(), 4);

    // Refusals: not a superuser, a name that is a superuser already.
    const RunResult notSuper = runServer({"--setup-postgres", urlOf("escritorio", true), "--setup-dir", secrets});
    EXPECT_EQ(notSuper.exitCode, 1);
    EXPECT_TRUE(contains(notSuper.err, "precisa conectar como superusuário")) << notSuper.err;
    const RunResult superName = runServer({"--setup-postgres", cluster.socketUrl("postgres"), "--setup-name", "erp", "--setup-dir", secrets});
    EXPECT_EQ(superName.exitCode, 1);
    EXPECT_TRUE(contains(superName.err, "é superusuário")) << superName.err;
}
