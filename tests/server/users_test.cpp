// SPDX-License-Identifier: MIT
// Named users through the real server program: access per company (1006 on
// every company-scoped method, on both engines), who the history names, the
// tokens refused with 401, the users file's checks at start and its reload
// on SIGHUP, and --new-user.
#include "rpcclient.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/rawhttp.h"
#include "support/snapshot.h"

#include "storage.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QRegularExpression>

#include <csignal>
#include <fstream>
#include <thread>

#include <sys/stat.h>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

const Layout adicL(contract::paramApuLayout()), infL(contract::infCtbLayout()), rdL(contract::recDespLayout()), histL(contract::historicoLayout());

// A user made by the program's own --new-user: the token and the file's line.
struct User {
    std::string token, line;
};

User newUser(const std::string& name, const std::string& companies)
{
    const RunResult r = runProgram({ERP_SERVER_BINARY, "--new-user", name, companies});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto cut = r.out.find('\n');
    return {r.out.substr(0, cut), r.out.substr(cut + 1, r.out.find('\n', cut + 1) - cut - 1)};
}

std::string writeUsers(const std::string& path, const std::string& text, mode_t mode = 0600)
{
    std::ofstream(path, std::ios::trunc) << text;
    ::chmod(path.c_str(), mode);
    return path;
}

RpcClient clientOf(const ServerProcess& server, const std::string& token)
{
    RpcClient c(server.host(), server.port());
    c.http().set_bearer_token_auth(token);
    return c;
}

QJsonObject okCall(RpcClient& c, const QString& method, const QJsonArray& params)
{
    const QJsonObject r = c.call(method, params);
    EXPECT_TRUE(r.contains("result")) << method.toStdString() << ": " << QJsonDocument(r).toJson().toStdString();
    return r;
}

DataPacket history(RpcClient& c, const QString& company, double number)
{
    return packet::decodeData(okCall(c, m::getHistorico, {company, number}).value("result").toObject(), &static_cast<const FieldDefs&>(histL));
}

class AccessTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (const std::string missing = engineMissing(GetParam()); !missing.empty())
            GTEST_SKIP() << missing;
        db_ = std::make_unique<TestDatabase>(GetParam(), "u");
        maria_ = newUser("maria", "01,02");
        jose_ = newUser("jose", "*");
        writeUsers(dir_.path() + "/usuarios", "# escritório\n" + maria_.line + "\n" + jose_.line + "  # todas\n");
        server_ = std::make_unique<ServerProcess>(
            ERP_SERVER_BINARY, std::vector<std::string>{"--db", db_->url, "--listen", "127.0.0.1:0", "--demo", "--users", dir_.path() + "/usuarios"});
    }

    TempDir dir_;
    std::unique_ptr<TestDatabase> db_;
    User maria_, jose_;
    std::unique_ptr<ServerProcess> server_;
};

