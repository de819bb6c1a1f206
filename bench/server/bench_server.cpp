// SPDX-License-Identifier: MIT
// The application server measured from outside, as its clients see it:
// - per engine: a save's latency against the floor (the same insert
//   committed directly on the engine, plus an empty call's round trip),
//   the cost of the history each save writes (the same save in process,
//   with and without it),
//   saves per second with 1, 4 and 16 clients beside the engine's own rate
//   of the same transaction (and, on PostgreSQL, pgbench's one-row insert);
// - its front under attack: a call's time while 256 slow or 256 idle
//   connections are held, its memory after floods of headers and
//   length-less bodies, and after large answers read by several clients.
//
// bench_server [--engine sqlite|postgresql|all] [--samples N] [--seconds S] [--no-front] [--markdown]
// ERP_SERVER=path runs another erp-server program (an older one, to compare).
#include "support/rawhttp.h"
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "history.h"
#include "paramservice.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <latch>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace erp;
using namespace erp::testing;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

struct Stats {
    double median = 0, p99 = 0;
};

Stats stats(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    Stats s;
    if (us.empty())
        return s;
    s.median = us[us.size() / 2];
    s.p99 = us[std::min(us.size() - 1, std::size_t(double(us.size()) * 0.99))];
    return s;
}

std::string serverBinary()
{
    const char* other = std::getenv("ERP_SERVER");
    return other && *other ? other : ERP_SERVER_BINARY;
}

std::string requestText(int id, const QString& method, const QJsonArray& params = {})
{
    const QJsonObject req{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    return QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString();
}

// One client on one keep-alive connection. A call's time is the exchange of
// bytes alone: the request's text is written before, the answer read after.
class Rpc {
public:
    Rpc(const std::string& host, int port, int readTimeout = 60) : cli_(host, port)
    {
        cli_.set_keep_alive(true);
        cli_.set_tcp_nodelay(true);
        cli_.set_read_timeout(readTimeout);
    }
    QJsonObject call(const QString& method, const QJsonArray& params = {}, double* us = nullptr)
    {
        const std::string body = requestText(++id_, method, params);
        const auto start = Clock::now();
        auto res = cli_.Post("/rpc/PAR47300.rdmParamIRPJ", body, "application/json");
        const double took = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (!res)
            throw std::runtime_error("transport failure (" + httplib::to_string(res.error()) + ") after " + std::to_string(took / 1000) + " ms in " +
                                     method.toStdString() + ", call " + std::to_string(id_));
        if (us)
            *us = took;
        return QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    }

private:
    httplib::Client cli_;
    int id_ = 0;
};

QJsonArray insertPacket(double seq, int n)
{
    ChangePacket p;
    p.fields = contract::paramApuLayout();
    p.changes.push_back(Change{ChangeStatus::Inserted, {}, {seq, "02", QStringLiteral("Parâmetro de medição %1").arg(n), "A", "I", 100.0}});
    return {packet::toJson(p)};
}

double elapsedUs(Clock::time_point since)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

std::atomic<int> nameCounter{0};

// The floor's transaction: the save's two inserts, committed straight on the
// engine, for a number drawn before.
void directInsert(server::Db& db, long long n, const QString& name)
{
    server::Transaction tx(db, true);
    db.exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(n)});
    db.exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
            "VALUES (?, ?, ?, ?, ?, ?, ?)",
            {qlonglong(n), QStringLiteral("02"), name, server::caseKey(name), QStringLiteral("A"), QStringLiteral("I"), 100.0});
    tx.commit();
}

// ERP_BENCH_SLICES=1: each rate's slice is also written to stderr with its
// start and end on the monotonic clock, to cut a system-wide profile
// (`perf record -a -k CLOCK_MONOTONIC`) into the slices.
void noteSlice(const std::string& what, std::int64_t startNs)
{
    static const bool wanted = std::getenv("ERP_BENCH_SLICES") != nullptr;
    if (!wanted)
        return;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    std::fprintf(stderr, "slice %s %.9f %.9f\n", what.c_str(), double(startNs) / 1e9, double(now) / 1e9);
}

