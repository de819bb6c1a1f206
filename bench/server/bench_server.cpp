// SPDX-License-Identifier: MIT
// Latency of a save through the application server against the same insert
// committed directly on the engine, an empty call's round trip, and saves
// per second with 1, 4 and 16 clients, on SQLite and on PostgreSQL.
//
// bench_server [--engine sqlite|postgresql|all] [--samples N] [--seconds S] [--markdown]
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "platform/packet.h"
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
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace erp;
using namespace erp::testing;
using Clock = std::chrono::steady_clock;

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

class Rpc {
public:
    Rpc(const std::string& host, int port) : cli_(host, port)
    {
        cli_.set_keep_alive(true);
        cli_.set_tcp_nodelay(true);
        cli_.set_read_timeout(60);
    }
    QJsonObject call(const QString& method, const QJsonArray& params = {})
    {
        const QJsonObject req{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}};
        const auto start = Clock::now();
        auto res = cli_.Post("/rpc/PAR47300.rdmParamIRPJ", QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString(), "application/json");
        if (!res)
            throw std::runtime_error("transport failure (" + httplib::to_string(res.error()) + ") after " +
                                     std::to_string(std::chrono::duration<double, std::milli>(Clock::now() - start).count()) + " ms in " +
                                     method.toStdString() + ", call " + std::to_string(id_));
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

// One client saving as fast as it can for `seconds`; returns its saves.
int saveLoop(const ServerProcess& server, double seconds)
{
    Rpc rpc(server.host(), server.port());
    int saves = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const double seq = rpc.call("prxSeqParamIRPJ").value("result").toDouble();
        if (rpc.call("SetParamIRPJ", insertPacket(seq, ++nameCounter)).contains("result"))
            ++saves;
    }
    return saves;
}

// --markdown: rows of the report's table (area | measure | figure) instead of the text.
bool markdown = false;

void row(const std::string& area, const char* measure, const Stats& s)
{
    std::printf("| %s | %s | %.0f µs median, %.0f µs p99 |\n", area.c_str(), measure, s.median, s.p99);
}