// A user limited to 01 and 02 gets 1006 from every method that reads or
// writes company 03's rows, and nothing is read or written; the number
// series and the reference tables are open to every user.
TEST_P(AccessTest, EveryCompanyScopedMethodRefusesACompanyTheUserMayNotSee)
{
    RpcClient jose = clientOf(*server_, jose_.token), maria = clientOf(*server_, maria_.token);
    auto next = [&](const char* method) { return okCall(jose, method, {}).value("result").toDouble(); };
    auto db = server::openDatabase(db_->url);
    const QString account = db->query("SELECT CDCONTCTBL FROM CONTCTBL ORDER BY 1 LIMIT 1").at(0).at(0).toString();
    const server::SqlRow rate = db->query("SELECT NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL FROM ALIQIRPJ ORDER BY 1 LIMIT 1").at(0);
    const RowValues a{next(m::prxSeqParamIRPJ), "03", "Da empresa 03", "A", "I", 10.0};
    const RowValues r{next(m::prxSeqParamIRPJ), "03", "Item da 03", "R", "S", rate[0].toDouble(), rate[1].toDouble(), rate[2].toDouble(), "S"};
    const RowValues i{"C", a[0], next(m::prxInfCtbIRPJ), "C", account, account, {}};
    okCall(jose, m::SetParamIRPJ, {insertJson(adicL, a)});
    okCall(jose, m::setRecDesp, {insertJson(rdL, r)});
    okCall(jose, m::SetInfCtbIRPJ, {insertJson(infL, i)});

    const double seq = next(m::prxSeqParamIRPJ), infSeq = next(m::prxInfCtbIRPJ);
    struct Case {
        const char* method;
        QJsonArray params;
    };
    const std::vector<Case> cases{
        {m::GetParamIRPJ, {"03"}},
        {m::GetParamCSLL, {"03"}},
        {m::getRecDesp, {"03"}},
        {m::getInfCtbIRPJ, {a[0].toDouble()}},
        {m::getInfCtbIRPJ, {r[0].toDouble()}},
        {m::getHistorico, {"03", a[0].toDouble()}},
        {m::SetParamIRPJ, {insertJson(adicL, {seq, "03", "Nova", "A", "I", 5.0})}},
        {m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Modified, a, adicL.with(a, f::VRPORCENTAGEM, 20.0))}},
        {m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Modified, a, adicL.with(a, f::CDEMPRESA, "01"))}},
        {m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Deleted, a, {})}},
        {m::setRecDesp, {changeJson(rdL, ChangeStatus::Modified, r, rdL.with(r, f::IDCONSVRDEB, "N"))}},
        {m::setRecDesp, {changeJson(rdL, ChangeStatus::Deleted, r, {})}},
        {m::SetInfCtbIRPJ, {insertJson(infL, {"C", r[0], infSeq, "C", account, account, {}})}},
        {m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Modified, i, infL.with(i, f::IDFORMAPURITEM, "P"))}},
        {m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Deleted, i, {})}},
        {m::setDeleteInfCtb, {a[0].toDouble()}},
    };
    const std::vector<std::string> before = snapshot(db_->url);
    const auto historyRows = [&] { return db->query("SELECT COUNT(*) FROM HISTORICOIRPJ").at(0).at(0).toLongLong(); };
    const qlonglong recorded = historyRows();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + QJsonDocument(c.params).toJson(QJsonDocument::Compact).toStdString());
        const QJsonObject answer = maria.call(c.method, c.params);
        EXPECT_EQ(errorCode(answer), code::NoAccess) << QJsonDocument(answer).toJson().toStdString();
        EXPECT_EQ(errorMessage(answer), QStringLiteral("Usuário sem acesso à empresa 03."));
        EXPECT_EQ(snapshot(db_->url), before);
        EXPECT_EQ(historyRows(), recorded);
    }
    // The same user is served on its own companies, and by the open methods.
    for (const char* open : {m::getItensDRE, m::getAliquotas, m::prxSeqParamIRPJ, m::prxInfCtbIRPJ})
        okCall(maria, open, {});
    EXPECT_FALSE(okCall(maria, m::GetParamIRPJ, {"01"}).value("result").toObject().value("rows").toArray().isEmpty());
    EXPECT_EQ(errorCode(maria.call(m::GetParamIRPJ, {"04"})), code::NoAccess);

    // Each change is recorded under the user whose token made it.
    const RowValues mine{okCall(maria, m::prxSeqParamIRPJ, {}).value("result").toDouble(), "02", "Multa", "A", "I", 10.0};
    okCall(maria, m::SetParamIRPJ, {insertJson(adicL, mine)});
    okCall(jose, m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Modified, mine, adicL.with(mine, f::VRPORCENTAGEM, 15.0))});
    const DataPacket h = history(maria, "02", mine[0].toDouble());
    ASSERT_EQ(h.rows.size(), 5u);
    EXPECT_EQ(h.rows[0][histL[f::NMUSUARIO]].toString(), "jose");
    EXPECT_EQ(h.rows[0][histL[f::NMCAMPO]].toString(), "VRPORCENTAGEM");
    EXPECT_EQ(h.rows[0][histL[f::DSANTERIOR]].toString(), "10");
    EXPECT_EQ(h.rows[0][histL[f::DSNOVO]].toString(), "15");
    for (std::size_t k = 1; k < h.rows.size(); ++k)
        EXPECT_EQ(h.rows[k][histL[f::NMUSUARIO]].toString(), "maria");
}

