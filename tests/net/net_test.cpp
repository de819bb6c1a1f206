// SPDX-License-Identifier: MIT
// The client's remote calls against the real application server.
#include "host/net/netconnection.h"
#include "support/faultyrelay.h"
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "storage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QJsonObject>
#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

using namespace erp;
using namespace erp::host;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

class NetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        server_ = new ServerProcess(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir_->path() + "/erp.db", "--listen", "127.0.0.1:0", "--demo"});
    }
    static void TearDownTestSuite()
    {
        delete server_;
        delete dir_;
    }

    // Host and port come from the callback, as the screen's before-connect rule gives them.
    void point(TNetConnection& c, int port = -1)
    {
        c.onBeforeConnect = [this, port](TNetConnection& conn) {
            ++beforeConnect_;
            conn.setHost(QString::fromStdString(server_->host()));
            conn.setPort(port < 0 ? server_->port() : port);
        };
    }

    int beforeConnect_ = 0;
    static TempDir* dir_;
    static ServerProcess* server_;
};
TempDir* NetTest::dir_ = nullptr;
ServerProcess* NetTest::server_ = nullptr;

TEST_F(NetTest, CallsByNameAndChecksTheResult)
{
    TNetConnection net(contract::kServerObject);
    point(net);
    net.setConnected(true);
    EXPECT_TRUE(net.connected());
    EXPECT_EQ(beforeConnect_, 1);

    const QJsonValue raw = net.call(m::GetParamIRPJ, {"01"});
    ASSERT_TRUE(raw.isObject());
    EXPECT_TRUE(raw.toObject().contains("result")) << "the raw answer is the whole response";
    const FieldDefs layout = contract::paramApuLayout();
    const DataPacket p = packet::decodeData(CheckResultServ(raw, true, 0).toObject(), &layout);
    EXPECT_FALSE(p.rows.empty());

    try {
        CheckResultServ(net.call(m::SetParamIRPJ, {QJsonObject{{"fields", QJsonArray{}}}}), true, 0);
        FAIL() << "a refused save raises";
    } catch (const ServerError& e) {
        EXPECT_EQ(e.code(), -32602);
        EXPECT_TRUE(e.message().startsWith("Pacote de dados inválido")) << e.message().toStdString();
    }
    try {
        CheckResultServ(net.call("NaoExiste"), true, 0);
        FAIL() << "an unknown method raises";
    } catch (const ServerError& e) {
        EXPECT_EQ(e.code(), -32601);
    }
    EXPECT_TRUE(CheckResultServ(net.call("NaoExiste"), false, 0).isUndefined());

    // Each open asks for host and port again.
    net.setConnected(false);
    EXPECT_FALSE(net.connected());
    net.setConnected(true);
    EXPECT_EQ(beforeConnect_, 2);
}

TEST_F(NetTest, SequenceNumbersConvertThroughTextTo32Bits)
{
    TNetConnection net(contract::kServerObject);
    point(net);
    const qint32 first = sequenceNumber(net.call(m::prxSeqParamIRPJ));
    EXPECT_GT(first, 0);
    EXPECT_EQ(sequenceNumber(net.call(m::prxSeqParamIRPJ)), first + 1);
    EXPECT_GT(sequenceNumber(net.call(m::prxInfCtbIRPJ)), 0);

    struct Case {
        const char* what;
        QJsonValue value;
        qint64 expected; // 0: conversion fails
    };
    const std::vector<Case> cases{
        {"integer", QJsonValue(15), 15},
        {"whole double", QJsonValue(15.0), 15},
        {"text", QJsonValue("42"), 42},
        {"largest", QJsonValue(2147483647), 2147483647},
        {"response object", QJsonObject{{"jsonrpc", "2.0"}, {"id", 1}, {"result", 7}}, 7},
        {"beyond 32 bits", QJsonValue(2147483648.0), 0},
        {"fraction", QJsonValue(1.5), 0},
        {"letters", QJsonValue("abc"), 0},
        {"empty", QJsonValue(QJsonValue::Null), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.expected)
            EXPECT_EQ(sequenceNumber(c.value), c.expected);
        else
            EXPECT_THROW(sequenceNumber(c.value), ConversionError);
    }
    EXPECT_THROW(sequenceNumber(QJsonObject{{"error", QJsonObject{{"code", 1500}, {"message", "Falha."}}}}), ServerError);
}

