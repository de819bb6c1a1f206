// SPDX-License-Identifier: MIT
// The HTTP and JSON-RPC envelope, the token and the program's start and stop.
#include "rpcclient.h"
#include "support/rawhttp.h"
#include "support/serverprocess.h"

#include "storage.h"
#include "wire/rpccodes.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

using namespace erp::testing;
namespace code = erp::rpc::code;

namespace {

class ProtocolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        server_ = new ServerProcess(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir_->path() + "/erp.db", "--listen", "127.0.0.1:0", "--demo",
                                                        "--max-body", "65536"});
    }
    static void TearDownTestSuite()
    {
        delete server_;
        delete dir_;
    }
    RpcClient client(const std::string& object = "PAR47300.rdmParamIRPJ") { return RpcClient(server_->host(), server_->port(), object); }

    static TempDir* dir_;
    static ServerProcess* server_;
};
TempDir* ProtocolTest::dir_ = nullptr;
ServerProcess* ProtocolTest::server_ = nullptr;

TEST_F(ProtocolTest, MalformedRequestsGetTheirJsonRpcErrors)
{
    struct Case {
        const char* what;
        std::string body;
        int code;
    };
    const std::vector<Case> cases{
        {"not JSON", "{\"jsonrpc\":\"2.0\",", code::ParseError},
        {"empty body", "", code::ParseError},
        {"an array (batch)", R"([{"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[]}])", code::InvalidRequest},
        {"no version", R"({"id":1,"method":"getItensDRE","params":[]})", code::InvalidRequest},
        {"method not text", R"({"jsonrpc":"2.0","id":1,"method":5,"params":[]})", code::InvalidRequest},
        {"id an object", R"({"jsonrpc":"2.0","id":{},"method":"getItensDRE","params":[]})", code::InvalidRequest},
        {"named params", R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":{"a":1}})", code::InvalidParams},
        {"unknown method", R"({"jsonrpc":"2.0","id":1,"method":"DropTables","params":[]})", code::MethodNotFound},
        {"method name in other case", R"({"jsonrpc":"2.0","id":1,"method":"getitensdre","params":[]})", code::MethodNotFound},
        {"nesting too deep", R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[)" + std::string(100, '[') + std::string(100, ']') + "]}", code::InvalidRequest},
    };
    RpcClient cli = client();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QJsonObject r = cli.post(c.body);
        EXPECT_EQ(cli.lastStatus(), 200);
        EXPECT_EQ(r.value("jsonrpc"), "2.0");
        EXPECT_EQ(errorCode(r), c.code) << QJsonDocument(r).toJson().toStdString();
        EXPECT_FALSE(errorMessage(r).isEmpty());
    }
    // Deep nesting inside strings is only text.
    const QJsonObject r = cli.post(R"({"jsonrpc":"2.0","id":"x","method":"GetParamIRPJ","params":[")" + std::string(200, '[') + "\"]}");
    EXPECT_EQ(r.value("id"), "x");
    EXPECT_TRUE(r.contains("result"));
}

TEST_F(ProtocolTest, UnknownServerObjectAndPath)
{
    RpcClient other = client("PAR99999.rdmOutro");
    EXPECT_EQ(errorCode(other.call("getItensDRE")), code::MethodNotFound);
    auto res = other.http().Get("/nada");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    res = other.http().Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object(), (QJsonObject{{"status", "ok"}}));
}