INSTANTIATE_TEST_SUITE_P(Engines, AccessTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

// --token-file is the user "padrao" and loopback without either option the
// user "local", each with every company; a users file names its own.
TEST(Users, EachWayInNamesItsUserInTheHistory)
{
    TempDir dir;
    const User ana = newUser("ana", "04");
    writeUsers(dir.path() + "/usuarios", ana.line + "\n");
    writeTokenFile(dir.path() + "/token", "segredo-do-escritorio");
    struct Case {
        const char* user;
        std::vector<std::string> options;
        std::string token;
        const char* company;
    };
    const std::vector<Case> cases{
        {"ana", {"--users", dir.path() + "/usuarios"}, ana.token, "04"},
        {"padrao", {"--token-file", dir.path() + "/token"}, "segredo-do-escritorio", "03"},
        {"local", {}, "", "02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        std::vector<std::string> args{"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--demo"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ServerProcess server(ERP_SERVER_BINARY, args);
        RpcClient client = clientOf(server, c.token);
        const RowValues row{okCall(client, m::prxSeqParamIRPJ, {}).value("result").toDouble(), c.company, "Quem", "A", "I", 10.0};
        okCall(client, m::SetParamIRPJ, {insertJson(adicL, row)});
        const DataPacket h = history(client, c.company, row[0].toDouble());
        ASSERT_FALSE(h.rows.empty());
        for (const RowValues& line : h.rows)
            EXPECT_EQ(line[histL[f::NMUSUARIO]].toString(), QString::fromLatin1(c.user));
    }
}

TEST(Users, AWrongNulLadenOrMissingTokenIs401)
{
    TempDir dir;
    const User maria = newUser("maria", "01,02"), jose = newUser("jose", "*");
    writeUsers(dir.path() + "/usuarios", maria.line + "\n" + jose.line + "\n");
    ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--users", dir.path() + "/usuarios"});
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[]})";
    const std::string t = maria.token;
    struct Case {
        const char* what;
        std::string headers;
        int status;
    };
    const std::vector<Case> cases{
        {"no Authorization", "", 401},
        {"a wrong token", "Authorization: Bearer " + std::string(t.size(), 'x') + "\r\n", 401},
        {"a token's hash instead of the token", "Authorization: Bearer " + maria.line.substr(6, 64) + "\r\n", 401},
        {"the token and a NUL with more after it", "Authorization: Bearer " + t + std::string("\0x", 2) + "\r\n", 401},
        {"a NUL inside the token", "Authorization: Bearer " + t.substr(0, 5) + std::string("\0", 1) + t.substr(5) + "\r\n", 401},
        {"two users' tokens joined", "Authorization: Bearer " + t + jose.token + "\r\n", 401},
        {"the token without its scheme", "Authorization: " + t + "\r\n", 401},
        {"one user's token and then another's", "Authorization: Bearer " + t + "\r\nAuthorization: Bearer " + jose.token + "\r\n", 401},
        {"maria's token", "Authorization: Bearer " + t + "\r\n", 200},
        {"jose's token", "Authorization: Bearer " + jose.token + "\r\n", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RawConnection::Answer a = rawExchange(server.port(), erp::testing::rpcRequest(body, c.headers));
        EXPECT_EQ(a.status, c.status) << a.head;
        if (c.status == 401) {
            EXPECT_EQ(a.body, R"({"error":"Acesso não autorizado."})");
        }
    }
}

// The file must be its owner's alone and every line sound, or the server
// does not start (exit 2) and says which file and line.
TEST(Users, AFileOthersMayReadOrABadLineStopsTheStart)
{
    TempDir dir;
    const User maria = newUser("maria", "01");
    const std::string hash = maria.line.substr(6, 64);
    struct Case {
        const char* what;
        std::string text;
        mode_t mode;
        const char* says;
    };
    const std::vector<Case> cases{
        {"readable by the group", maria.line + "\n", 0640, "chmod 600"},
        {"readable by others", maria.line + "\n", 0604, "chmod 600"},
        {"writable by the group", maria.line + "\n", 0620, "chmod 600"},
        {"two fields", "maria:" + hash + "\n", 0600, "linha 1"},
        {"a short hash", "# comentário\nmaria:" + hash.substr(1) + ":01\n", 0600, "linha 2"},
        {"a company code of one digit", "maria:" + hash + ":1\n", 0600, "código de empresa"},
        {"no companies", "maria:" + hash + ":\n", 0600, "código de empresa"},
        {"a name with a blank", "ma ria:" + hash + ":01\n", 0600, "nome de usuário"},
        {"a user twice", maria.line + "\n" + maria.line + "\n", 0600, "mais de uma vez"},
        {"one token for two users", maria.line + "\njose:" + hash + ":*\n", 0600, "outro usuário"},
        {"only comments", "# ninguém\n\n", 0600, "nenhum usuário"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = writeUsers(dir.path() + "/usuarios", c.text, c.mode);
        const RunResult r = runProgram({ERP_SERVER_BINARY, "--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--users", path});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.out.find("listening on"), std::string::npos);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--users", dir.path() + "/nenhum"},
          std::vector<std::string>{"--users", writeUsers(dir.path() + "/bom", maria.line + "\n"), "--token-file", dir.path() + "/bom"}}) {
        std::vector<std::string> argv{ERP_SERVER_BINARY, "--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0"};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, 2) << r.err;
    }
}