TEST_F(NetTest, ADeadServerGivesAnErrorWithinSeconds)
{
    const int deadPort = freeTcpPort();
    TNetConnection net(contract::kServerObject);
    point(net, deadPort);
    const auto start = std::chrono::steady_clock::now();
    try {
        net.open();
        FAIL() << "opening a dead address raises";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.").arg(deadPort));
    }
    EXPECT_FALSE(net.connected());
    EXPECT_THROW(net.call(m::getItensDRE), Error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(NetTest, AServerThatNeverAnswersEndsInTheReadTimeout)
{
    // A socket that completes the handshake but never reads or writes.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    TNetConnection net(contract::kServerObject);
    point(net, ntohs(a.sin_port));
    net.setReadTimeout(std::chrono::milliseconds(700));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(net.open(), Error);
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(s);
    EXPECT_GE(took, std::chrono::milliseconds(600));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(NetTest, AnIdleConnectionOutlivesTheServersKeepAlive)
{
    TNetConnection net(contract::kServerObject);
    point(net);
    EXPECT_NO_THROW(CheckResultServ(net.call(m::getAliquotas)));
    // The server closes idle connections after two seconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_NO_THROW(CheckResultServ(net.call(m::getAliquotas)));
}

QJsonObject additionPacket(double seq, const QString& name)
{
    ChangePacket p;
    p.fields = contract::paramApuLayout();
    p.changes.push_back({ChangeStatus::Inserted, {}, {seq, "01", name, "A", "I", 10.0}});
    return packet::toJson(p);
}

// A change carries a fresh Idempotency-Key, which the server stores with
// it; reads and sequence numbers carry none.
TEST_F(NetTest, EveryChangeTravelsWithAFreshKey)
{
    auto db = server::openDatabase("sqlite:" + dir_->path() + "/erp.db");
    auto keys = [&] {
        std::set<QString> out;
        for (const server::SqlRow& r : db->query("SELECT CDCHAVE FROM REQUISICAOAPLICADA"))
            out.insert(r.at(0).toString());
        return out;
    };
    const std::set<QString> before = keys();
    TNetConnection net(contract::kServerObject);
    point(net);
    for (const char* name : {"Com chave 1", "Com chave 2"}) {
        const double seq = sequenceNumber(net.call(m::prxSeqParamIRPJ));
        CheckResultServ(net.call(m::SetParamIRPJ, {additionPacket(seq, QString::fromLatin1(name))}, CallKind::Change));
    }
    CheckResultServ(net.call(m::GetParamIRPJ, {"01"}));
    std::set<QString> added;
    std::ranges::set_difference(keys(), before, std::inserter(added, added.end()));
    ASSERT_EQ(added.size(), 2u) << "one key per change, none for the reads and numbers";
    for (const QString& k : added)
        EXPECT_FALSE(QUuid::fromString(k).isNull()) << k.toStdString();
}

// The failures after which a change's outcome is unknown, told from those
// that leave nothing in doubt. One lost exchange is the race of a kept-alive
// connection closed as idle, and the call goes once more; two in a row are
// reported.
TEST_F(NetTest, AnAnswerThatNeverCameLeavesTheOutcomeUncertain)
{
    FaultyRelay relay(server_->host(), server_->port());
    TNetConnection net(contract::kServerObject);
    net.onBeforeConnect = [&](TNetConnection& c) {
        c.setHost(QStringLiteral("127.0.0.1"));
        c.setPort(relay.port());
    };
    auto failureOf = [](const std::function<void()>& call) -> std::exception_ptr {
        try {
            call();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    };
    auto db = server::openDatabase("sqlite:" + dir_->path() + "/erp.db");
    auto stored = [&](const char* name) {
        return db->query("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NMPARAMAPU = ?", {QString::fromLatin1(name)}).at(0).at(0).toInt();
    };

    // Applied, its answer lost, sent again with the same key: applied once.
    double seq = sequenceNumber(net.call(m::prxSeqParamIRPJ));
    relay.loseNext("SetParamIRPJ", FaultyRelay::Fault::DropAnswer);
    EXPECT_NO_THROW(CheckResultServ(net.call(m::SetParamIRPJ, {additionPacket(seq, "Resposta perdida uma vez")}, CallKind::Change)));
    EXPECT_EQ(relay.struck(), 1);
    EXPECT_EQ(stored("Resposta perdida uma vez"), 1);
    relay.loseNext("getItensDRE", FaultyRelay::Fault::DropRequest);
    EXPECT_NO_THROW(CheckResultServ(net.call(m::getItensDRE)));
    EXPECT_EQ(relay.struck(), 2);

    seq = sequenceNumber(net.call(m::prxSeqParamIRPJ));
    relay.loseNext("SetParamIRPJ", FaultyRelay::Fault::DropAnswer);
    relay.loseNext("SetParamIRPJ", FaultyRelay::Fault::DropAnswer);
    std::exception_ptr lost = failureOf([&] { net.call(m::SetParamIRPJ, {additionPacket(seq, "Resposta perdida")}, CallKind::Change); });
    EXPECT_TRUE(outcomeUncertain(lost));
    try {
        std::rethrow_exception(lost);
    } catch (const NoAnswerError& e) {
        EXPECT_TRUE(e.message().endsWith(QStringLiteral("Não é possível saber se a alteração foi gravada."))) << e.message().toStdString();
    }
    EXPECT_EQ(stored("Resposta perdida"), 1) << "the key kept the second sending from applying it again";
    relay.loseNext("getItensDRE", FaultyRelay::Fault::DropRequest);
    relay.loseNext("getItensDRE", FaultyRelay::Fault::DropRequest);
    lost = failureOf([&] { net.call(m::getItensDRE); });
    EXPECT_TRUE(outcomeUncertain(lost)) << "what a lost read did is not known either";
    EXPECT_EQ(relay.struck(), 6);
    EXPECT_NO_THROW(CheckResultServ(net.call(m::getItensDRE))) << "the connection is made again";

    TNetConnection dead(contract::kServerObject);
    point(dead, freeTcpPort());
    EXPECT_FALSE(outcomeUncertain(failureOf([&] { dead.call(m::SetParamIRPJ, {}, CallKind::Change); }))) << "nothing was sent";
    EXPECT_TRUE(outcomeUncertain(failureOf([] { CheckResultServ(QJsonObject{{"error", QJsonObject{{"code", 1501}, {"message", "Incerto."}}}}); })));
    EXPECT_FALSE(outcomeUncertain(failureOf([] { CheckResultServ(QJsonObject{{"error", QJsonObject{{"code", 1500}, {"message", "Falha."}}}}); })));
    EXPECT_FALSE(outcomeUncertain(failureOf([] { CheckResultServ(QJsonObject{{"error", QJsonObject{{"code", 1002}, {"message", "Conflito."}}}}); })));
    EXPECT_FALSE(outcomeUncertain(nullptr));
}

// A balancer's 502 and 504 mean it passed the request on and got nothing
// back; its other refusals mean the request went nowhere.
TEST(NetBalancer, GatewayFailuresLeaveTheOutcomeUncertain)
{
    httplib::Server balancer;
    int status = 0;
    balancer.Get("/health", [](const httplib::Request&, httplib::Response& res) { res.set_content(R"({"status":"ok"})", "application/json"); });
    balancer.Post(R"(/rpc/.*)", [&status](const httplib::Request&, httplib::Response& res) { res.status = status; });
    const int port = balancer.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { balancer.listen_after_bind(); });
    while (!balancer.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TNetConnection net(contract::kServerObject);
    net.onBeforeConnect = [port](TNetConnection& c) {
        c.setHost(QStringLiteral("127.0.0.1"));
        c.setPort(port);
    };
    for (const auto& [code, uncertain] : std::vector<std::pair<int, bool>>{{502, true}, {504, true}, {503, false}, {500, false}, {404, false}}) {
        SCOPED_TRACE(code);
        status = code;
        try {
            net.call(m::SetParamIRPJ, {}, CallKind::Change);
            ADD_FAILURE() << "an HTTP failure raises";
        } catch (const Error&) {
            EXPECT_EQ(outcomeUncertain(std::current_exception()), uncertain);
        }
    }
    net.close(); // the balancer's stop waits for open keep-alive connections
    balancer.stop();
    serving.join();
}

TEST(NetToken, TheTokenTravelsAsABearer)
{
    TempDir dir;
    writeTokenFile(dir.path() + "/token", "0123456789abcdef");
    ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + dir.path() + "/erp.db", "--listen", "127.0.0.1:0", "--token-file", dir.path() + "/token"});
    TNetConnection net(contract::kServerObject);
    net.onBeforeConnect = [&](TNetConnection& c) {
        c.setHost(QString::fromStdString(server.host()));
        c.setPort(server.port());
    };
    try {
        net.open();
        FAIL() << "no token, no access";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains("recusou o acesso")) << e.message().toStdString();
    }
    net.setToken("0123456789abcdef");
    net.open();
    EXPECT_EQ(sequenceNumber(net.call(m::prxSeqParamIRPJ)), 1);
}

} // namespace