std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// `clients` threads running `work` as fast as they can for `seconds`; the
// number of times per second it went through.
double rate(int clients, double seconds, const std::function<std::function<bool()>()>& makeWork)
{
    std::vector<std::thread> threads;
    std::vector<int> counts(std::size_t(clients), 0);
    std::vector<std::string> failures(static_cast<std::size_t>(clients));
    std::latch ready(clients + 1);
    std::atomic<bool> go{false};
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            try {
                const std::function<bool()> work = makeWork();
                ready.arrive_and_wait();
                const auto end = Clock::now() + std::chrono::duration<double>(seconds);
                while (Clock::now() < end)
                    counts[std::size_t(c)] += work() ? 1 : 0;
            } catch (const std::exception& failure) {
                failures[std::size_t(c)] = failure.what();
            }
        });
    ready.arrive_and_wait();
    for (auto& t : threads)
        t.join();
    for (const std::string& f : failures)
        if (!f.empty())
            throw std::runtime_error(f);
    int total = 0;
    for (int n : counts)
        total += n;
    return total / seconds;
}

// pgbench's own transaction per second: one row inserted and committed, `clients` connections.
double pgbench(const std::string& url, int clients, double seconds)
{
    const auto bin = PgCluster::binDir();
    if (!bin || ::access((*bin + "/pgbench").c_str(), X_OK) != 0)
        return -1;
    const std::regex parts(R"(postgresql://([^@]+)@([^:]+):(\d+)/(.+))");
    std::smatch m;
    if (!std::regex_match(url, m, parts))
        return -1;
    TempDir dir;
    std::ofstream(dir.path() + "/insert.sql") << "INSERT INTO bench_pgbench (nome) VALUES ('uma linha');\n";
    auto db = server::openDatabase(url);
    db->script("CREATE TABLE IF NOT EXISTS bench_pgbench (id BIGSERIAL PRIMARY KEY, nome TEXT)");
    const RunResult r = runProgram({*bin + "/pgbench", "-h", m[2], "-p", m[3], "-U", m[1], "-n", "-M", "prepared", "-c", std::to_string(clients), "-j",
                                    std::to_string(std::min(clients, 2)), "-T", std::to_string(int(seconds + 0.5)), "-f", dir.path() + "/insert.sql", m[4]},
                                   int(seconds) + 60);
    std::smatch tps;
    if (r.exitCode != 0 || !std::regex_search(r.out, tps, std::regex(R"(tps = ([0-9.]+))")))
        throw std::runtime_error("pgbench failed: " + r.out + r.err);
    return std::atof(tps[1].str().c_str());
}

// --markdown: rows of the report's table (area | measure | figure) instead of the text.
bool markdown = false;

void line(const std::string& area, const std::string& measure, const std::string& figure)
{
    if (markdown)
        std::printf("| %s | %s | %s |\n", area.c_str(), measure.c_str(), figure.c_str());
    else
        std::printf("%-40s %-72s %s\n", area.c_str(), measure.c_str(), figure.c_str());
    std::fflush(stdout);
}