void runEngine(const std::string& label, const std::string& url, int samples, double seconds)
{
    constexpr int kWorkers = 40;
    ServerProcess server(ERP_SERVER_BINARY, {"--db", url, "--listen", "127.0.0.1:0", "--demo", "--workers", std::to_string(kWorkers)});
    // Every worker opens its database connection on its first call (about
    // 3 ms on PostgreSQL) and prepares each statement on its first use. Each
    // keep-alive connection holds one worker, so as many clients reading and
    // saving at once, none leaving before all are served, warm them all: the
    // samples then see a server in its steady state.
    {
        std::latch served(kWorkers);
        std::vector<std::thread> warm;
        for (int c = 0; c < kWorkers; ++c)
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

    std::vector<double> empty, read, save, direct, inProcess, inProcessText;
    for (int i = 0; i < samples; ++i) {
        auto t = Clock::now();
        rpc.call("ping");
        empty.push_back(elapsedUs(t));
        t = Clock::now();
        rpc.call("getInfCtbIRPJ", {0.0});
        read.push_back(elapsedUs(t));
    }
    // Interleaved, so the three see the same state of the database files
    // (a growing or a recycled WAL, a checkpoint) in the same proportion.
    auto db = server::openDatabase(url);
    server::ParamService service(*db);
    for (int i = 0; i < samples; ++i) {
        const double seq = rpc.call("prxSeqParamIRPJ").value("result").toDouble();
        const QJsonArray packet = insertPacket(seq, ++nameCounter);
        auto t = Clock::now();
        const QJsonObject r = rpc.call("SetParamIRPJ", packet);
        save.push_back(elapsedUs(t));
        if (!r.contains("result"))
            throw std::runtime_error("save refused: " + QJsonDocument(r).toJson().toStdString());

        // The floor: the same two inserts in one write transaction, straight on the engine.
        const long long direct1 = server::nextSequence(*db, server::Series::Param);
        const QString name = QStringLiteral("Parâmetro direto %1").arg(i);
        t = Clock::now();
        {
            server::Transaction tx(*db, true);
            db->exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(direct1)});
            db->exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)",
                     {qlonglong(direct1), QStringLiteral("02"), name, server::caseKey(name), QStringLiteral("A"), QStringLiteral("I"), 100.0});
            tx.commit();
        }
        direct.push_back(elapsedUs(t));

        // The service's own work (checks and writes) without HTTP and JSON text.
        const QJsonArray packet2 = insertPacket(double(server::nextSequence(*db, server::Series::Param)), ++nameCounter);
        t = Clock::now();
        service.call("SetParamIRPJ", packet2);
        inProcess.push_back(elapsedUs(t));

        // The same with the request's JSON text, as the HTTP handler runs it.
        const QJsonObject req{{"jsonrpc", "2.0"}, {"id", i}, {"method", "SetParamIRPJ"},
                              {"params", insertPacket(double(server::nextSequence(*db, server::Series::Param)), ++nameCounter)}};
        const std::string body = QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString();
        t = Clock::now();
        server::handleRpc("PAR47300.rdmParamIRPJ", body, *db);
        inProcessText.push_back(elapsedUs(t));
    }
    // The server's own account of each save, from its log line per call.
    std::vector<double> serverSide;
    {
        const std::string log = server.errorLog().substr(logMark);
        const std::string key = "PAR47300.rdmParamIRPJ SetParamIRPJ ";
        for (std::size_t pos = log.find(key); pos != std::string::npos && serverSide.size() < std::size_t(samples); pos = log.find(key, pos + 1))
            serverSide.push_back(std::atof(log.c_str() + pos + key.size()) * 1000.0);
    }
    const Stats ss = stats(serverSide);
    const Stats e = stats(empty), r = stats(read), s = stats(save), d = stats(direct), ip = stats(inProcess), it = stats(inProcessText);
    const std::string area = "server, " + label;
    if (markdown) {
        row(area, "empty call round trip (unknown method)", e);
        row(area, "engine's own commit of the same insert (no server)", d);
        std::printf("| %s | floor: own commit + empty round trip (medians) | %.0f µs |\n", area.c_str(), d.median + e.median);
        std::printf("| %s | save through the server (SetParamIRPJ, one row) | %.0f µs median, %.0f µs p99; %.2f× the floor |\n", area.c_str(),
                    s.median, s.p99, s.median / (d.median + e.median));
        row(area, "of which inside the server (its own log line per call)", ss);
    } else {
        std::printf("\n== %s ==\n", label.c_str());
        std::printf("%-44s %10s %10s\n", "latency (microseconds)", "median", "p99");
        std::printf("%-44s %10.1f %10.1f\n", "empty call round trip (unknown method)", e.median, e.p99);
        std::printf("%-44s %10.1f %10.1f\n", "tiny read (getInfCtbIRPJ, no rows)", r.median, r.p99);
        std::printf("%-44s %10.1f %10.1f\n", "save through the server (SetParamIRPJ)", s.median, s.p99);
        std::printf("%-44s %10.1f %10.1f\n", "  of which inside the server (its log)", ss.median, ss.p99);
        std::printf("%-44s %10.1f %10.1f\n", "same insert committed directly", d.median, d.p99);
        std::printf("%-44s %10.1f %10.1f\n", "service save in-process (no HTTP)", ip.median, ip.p99);
        std::printf("%-44s %10.1f %10.1f\n", "  the same from the request text", it.median, it.p99);
        std::printf("%-44s %10.2f\n", "median save / median direct insert", s.median / d.median);
        std::printf("%-44s %10.2f\n", "median save / (direct insert + empty call)", s.median / (d.median + e.median));
        std::fflush(stdout);
    }
    for (int clients : {1, 4, 16}) {
        std::vector<std::thread> threads;
        std::vector<int> counts(std::size_t(clients), 0);
        std::vector<std::string> failures(static_cast<std::size_t>(clients));
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&, c] {
                try {
                    counts[std::size_t(c)] = saveLoop(server, seconds);
                } catch (const std::exception& failure) {
                    failures[std::size_t(c)] = failure.what();
                }
            });
        for (auto& t : threads)
            t.join();
        for (const std::string& f : failures)
            if (!f.empty()) {
                const std::string log = server.errorLog();
                throw std::runtime_error(f + "\n" + log.substr(log.size() > 2000 ? log.size() - 2000 : 0));
            }
        int total = 0;
        for (int n : counts)
            total += n;
        if (markdown)
            std::printf("| %s | saves per second, %d client%s for %g s (sequence call + save each) | %.0f |\n", area.c_str(), clients,
                        clients > 1 ? "s" : "", seconds, total / seconds);
        else
            std::printf("saves per second with %2d clients: %10.0f\n", clients, total / seconds);
        std::fflush(stdout);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::string engine = "all";
    int samples = 1000;
    double seconds = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
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
            runEngine("SQLite (WAL, synchronous=FULL)", "sqlite:" + dir.path() + "/bench.db", samples, seconds);
        }
        if (engine == "all" || engine == "postgresql") {
            if (!PgCluster::binDir()) {
                std::printf(markdown ? "| server, PostgreSQL | not measured: PostgreSQL is not installed | — |\n"
                                     : "\nPostgreSQL is not installed: skipped\n");
            } else {
                PgCluster cluster(true);
                runEngine("PostgreSQL (fsync on)", cluster.createDatabase("bench"), samples, seconds);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_server: %s\n", e.what());
        return 1;
    }
    return 0;
}