TEST(Users, NewUserPrintsARandomTokenAndTheLineThatAdmitsIt)
{
    const User a = newUser("joão", "02,01,02"), b = newUser("joão", "*");
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(QString::fromStdString(a.token)).hasMatch()) << a.token;
    EXPECT_NE(a.token, b.token);
    const std::string hash = QCryptographicHash::hash(QByteArray::fromStdString(a.token), QCryptographicHash::Sha256).toHex().toStdString();
    EXPECT_EQ(a.line, "joão:" + hash + ":02,01");
    EXPECT_EQ(b.line.substr(b.line.size() - 2), ":*");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"a:b", "01"}, {"ana", "01;02"}, {"ana"}, {"", "*"}}) {
        std::vector<std::string> argv{ERP_SERVER_BINARY, "--new-user"};
        argv.insert(argv.end(), bad.begin(), bad.end());
        const RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

// SIGHUP reads the file again; a file that cannot be used keeps the users
// as they were, and the log says why.
TEST(Users, SighupReloadsTheFileAndKeepsTheOldOneOnError)
{
    TempDir dir;
    const User maria = newUser("maria", "01"), jose = newUser("jose", "*");
    const std::string path = writeUsers(dir.path() + "/usuarios", maria.line + "\n");
    ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--demo", "--users", path});
    const auto status = [&](const User& u) {
        RpcClient c = clientOf(server, u.token);
        c.call(m::getItensDRE);
        return c.lastStatus();
    };
    // Waits (a few seconds at most) for the log to say `what` once more.
    const auto hangUp = [&](const std::string& what) {
        const auto count = [&] {
            const std::string log = server.errorLog();
            std::size_t n = 0;
            for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
                ++n;
            return n;
        };
        const std::size_t before = count();
        server.signal(SIGHUP);
        for (int i = 0; i < 100 && count() == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(count(), before + 1) << server.errorLog();
    };
    EXPECT_EQ(status(maria), 200);
    EXPECT_EQ(status(jose), 401);

    writeUsers(path, maria.line + "\n" + jose.line + "\n");
    hangUp("usuários recarregados");
    EXPECT_EQ(status(jose), 200);

    writeUsers(path, maria.line + "\njose sem token\n");
    hangUp("linha 2");
    writeUsers(path, "", 0600);
    hangUp("nenhum usuário");
    writeUsers(path, maria.line + "\n", 0644);
    hangUp("chmod 600");
    EXPECT_EQ(status(jose), 200) << "a file that cannot be used keeps the users as they were";
    EXPECT_EQ(status(maria), 200);

    ::chmod(path.c_str(), 0600);
    hangUp("usuários recarregados");
    EXPECT_EQ(status(jose), 401);
    EXPECT_EQ(status(maria), 200);
    EXPECT_EQ(server.stop(), 0) << "SIGHUP never stops the server";
}

} // namespace