std::string fmt(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string us(const Stats& s)
{
    return fmt("%.0f µs median, %.0f µs p99", s.median, s.p99);
}

// What the history costs a save: the service's own SetParamIRPJ in this
// process (JSON-RPC, checks, transaction and commit, no HTTP), with the
// history written and without it, alternating which goes first. Only the
// benchmark can turn the history off; the server always writes it.
void historyCost(const std::string& area, const std::string& url, int samples, double throughServer)
{
    auto db = server::openDatabase(url);
    std::vector<double> with, without;
    for (int i = 0; i < samples; ++i)
        for (const bool written : {i % 2 == 0, i % 2 != 0}) {
            server::setHistoryWrittenForBenchmark(written);
            const double seq = double(server::nextSequence(*db, server::Series::Param));
            const std::string body = requestText(i, "SetParamIRPJ", insertPacket(seq, ++nameCounter));
            const auto t = Clock::now();
            const server::RpcAnswer a = server::handleRpc(contract::kServerObject, body, *db, {{}, server::Caller{QStringLiteral("bench"), true, {}}});
            (written ? with : without).push_back(elapsedUs(t));
            if (!a.body.contains("\"result\""))
                throw std::runtime_error("save refused: " + a.body.toStdString());
        }
    server::setHistoryWrittenForBenchmark(true);
    // Each pair ran back to back: the median of their differences is steadier
    // than the difference of the medians while the disk's flushes wander.
    std::vector<double> differences;
    for (std::size_t i = 0; i < with.size(); ++i)
        differences.push_back(with[i] - without[i]);
    std::sort(differences.begin(), differences.end());
    const double cost = differences[differences.size() / 2];
    const Stats w = stats(with), wo = stats(without);
    line(area, "save in process (the service's SetParamIRPJ, no HTTP), history written", us(w));
    line(area, "the same save without the history (benchmark-only switch)", us(wo));
    line(area, "what the history costs a save (median of the paired differences)",
         fmt("%.0f µs: %.1f %% of the save in process, %.1f %% of the save through the server", cost, 100.0 * cost / wo.median,
             100.0 * cost / throughServer));
}

void runEngine(const std::string& label, const std::string& url, bool postgres, int samples, double seconds)
{
    const std::string area = "server, " + label;
    ServerProcess server(serverBinary(), {"--db", url, "--listen", "127.0.0.1:0", "--demo"});
    // Every database connection of the server is opened on first need and
    // prepares each statement on its first use: 40 clients reading and
    // saving at once, none leaving before all are served, warm them all.
    {
        std::latch served(40);
        std::vector<std::thread> warm;
        for (int c = 0; c < 40; ++c)
            warm.emplace_back([&] {
                Rpc client(server.host(), server.port());
                client.call("getInfCtbIRPJ", {0.0});
                const double seq = client.call("prxSeqParamIRPJ").value("result").toDouble();
                client.call("SetParamIRPJ", insertPacket(seq, ++nameCounter));
                served.arrive_and_wait();
            });
        for (auto& t : warm)
            t.join();
    }
    Rpc rpc(server.host(), server.port());
    for (int i = 0; i < 50; ++i)
        rpc.call("getInfCtbIRPJ", {0.0});
    const std::size_t logMark = server.errorLog().size(); // the warm-up's saves are not samples

    std::vector<double> empty, save, direct;
    double took = 0;
    for (int i = 0; i < samples; ++i) {
        rpc.call("ping", {}, &took);
        empty.push_back(took);
    }
    // Interleaved, so both see the same state of the database files (a
    // growing or a recycled WAL, a checkpoint) in the same proportion.
    auto db = server::openDatabase(url);
    for (int i = 0; i < samples; ++i) {
        const double seq = rpc.call("prxSeqParamIRPJ").value("result").toDouble();
        const QJsonObject r = rpc.call("SetParamIRPJ", insertPacket(seq, ++nameCounter), &took);
        save.push_back(took);
        if (!r.contains("result"))
            throw std::runtime_error("save refused: " + QJsonDocument(r).toJson().toStdString());
        const QString name = QStringLiteral("Parâmetro direto %1").arg(i);
        const long long n = server::nextSequence(*db, server::Series::Param);
        const auto t = Clock::now();
        directInsert(*db, n, name);
        direct.push_back(elapsedUs(t));
    }
    // The server's own account of each save, from its log line per call.
    std::vector<double> serverSide;
    {
        const std::string log = server.errorLog().substr(logMark);
        const std::string key = "PAR47300.rdmParamIRPJ SetParamIRPJ ";
        for (std::size_t pos = log.find(key); pos != std::string::npos && serverSide.size() < std::size_t(samples); pos = log.find(key, pos + 1))
            serverSide.push_back(std::atof(log.c_str() + pos + key.size()) * 1000.0);
    }
    const Stats e = stats(empty), s = stats(save), d = stats(direct), ss = stats(serverSide);
    const double floor = d.median + e.median;
    line(area, "empty call round trip (unknown method)", us(e));
    line(area, "engine's own commit of the same insert (no server)", us(d));
    line(area, "floor: own commit + empty round trip (medians)", fmt("%.0f µs", floor));
    line(area, "save through the server (SetParamIRPJ, one row)", us(s) + fmt("; %.2f× the floor", s.median / floor));
    line(area, "of which inside the server (its own log line per call)", us(ss));
    historyCost(area, url, samples, s.median);

    // Throughput: each save also draws its number first, as the screen does.
    // The figures are taken in rounds, each point a slice of every round, so
    // a disk whose flushes slow down or speed up during the run (a shared
    // machine) weighs on all of them alike.
    const auto serverSaves = [&](int clients, double slice) {
        return rate(clients, slice, [&] {
            auto client = std::make_shared<Rpc>(server.host(), server.port());
            return [client] {
                const double seq = client->call("prxSeqParamIRPJ").value("result").toDouble();
                return client->call("SetParamIRPJ", insertPacket(seq, ++nameCounter)).contains("result");
            };
        });
    };
    // The same transaction straight on the engine, as many connections as clients.
    const auto engineSaves = [&](int clients, double slice) {
        return rate(clients, slice, [&] {
            auto conn = std::shared_ptr<server::Db>(server::openDatabase(url));
            return [conn] {
                directInsert(*conn, server::nextSequence(*conn, server::Series::Param), QStringLiteral("Direto %1").arg(++nameCounter));
                return true;
            };
        });
    };
    constexpr int kRounds = 5;
    const double slice = std::max(1.0, seconds / kRounds);
    const std::vector<int> clientCounts{1, 4, 16};
    std::vector<double> saves(3, 0), own(3, 0), pg(3, 0);
    bool pgbenchFound = postgres;
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t i = 0; i < clientCounts.size(); ++i) {
            const std::string n = std::to_string(clientCounts[i]);
            std::int64_t start = monotonicNs();
            saves[i] += serverSaves(clientCounts[i], slice) / kRounds;
            noteSlice("server-" + n, start);
            if (i == 0)
                continue;
            start = monotonicNs();
            own[i] += engineSaves(clientCounts[i], slice) / kRounds;
            noteSlice("engine-" + n, start);
            if (pgbenchFound) {
                start = monotonicNs();
                const double tps = pgbench(url, clientCounts[i], slice);
                noteSlice("pgbench-" + n, start);
                pgbenchFound = tps >= 0;
                pg[i] += tps / kRounds;
            }
        }
    for (std::size_t i = 0; i < clientCounts.size(); ++i)
        line(area, "saves per second, " + std::to_string(clientCounts[i]) + (clientCounts[i] > 1 ? " clients" : " client") +
                       fmt(" (sequence call + save each; %.0f rounds of %g s)", kRounds, slice),
             fmt("%.0f", saves[i]));
    line(area, "saves per second, 16 clients against 4", fmt("%.2f×", saves[2] / saves[1]));
    for (std::size_t i = 1; i < clientCounts.size(); ++i)
        line(area, fmt("engine's own rate of the same transaction (number + two inserts), %.0f connections", clientCounts[i]),
             fmt("%.0f per second; the server's saves: %.0f %%", own[i], 100.0 * saves[i] / own[i]));
    if (postgres && !pgbenchFound)
        line(area, "pgbench: not measured (pgbench not found)", "—");
    for (std::size_t i = 1; pgbenchFound && i < clientCounts.size(); ++i)
        line(area, fmt("pgbench, one-row insert and commit, %.0f clients", clientCounts[i]),
             fmt("%.0f per second; the server's saves: %.0f %%", pg[i], 100.0 * saves[i] / pg[i]));
}