TEST_F(ProtocolTest, OversizedAndCompressedBodiesAreRefusedBeforeParsing)
{
    RpcClient cli = client();
    std::string big = R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[")" + std::string(70000, 'x') + "\"]}";
    auto res = cli.http().Post("/rpc/PAR47300.rdmParamIRPJ", big, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);

    // The client keeps using its connection: nothing left unread confuses the next call.
    EXPECT_TRUE(cli.call("getItensDRE").contains("result"));
    for (const char* encoding : {"gzip", "br", "deflate", "identity"}) {
        res = cli.http().Post("/rpc/PAR47300.rdmParamIRPJ", httplib::Headers{{"Content-Encoding", encoding}}, "\x1f\x8b\x08\x00garbage", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 415) << encoding;
        EXPECT_TRUE(cli.call("getItensDRE").contains("result"));
    }
}

TEST_F(ProtocolTest, ABurstOfNewClientsIsServed)
{
    constexpr int kClients = 64;
    std::atomic<int> served{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back([&] {
            RpcClient cli = client();
            if (cli.call("getAliquotas").contains("result"))
                ++served;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(served, kClients);
}

TEST_F(ProtocolTest, ANotificationGetsNoBody)
{
    RpcClient cli = client();
    auto res = cli.http().Post("/rpc/PAR47300.rdmParamIRPJ", R"({"jsonrpc":"2.0","method":"getItensDRE","params":[]})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 204);
    EXPECT_TRUE(res->body.empty());
}

TEST(ServerToken, RequestsWithoutTheBearerTokenGet401)
{
    TempDir dir;
    writeTokenFile(dir.path() + "/token", "s3cr3t-t0ken\n");
    ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--token-file", dir.path() + "/token"});
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[]})";
    struct Case {
        const char* what;
        httplib::Headers headers;
        int status;
    };
    const std::vector<Case> cases{
        {"no header", {}, 401},
        {"wrong token", {{"Authorization", "Bearer s3cr3t-t0keX"}}, 401},
        {"prefix of the token", {{"Authorization", "Bearer s3cr3t"}}, 401},
        {"token without scheme", {{"Authorization", "s3cr3t-t0ken"}}, 401},
        {"right token", {{"Authorization", "Bearer s3cr3t-t0ken"}}, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        httplib::Client cli(server.host(), server.port());
        auto res = cli.Post("/rpc/PAR47300.rdmParamIRPJ", c.headers, body, "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        if (c.status == 401) {
            EXPECT_EQ(res->body.find("result"), std::string::npos);
        }
    }
    httplib::Client cli(server.host(), server.port());
    auto res = cli.Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 401);

    // The header's exact bytes are compared, and it must come once.
    struct RawCase {
        const char* what;
        std::string headers;
        int status;
    };
    const std::vector<RawCase> raw{
        {"a NUL and junk after the token", std::string("Authorization: Bearer s3cr3t-t0ken\0junk\r\n", 43), 401},
        {"junk after the token", "Authorization: Bearer s3cr3t-t0ken junk\r\n", 401},
        {"a blank after the token", "Authorization: Bearer s3cr3t-t0ken \r\n", 401},
        {"the scheme in other case", "Authorization: bearer s3cr3t-t0ken\r\n", 401},
        {"a second header with the right token", "Authorization: Bearer wrong\r\nAuthorization: Bearer s3cr3t-t0ken\r\n", 401},
        {"the right token twice", "Authorization: Bearer s3cr3t-t0ken\r\nAuthorization: Bearer s3cr3t-t0ken\r\n", 401},
        {"the header's name in other case", "authorization: Bearer s3cr3t-t0ken\r\n", 200},
    };
    for (const RawCase& c : raw) {
        SCOPED_TRACE(c.what);
        const RawConnection::Answer a = rawExchange(server.port(), rpcRequest(body, c.headers));
        EXPECT_EQ(a.status, c.status) << a.head;
        if (c.status == 401) {
            EXPECT_EQ(a.body, R"({"error":"Acesso não autorizado."})");
        }
    }

    // Decided before the body: a wrong token announcing 100 MB is answered
    // at once, and so is one with no length at all.
    for (const char* length : {"Content-Length: 104857600\r\n", ""}) {
        RawConnection c(server.port());
        c.send(std::string("POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nAuthorization: Bearer nope\r\n") + length + "\r\n");
        const RawConnection::Answer a = c.read(std::chrono::seconds(2));
        EXPECT_EQ(a.status, 401) << length;
        EXPECT_TRUE(a.closed);
    }
}

TEST(ServerProgram, RefusesBadStartsWithAClearMessage)
{
    TempDir dir;
    const std::string db = "sqlite:" + dir.path() + "/erp.db";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* says;
    };
    const std::vector<Case> cases{
        {"unknown option", {"--db", db, "--fast"}, "opção desconhecida"},
        {"missing value", {"--db"}, "precisa de um valor"},
        {"bad listen address", {"--db", db, "--listen", "127.0.0.1"}, "--listen"},
        {"port out of range", {"--db", db, "--listen", "127.0.0.1:70000"}, "--listen"},
        {"unknown database kind", {"--db", "mysql://x", "--listen", "127.0.0.1:0"}, "URL de banco de dados"},
        {"unreachable PostgreSQL", {"--db", "postgresql://erp@127.0.0.1:" + std::to_string(freeTcpPort()) + "/x", "--listen", "127.0.0.1:0"},
         "banco de dados"},
        {"SQLite file in a missing folder", {"--db", "sqlite:" + dir.path() + "/no/such/dir/erp.db", "--listen", "127.0.0.1:0"}, "banco de dados"},
        {"all interfaces without a token", {"--db", db, "--listen", "0.0.0.0:0"}, "sem token"},
        {"empty token file", {"--db", db, "--listen", "127.0.0.1:0", "--token-file", dir.path() + "/none"}, "token"},
        {"token file others may read", {"--db", db, "--listen", "127.0.0.1:0", "--token-file", dir.path() + "/open-token"}, "open-token"},
        {"token file the group may read", {"--db", db, "--listen", "127.0.0.1:0", "--token-file", dir.path() + "/group-token"}, "group-token"},
        {"a name that only begins like loopback", {"--db", db, "--listen", "127.anything:0"}, "--listen"},
        {"the IPv6 wildcard without a token", {"--db", db, "--listen", "[::]:0"}, "sem token"},
    };
    ::chmod(writeTokenFile(dir.path() + "/open-token", "segredo").c_str(), 0644);
    ::chmod(writeTokenFile(dir.path() + "/group-token", "segredo").c_str(), 0640);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv{ERP_SERVER_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = runProgram(argv, 30);
        // 1 for an unreachable database, 2 for what the operator must change.
        EXPECT_EQ(r.exitCode, std::string(c.what).find("unreachable") == 0 || std::string(c.what).find("SQLite file") == 0 ? 1 : 2) << r.err;
        EXPECT_EQ(r.out.find("listening on"), std::string::npos);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

// Loopback is an address, however it is written; no token is needed there.
TEST(ServerProgram, LoopbackAddressesNeedNoToken)
{
    TempDir dir;
    const int v6 = ::socket(AF_INET6, SOCK_STREAM, 0);
    const bool hasV6 = v6 >= 0;
    if (v6 >= 0)
        ::close(v6);
    for (const char* host : {"localhost", "127.0.0.2", "127.1", "[::ffff:127.0.0.1]", "[::1]"}) {
        SCOPED_TRACE(host);
        if (!hasV6 && std::string(host) == "[::1]")
            continue;
        ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", std::string(host) + ":0"});
        EXPECT_GT(server.port(), 0);
    }
}

TEST(ServerProgram, StopsGracefullyOnSigterm)
{
    TempDir dir;
    ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0"});
    RpcClient cli(server.host(), server.port());
    EXPECT_TRUE(cli.call("prxSeqParamIRPJ").contains("result"));
    EXPECT_EQ(server.stop(), 0);
    const std::string log = server.errorLog();
    EXPECT_NE(log.find("PAR47300.rdmParamIRPJ prxSeqParamIRPJ"), std::string::npos) << "one log line per call: " << log;
    EXPECT_NE(log.find(" ms ok"), std::string::npos) << log;
}

TEST(ServerProgram, ALostDatabaseAnswers1500WithoutInternals)
{
    if (!PgCluster::binDir())
        GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    auto cluster = std::make_unique<PgCluster>();
    ServerProcess server(ERP_SERVER_BINARY, {"--db", cluster->createDatabase("lost"), "--listen", "127.0.0.1:0", "--demo"});
    RpcClient cli(server.host(), server.port());
    ASSERT_TRUE(cli.call("getItensDRE").contains("result"));
    cluster.reset();
    for (int i = 0; i < 2; ++i) {
        const QJsonObject r = cli.call("GetParamIRPJ", {"01"});
        EXPECT_EQ(errorCode(r), 1500) << QJsonDocument(r).toJson().toStdString();
        EXPECT_EQ(errorMessage(r), "Não foi possível acessar o banco de dados. Tente novamente em instantes.");
    }
    auto res = cli.http().Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 503);
    EXPECT_NE(server.errorLog().find("postgresql:"), std::string::npos) << "the detail goes to the operator's log";
}

// A restarted database drops every connection the server holds; the server
// finds out only on the next use, and must not fail that call for it.
TEST(ServerProgram, ARestartedDatabaseAnswersTheNextCall)
{
    if (!PgCluster::binDir())
        GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    PgCluster cluster(true); // durable: its stop is a crash, and what was committed must survive it
    ServerProcess server(ERP_SERVER_BINARY, {"--db", cluster.createDatabase("restarted"), "--listen", "127.0.0.1:0", "--demo"});
    RpcClient cli(server.host(), server.port());
    const double seq = cli.call("prxSeqParamIRPJ").value("result").toDouble();
    ASSERT_GT(seq, 0);
    const QJsonObject packet{
        {"fields", QJsonArray{QJsonObject{{"name", "NRSEQPARAMAPU"}, {"type", "float"}}, QJsonObject{{"name", "CDEMPRESA"}, {"type", "string"}, {"size", 2}},
                              QJsonObject{{"name", "NMPARAMAPU"}, {"type", "string"}, {"size", 200}},
                              QJsonObject{{"name", "IDPARAMAPU"}, {"type", "string"}, {"size", 1}},
                              QJsonObject{{"name", "IDIMPOSTO"}, {"type", "string"}, {"size", 1}}, QJsonObject{{"name", "VRPORCENTAGEM"}, {"type", "float"}}}},
        {"changes", QJsonArray{QJsonObject{{"status", "inserted"}, {"new", QJsonArray{seq, "01", "Depois do reinício", "A", "I", 10}}}}}};

    // A save first (its transaction begins on the dead connection), then a read and a number.
    cluster.stop();
    cluster.start();
    const QJsonObject saved = cli.call("SetParamIRPJ", {packet});
    EXPECT_EQ(saved.value("result").toObject().value("applied"), 1) << QJsonDocument(saved).toJson().toStdString();
    cluster.stop();
    cluster.start();
    const QJsonObject read = cli.call("GetParamIRPJ", {"01"});
    EXPECT_TRUE(read.contains("result")) << QJsonDocument(read).toJson().toStdString();
    EXPECT_NE(QJsonDocument(read).toJson().indexOf("Depois do rein"), -1);
    EXPECT_GT(cli.call("prxSeqParamIRPJ").value("result").toDouble(), seq);
}

TEST(ServerProgram, ACallInFlightFinishesBeforeTheServerStops)
{
    TempDir dir;
    const std::string url = "sqlite:" + dir.path() + "/erp.db";
    ServerProcess server(ERP_SERVER_BINARY, {"--db", url, "--listen", "127.0.0.1:0", "--demo"});
    RpcClient cli(server.host(), server.port());
    const double seq = cli.call("prxSeqParamIRPJ").value("result").toDouble();
    const QJsonObject packet{
        {"fields", QJsonArray{QJsonObject{{"name", "NRSEQPARAMAPU"}, {"type", "float"}}, QJsonObject{{"name", "CDEMPRESA"}, {"type", "string"}, {"size", 2}},
                              QJsonObject{{"name", "NMPARAMAPU"}, {"type", "string"}, {"size", 200}},
                              QJsonObject{{"name", "IDPARAMAPU"}, {"type", "string"}, {"size", 1}},
                              QJsonObject{{"name", "IDIMPOSTO"}, {"type", "string"}, {"size", 1}}, QJsonObject{{"name", "VRPORCENTAGEM"}, {"type", "float"}}}},
        {"changes", QJsonArray{QJsonObject{{"status", "inserted"}, {"new", QJsonArray{seq, "02", "Gravada durante o encerramento", "A", "I", 10}}}}}};

    // Another writer holds the database, so the save waits inside the server.
    auto blocker = erp::server::openDatabase(url);
    blocker->begin(true);
    QJsonObject answer;
    std::thread call([&] { answer = cli.call("SetParamIRPJ", {packet}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server.signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    blocker->rollback();
    call.join();
    EXPECT_EQ(answer.value("result").toObject().value("applied"), 1) << QJsonDocument(answer).toJson().toStdString();
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(blocker->query("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NMPARAMAPU = ?", {QStringLiteral("Gravada durante o encerramento")}).at(0).at(0), 1);
}

// The server's database connections are a pool of their own size, however
// many clients call at once and however many HTTP threads serve them.
TEST(ServerProgram, DatabaseConnectionsAreAPoolOfItsOwnSize)
{
    if (!PgCluster::binDir())
        GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
    PgCluster cluster;
    const std::string url = cluster.createDatabase("pool");
    ServerProcess server(ERP_SERVER_BINARY, {"--db", url, "--listen", "127.0.0.1:0", "--demo", "--workers", "16", "--db-pool", "3"});
    auto watcher = erp::server::openDatabase(url);
    const auto connections = [&] {
        return watcher->query("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = 'pool' AND pid <> pg_backend_pid()").at(0).at(0).toInt();
    };
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, most{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i)
        clients.emplace_back([&] {
            RpcClient cli(server.host(), server.port());
            for (int k = 0; k < 30; ++k)
                answered += cli.call("GetParamIRPJ", {"01"}).contains("result") ? 1 : 0;
        });
    std::thread watch([&] {
        while (!done) {
            most = std::max(most.load(), connections());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    for (auto& t : clients)
        t.join();
    done = true;
    watch.join();
    EXPECT_EQ(answered, 16 * 30);
    EXPECT_GE(most, 1);
    EXPECT_LE(most, 3) << "more database connections than the pool's size";
}

// A call that finds every connection busy waits for one, then answers 1500
// in the user's words.
TEST(ServerProgram, ACallFindingThePoolBusyWaitsThenAnswers1500)
{
    TempDir dir;
    const std::string url = "sqlite:" + dir.path() + "/erp.db";
    ServerProcess server(ERP_SERVER_BINARY, {"--db", url, "--listen", "127.0.0.1:0", "--demo", "--db-pool", "1", "--db-wait", "1"});
    RpcClient first(server.host(), server.port()), second(server.host(), server.port());
    const double seq = first.call("prxSeqParamIRPJ").value("result").toDouble();
    const QJsonObject packet{
        {"fields", QJsonArray{QJsonObject{{"name", "NRSEQPARAMAPU"}, {"type", "float"}}, QJsonObject{{"name", "CDEMPRESA"}, {"type", "string"}, {"size", 2}},
                              QJsonObject{{"name", "NMPARAMAPU"}, {"type", "string"}, {"size", 200}},
                              QJsonObject{{"name", "IDPARAMAPU"}, {"type", "string"}, {"size", 1}},
                              QJsonObject{{"name", "IDIMPOSTO"}, {"type", "string"}, {"size", 1}}, QJsonObject{{"name", "VRPORCENTAGEM"}, {"type", "float"}}}},
        {"changes", QJsonArray{QJsonObject{{"status", "inserted"}, {"new", QJsonArray{seq, "02", "Esperou o banco", "A", "I", 10}}}}}};

    // Another writer holds the database: the save keeps the only connection, waiting.
    auto blocker = erp::server::openDatabase(url);
    blocker->begin(true);
    QJsonObject saved;
    std::thread save([&] { saved = first.call("SetParamIRPJ", {packet}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t = std::chrono::steady_clock::now();
    const QJsonObject read = second.call("getAliquotas");
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    EXPECT_EQ(errorCode(read), 1500) << QJsonDocument(read).toJson().toStdString();
    EXPECT_EQ(errorMessage(read), "O servidor de aplicação está ocupado com outras chamadas. Tente novamente em instantes.");
    EXPECT_GT(waited, 0.8);
    EXPECT_LT(waited, 5.0);
    blocker->rollback();
    save.join();
    EXPECT_EQ(saved.value("result").toObject().value("applied"), 1) << QJsonDocument(saved).toJson().toStdString();
    EXPECT_TRUE(second.call("getAliquotas").contains("result")) << "the connection came back to the pool";
}

} // namespace
