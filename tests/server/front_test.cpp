// SPDX-License-Identifier: MIT
// The HTTP front against the attacks it must withstand, through the real
// server program: slow and idle connections, floods of headers, bodies
// without a length, forged framing, and more connections than its caps.
#include "rpcclient.h"
#include "support/rawhttp.h"
#include "support/serverprocess.h"

#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace erp::testing;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const std::string kCall = R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","params":[]})";

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A refusal of the front: its status and the contract's JSON body with a sentence.
void expectRefusal(const RawConnection::Answer& a, int status)
{
    EXPECT_EQ(a.status, status) << a.head;
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(a.body)).object();
    EXPECT_TRUE(body.value("error").toString().endsWith('.')) << a.body;
    EXPECT_TRUE(a.closed) << "a refusal closes the connection: " << a.head;
}

class FrontTest : public ::testing::Test {
protected:
    void SetUp() override { raiseDescriptorLimit(); }

    void start(std::vector<std::string> extra = {})
    {
        dir_ = std::make_unique<TempDir>();
        std::vector<std::string> args{"--db", "sqlite:" + dir_->path() + "/erp.db", "--listen", "127.0.0.1:0", "--demo"};
        args.insert(args.end(), extra.begin(), extra.end());
        server_ = std::make_unique<ServerProcess>(ERP_SERVER_BINARY, args);
    }
    int port() const { return server_->port(); }

    // A normal call on a connection of its own; the seconds it took, or a
    // failure when it was not answered.
    double timedCall(const std::string& source = "127.0.0.1")
    {
        const auto t = Clock::now();
        const RawConnection::Answer a = rawExchange(port(), rpcRequest(kCall), source);
        EXPECT_EQ(a.status, 200) << a.head;
        EXPECT_NE(a.body.find("\"result\""), std::string::npos) << a.body;
        return secondsSince(t);
    }

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ServerProcess> server_;
};

// 128 connections trickle their request a byte a second and 128 sit idle
// (half never used, half after a call): calls are answered at once all the
// while, the trickles are closed at the deadline counted from their opening
// and the idle ones at the keep-alive time-out.
TEST_F(FrontTest, SlowAndIdleConnectionsNeitherDelayCallsNorStayOpen)
{
    start({"--request-timeout", "3"});
    std::vector<RawConnection> slow, idle;
    for (int i = 0; i < 128; ++i) {
        slow.emplace_back(port());
        ASSERT_TRUE(slow.back().send("POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\n"));
    }
    for (int i = 0; i < 64; ++i)
        idle.emplace_back(port());
    for (int i = 0; i < 64; ++i) {
        idle.emplace_back(port());
        ASSERT_TRUE(idle.back().send(rpcRequest(kCall)));
        ASSERT_EQ(idle.back().read().status, 200);
    }
    const auto opened = Clock::now();
    RpcClient keepAlive(server_->host(), port());

    double slowest = 0;
    int slowClosedEarly = 0;
    while (secondsSince(opened) < 6) {
        for (RawConnection& c : slow)
            c.send("X"); // one byte of a header line, well within the idle time-out
        slowest = std::max(slowest, timedCall());
        const auto t = Clock::now();
        EXPECT_TRUE(keepAlive.call("getAliquotas").contains("result"));
        slowest = std::max(slowest, secondsSince(t));
        if (secondsSince(opened) < 2)
            for (RawConnection& c : slow)
                slowClosedEarly += c.closedByServer() ? 1 : 0;
        std::this_thread::sleep_for(1s);
    }
    EXPECT_LT(slowest, 1.0) << "a call waited behind the slow and idle connections";
    EXPECT_EQ(slowClosedEarly, 0) << "a trickle was closed before its deadline";
    int slowOpen = 0, idleOpen = 0;
    for (RawConnection& c : slow)
        slowOpen += c.closedByServer(100ms) ? 0 : 1;
    for (RawConnection& c : idle)
        idleOpen += c.closedByServer(100ms) ? 0 : 1;
    EXPECT_EQ(slowOpen, 0) << "trickles still open after their deadline";
    EXPECT_EQ(idleOpen, 0) << "idle connections still open after the keep-alive time-out";
    EXPECT_LT(timedCall(), 1.0);
}