// --- the front under attack ---

constexpr double kNoAnswer = 30e6; // µs: a call not answered in 30 s counts as this

// A normal call's time (fresh connection each), `count` times, for at most
// a minute in all (a server under attack may answer nothing).
std::vector<double> callTimes(int port, int count)
{
    std::vector<double> out;
    const std::string text = rpcRequest(requestText(1, "getItensDRE"));
    const auto end = Clock::now() + 60s;
    for (int i = 0; i < count && Clock::now() < end; ++i) {
        const auto t = Clock::now();
        RawConnection c(port);
        c.send(text);
        const auto a = c.read(std::chrono::milliseconds(std::int64_t(kNoAnswer / 1000)));
        out.push_back(a.status == 200 ? elapsedUs(t) : kNoAnswer);
        std::this_thread::sleep_for(100ms);
    }
    return out;
}

std::string callFigure(const std::vector<double>& times)
{
    const Stats s = stats(times);
    const double worst = *std::max_element(times.begin(), times.end());
    const int unanswered = int(std::count(times.begin(), times.end(), kNoAnswer));
    std::string out = worst >= 1e6 ? fmt("%.1f s median, %.1f s worst", s.median / 1e6, worst / 1e6)
                                   : fmt("%.2f ms median, %.2f ms worst", s.median / 1000, worst / 1000);
    out += fmt(" of %.0f calls", double(times.size()));
    if (unanswered)
        out += fmt(", %.0f unanswered in 30 s", unanswered);
    return out;
}

std::string mib(long kib)
{
    return fmt("%.1f MiB", double(kib) / 1024);
}

long peakKiB(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string l;
    while (std::getline(in, l))
        if (l.rfind("VmHWM:", 0) == 0)
            return std::atol(l.c_str() + 6);
    return -1;
}

void runFront()
{
    const std::string area = "server front, SQLite";
    raiseDescriptorLimit();
    TempDir dir;
    const std::string url = "sqlite:" + dir.path() + "/front.db";
    ServerProcess server(serverBinary(), {"--db", url, "--listen", "127.0.0.1:0", "--demo"});
    const int port = server.port();
    callTimes(port, 3); // the server's threads and database connection warm
    line(area, "a normal call on a fresh connection, nothing else held", callFigure(callTimes(port, 10)));

    // 128 connections trickle header lines, 128 trickle a declared body, one byte a second.
    {
        std::vector<RawConnection> slow;
        for (int i = 0; i < 256; ++i) {
            slow.emplace_back(port);
            slow.back().send(i % 2 ? std::string("POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\n")
                                   : std::string("POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nContent-Length: 100000\r\n\r\n"));
        }
        std::atomic<bool> done{false};
        std::thread trickle([&] {
            while (!done) {
                for (RawConnection& c : slow)
                    c.send("X");
                for (int i = 0; i < 10 && !done; ++i)
                    std::this_thread::sleep_for(100ms);
            }
        });
        const std::vector<double> times = callTimes(port, 20);
        done = true;
        trickle.join();
        line(area, "a normal call while 256 slow connections trickle a byte a second", callFigure(times));
    }
    {
        std::vector<RawConnection> idle;
        for (int i = 0; i < 256; ++i)
            idle.emplace_back(port);
        line(area, "a normal call while 256 idle connections are held", callFigure(callTimes(port, 10)));
    }

    const long base = residentKiB(server.pid());
    line(area, "server memory: resident before the floods", mib(base));
    std::string flood = "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\n";
    for (int i = 0; i < 1'000'000; ++i)
        flood += "X: y\r\n";
    const std::string lengthless = "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\n\r\n" + std::string(100'000'000, '{');
    auto attack = [&](const std::string& text, int connections) {
        std::vector<std::future<void>> running;
        for (int i = 0; i < connections; ++i)
            running.push_back(std::async(std::launch::async, [&] {
                RawConnection c(port);
                c.send(text);
                c.read(std::chrono::seconds(30));
            }));
        for (auto& r : running)
            r.get();
        std::this_thread::sleep_for(500ms);
    };
    attack(flood, 8);
    line(area, "server memory after 8 floods of 1,000,000 header lines", mib(residentKiB(server.pid())));
    attack(lengthless, 8);
    line(area, "server memory after 8 bodies of 100 MB without a length", mib(residentKiB(server.pid())));

    // One company of 11,500 additions, read whole by 6 clients at once, 5 times each.
    {
        auto db = server::openDatabase(url);
        server::Transaction tx(*db, true);
        for (int i = 0; i < 11'500; ++i) {
            const long long n = server::takeSequence(*db, server::Series::Param);
            const QString name = QStringLiteral("Adição grande %1 com um nome de tamanho realista").arg(i);
            db->exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(n)});
            db->exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)",
                     {qlonglong(n), QStringLiteral("03"), name, server::caseKey(name), QStringLiteral("A"), QStringLiteral("I"), 10.0});
        }
        tx.commit();
    }
    const long beforeReads = residentKiB(server.pid());
    std::size_t answerBytes = 0;
    std::vector<std::thread> readers;
    for (int c = 0; c < 6; ++c)
        readers.emplace_back([&] {
            Rpc client(server.host(), server.port());
            for (int k = 0; k < 5; ++k) {
                const QJsonObject r = client.call("GetParamIRPJ", {"03"});
                answerBytes = std::size_t(QJsonDocument(r).toJson(QJsonDocument::Compact).size());
            }
        });
    for (auto& t : readers)
        t.join();
    const long peak = peakKiB(server.pid());
    std::this_thread::sleep_for(1s);
    line(area, fmt("server memory: 6 clients read a company of 11,500 rows (%.1f MiB answer) 5 times each", double(answerBytes) / 1048576),
         "before " + mib(beforeReads) + ", peak " + mib(peak) + ", 1 s after " + mib(residentKiB(server.pid())));
}

} // namespace

int main(int argc, char** argv)
{
    std::string engine = "all";
    int samples = 1000;
    double seconds = 3;
    bool front = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
        else if (!std::strcmp(argv[i], "--no-front"))
            front = false;
        else if (i + 1 >= argc)
            break;
        else if (!std::strcmp(argv[i], "--engine"))
            engine = argv[++i];
        else if (!std::strcmp(argv[i], "--samples"))
            samples = std::max(10, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::max(0.5, std::atof(argv[++i]));
    }
    try {
        if (engine == "all" || engine == "sqlite") {
            TempDir dir;
            runEngine("SQLite (WAL, synchronous=FULL)", "sqlite:" + dir.path() + "/bench.db", false, samples, seconds);
        }
        if (engine == "all" || engine == "postgresql") {
            if (!PgCluster::binDir()) {
                line("server, PostgreSQL", "not measured: PostgreSQL is not installed", "—");
            } else {
                PgCluster cluster(true);
                runEngine("PostgreSQL (fsync on)", cluster.createDatabase("bench"), true, samples, seconds);
            }
        }
        if (front)
            runFront();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_server: %s\n", e.what());
        return 1;
    }
    return 0;
}