// A million header lines, and bodies of 100 MB that declare no length: each
// refused as soon as it shows, nothing of it kept, the memory as before.
TEST_F(FrontTest, FloodsAreRefusedEarlyAndLeaveMemoryAsItWas)
{
    start();
    timedCall();
    const long before = residentKiB(server_->pid());
    ASSERT_GT(before, 0);

    std::string headerFlood = "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\n";
    headerFlood.reserve(headerFlood.size() + 6'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        headerFlood += "X: y\r\n";
    const std::string lengthless =
        "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n\r\n" + std::string(100'000'000, '{');

    auto attack = [&](const std::string& text) {
        RawConnection c(port());
        const bool sentAll = c.send(text);
        RawConnection::Answer a = c.read();
        return std::make_pair(sentAll, a);
    };
    std::vector<std::future<std::pair<bool, RawConnection::Answer>>> floods, bodies;
    for (int i = 0; i < 4; ++i) {
        floods.push_back(std::async(std::launch::async, attack, std::cref(headerFlood)));
        bodies.push_back(std::async(std::launch::async, attack, std::cref(lengthless)));
    }
    for (auto& f : floods) {
        const auto [sentAll, a] = f.get();
        EXPECT_FALSE(sentAll) << "the flood was read whole";
        // Past the front's own bounds the library refuses the head itself,
        // with its status and a body of its own.
        EXPECT_EQ(a.status, 431) << a.head;
    }
    for (auto& f : bodies) {
        const auto [sentAll, a] = f.get();
        EXPECT_FALSE(sentAll) << "the length-less body was read whole";
        expectRefusal(a, 411);
    }
    const long after = residentKiB(server_->pid());
    EXPECT_LT(after, before + 16 * 1024) << "resident KiB before " << before << ", after " << after;
    EXPECT_LT(timedCall(), 1.0);
}

// Large answers read by several clients at once: the memory they took goes
// back once they are sent, instead of staying with every thread that built one.
TEST_F(FrontTest, MemoryGoesBackAfterLargeAnswers)
{
    start();
    {
        auto db = erp::server::openDatabase("sqlite:" + dir_->path() + "/erp.db");
        erp::server::Transaction tx(*db, true);
        for (int i = 0; i < 11'500; ++i) {
            const long long n = erp::server::takeSequence(*db, erp::server::Series::Param);
            const QString name = QStringLiteral("Adição grande %1 com um nome de tamanho realista").arg(i);
            db->exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(n)});
            db->exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)",
                     {qlonglong(n), QStringLiteral("03"), name, erp::server::caseKey(name), QStringLiteral("A"), QStringLiteral("I"), 10.0});
        }
        tx.commit();
    }
    timedCall();
    const long before = residentKiB(server_->pid());
    std::vector<std::thread> readers;
    std::atomic<int> rows{0};
    std::mutex failuresMutex;
    std::vector<std::string> failures;
    for (int c = 0; c < 6; ++c)
        readers.emplace_back([&] {
            RpcClient client(server_->host(), port());
            for (int k = 0; k < 3; ++k) {
                const QJsonObject answer = client.call("GetParamIRPJ", {"03"});
                const int n = int(answer.value("result").toObject().value("rows").toArray().size());
                rows += n;
                if (n != 11'500) {
                    std::lock_guard lock(failuresMutex);
                    failures.push_back("HTTP " + std::to_string(client.lastStatus()) + " " + client.lastFailure() + " " +
                                       QJsonDocument(answer.value("error").toObject()).toJson(QJsonDocument::Compact).toStdString());
                }
            }
        });
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(rows, 6 * 3 * 11'500);
    for (const std::string& f : failures)
        ADD_FAILURE() << "a call fell short: " << f;
    std::this_thread::sleep_for(1s);
    const long after = residentKiB(server_->pid());
    EXPECT_LT(after, before + 24 * 1024) << "resident KiB before " << before << ", after " << after;
}

// Framing a server behind a balancer must not read two ways, and what the
// caps and bounds refuse: each with its status and JSON body.
TEST_F(FrontTest, MalformedFramingAndOversizedHeadsAreRefused)
{
    start({"--max-body", "65536"});
    const std::string line = "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\n";
    std::string manyHeaders, bigHeader = "X-Grande: " + std::string(20000, 'a') + "\r\n";
    for (int i = 0; i < 300; ++i)
        manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
    struct Case {
        const char* what;
        std::string text;
        int status;
    };
    const std::vector<Case> cases{
        {"two different lengths", line + "Content-Length: 2\r\nContent-Length: 62\r\n\r\n{}", 400},
        {"the same length twice", line + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"length and chunks", line + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 400},
        {"chunked body", line + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 411},
        {"another transfer coding", line + "Transfer-Encoding: gzip\r\n\r\n{}", 411},
        {"no length at all", line + "\r\n{}", 411},
        {"body over --max-body", line + "Content-Length: 65537\r\n\r\n", 413},
        {"compressed body", line + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\n{}", 415},
        {"300 header lines", line + manyHeaders + "Content-Length: 2\r\n\r\n{}", 431},
        {"20 kB of header", line + bigHeader + "Content-Length: 2\r\n\r\n{}", 431},
        {"a NUL inside a header", line + std::string("X-Nota: a\0escondido\r\n", 21) + "Content-Length: 2\r\n\r\n{}", 400},
        {"a blank in a header name", line + "X Nota: a\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"two idempotency keys", line + "Idempotency-Key: a\r\nIdempotency-Key: b\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"an idempotency key of 65 characters", line + "Idempotency-Key: " + std::string(65, 'k') + "\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"an idempotency key with a control character", line + "Idempotency-Key: a\x01" "b\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"an empty idempotency key", line + "Idempotency-Key: \r\nContent-Length: 2\r\n\r\n{}", 400},
        {"another path", "POST /rpc HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}", 404},
        {"another method", "PUT /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}", 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectRefusal(rawExchange(port(), c.text), c.status);
    }
    // The library itself refuses a length that is no number or beyond 64
    // bits, before the front sees the request: the status is the contract's,
    // the body the library's own.
    EXPECT_EQ(rawExchange(port(), line + "Content-Length: abc\r\n\r\n{}").status, 400);
    EXPECT_EQ(rawExchange(port(), line + "Content-Length: 99999999999999999999\r\n\r\n").status, 413);

    // Keys that are fine: 64 characters, and UTF-8 text.
    for (const std::string& key : {std::string(64, 'k'), std::string("chave-única-ação")}) {
        const RawConnection::Answer a = rawExchange(port(), rpcRequest(kCall, "Idempotency-Key: " + key + "\r\n"));
        EXPECT_EQ(a.status, 200) << key << "\n" << a.head;
    }
    // A refusal closes only its own connection; calls go on.
    EXPECT_LT(timedCall(), 1.0);
}

// Connections beyond the caps get a 503 with the JSON body as soon as they
// ask; those within the caps are served, and a freed place serves again.
TEST_F(FrontTest, ConnectionCapsAnswer503)
{
    start({"--max-connections", "6", "--max-connections-per-address", "3"});
    std::vector<std::unique_ptr<RawConnection>> held;
    auto hold = [&](const std::string& source) {
        held.push_back(std::make_unique<RawConnection>(port(), source));
        EXPECT_TRUE(held.back()->send(rpcRequest(kCall)));
        EXPECT_EQ(held.back()->read().status, 200);
    };
    for (int i = 0; i < 3; ++i)
        hold("127.0.0.2");
    expectRefusal(rawExchange(port(), rpcRequest(kCall), "127.0.0.2"), 503);
    for (int i = 0; i < 3; ++i)
        hold("127.0.0.3");
    expectRefusal(rawExchange(port(), rpcRequest(kCall), "127.0.0.4"), 503);

    held.erase(held.begin()); // one of 127.0.0.2 leaves
    const auto t = Clock::now();
    int status = 0;
    while (secondsSince(t) < 5 && (status = rawExchange(port(), rpcRequest(kCall), "127.0.0.4").status) != 200)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(status, 200) << "a freed place is not taken again";
}

// Past the cap of one address, 64 more connections still get their 503;
// beyond those the library closes the connection without a word.
TEST_F(FrontTest, BeyondTheCapsReserveAConnectionIsClosedWithoutAnswer)
{
    start({"--max-connections-per-address", "2"});
    // One connection more than the cap and its reserve: the library closes
    // one of them unanswered. Which one depends on which of its threads
    // accepts first, so the test counts instead of naming the last.
    std::vector<RawConnection> held;
    for (int i = 0; i < 2 + 64 + 1; ++i)
        held.emplace_back(port(), "127.0.0.5");
    std::vector<bool> closed(held.size());
    int closedCount = 0;
    for (const auto until = std::chrono::steady_clock::now() + 5s; closedCount == 0 && std::chrono::steady_clock::now() < until;)
        for (std::size_t i = 0; i < held.size(); ++i)
            if (!closed[i] && held[i].closedByServer(10ms)) {
                closed[i] = true;
                ++closedCount;
            }
    // Give a wrongly closed second connection the time to show.
    for (std::size_t i = 0; i < held.size(); ++i)
        if (!closed[i] && held[i].closedByServer(i == 0 ? 500ms : 0ms))
            ++closedCount;
    EXPECT_EQ(closedCount, 1);
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (closed[i]) {
            EXPECT_EQ(held[i].read(0ms).status, -1) << "closed without an answer";
        }
    }
    EXPECT_LT(timedCall("127.0.0.6"), 1.0) << "other addresses are served";
}

// Past the total cap and its reserve the library stops accepting: a new
// connection waits in the kernel's queue, unanswered, until a place frees.
TEST_F(FrontTest, BeyondTheTotalReserveAConnectionWaitsForAPlace)
{
    start({"--max-connections", "1", "--max-connections-per-address", "1000"});
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 1 + 64; ++i)
        held.push_back(std::make_unique<RawConnection>(port(), "127.0.0.7"));
    ASSERT_TRUE(held.front()->send(rpcRequest(kCall)));
    ASSERT_EQ(held.front()->read().status, 200) << "the first connection is within the cap";
    RawConnection waiting(port(), "127.0.0.8");
    ASSERT_TRUE(waiting.send(rpcRequest(kCall)));
    EXPECT_EQ(waiting.read(1s).status, -1) << "answered although every place was taken";
    // The one within the cap leaves first, so the waiting one finds a place within it.
    held.erase(held.begin());
    std::this_thread::sleep_for(1s);
    held.clear();
    const RawConnection::Answer a = waiting.read(5s);
    EXPECT_EQ(a.status, 200) << "not served once the places were free: " << a.head;
}

} // namespace
