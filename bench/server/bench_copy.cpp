// SPDX-License-Identifier: MIT
// Copying a whole company through the real server, as the screen asks for
// it: a temporary SQLite database (WAL, synchronous=FULL) whose company 02
// holds N rows (half parameter rows across both taxes, kinds and net-profit
// items, half their accounting information, one account each); the
// preview and then the copy into an empty company, timed by the client (the
// call's whole round trip: reading, planning, writing every row and its
// history, the commit). Each round copies into a company of its own.
//
// bench_copy [--rows N] [--repetitions R] [--markdown]
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "schema.h"
#include "storage.h"
#include "tablesql.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace erp;
using namespace erp::testing;
using Clock = std::chrono::steady_clock;
namespace f = contract::f;

namespace {

// One row through its table's own insert, its values named; the rest NULL.
void insert(server::Db& db, const server::TableSql& t, std::initializer_list<std::pair<const char*, QVariant>> values)
{
    RowValues row(t.table().columns.size());
    for (const auto& [column, value] : values)
        row[t.column(column)] = value;
    db.exec(t.insert(), t.insertParams(server::Row(t.table().columns, row)));
}

// Company 02 gets `rows` rows: parents and one account under each.
void fill(server::Db& db, int rows, int targets)
{
    server::Transaction tx(db, true);
    for (int i = 0; i < targets; ++i)
        insert(db, server::empresaSql(), {{f::CDEMPRESA, QString::number(10 + i)}, {f::NMEMPRESA, QStringLiteral("Destino %1").arg(i)}});
    const char* taxes = "IC";
    const char* kinds = "AEC";
    for (int i = 0; i < rows / 2; ++i) {
        const long long parent = server::takeSequence(db, server::Series::Param);
        insert(db, server::apurPaiSql(), {{f::NRSEQPARAMAPU, qlonglong(parent)}});
        const QString name = QStringLiteral("Parâmetro %1").arg(i);
        if (i % 5 == 4) {
            insert(db, server::recDespSql(),
                   {{f::NRSEQRECDESPIRPJ, qlonglong(parent)}, {f::CDEMPRESA, QStringLiteral("02")}, {f::NMRECDESPIRPJ, name},
                    {f::IDRECDESPIRPJ, QStringLiteral("R")}, {f::IDRECDESPIRPJOP, QStringLiteral("S")}, {f::NRSEQALIQIRPJ, 2LL},
                    {f::VRALIQPRESIRPJ, 8.0}, {f::VRALIQPRESCSLL, 12.0}, {f::IDCONSVRDEB, QStringLiteral("S")}});
        } else {
            insert(db, server::paramApuSql(),
                   {{f::NRSEQPARAMAPU, qlonglong(parent)}, {f::CDEMPRESA, QStringLiteral("02")}, {f::NMPARAMAPU, name},
                    {f::IDPARAMAPU, QString(QLatin1Char(kinds[i % 3]))}, {f::IDIMPOSTO, QString(QLatin1Char(taxes[(i / 3) % 2]))},
                    {f::VRPORCENTAGEM, 100.0}});
        }
        insert(db, server::infCtbSql(),
               {{f::NRSEQINFCTBIRPJ, qlonglong(server::takeSequence(db, server::Series::InfCtb))}, {f::NRSEQPARAMAPU, qlonglong(parent)},
                {f::IDINFCTBIRPJ, QStringLiteral("C")}, {f::CHAVE, QStringLiteral("423010001")}, {f::CDINFCTBIRPJ, QStringLiteral("423010001")},
                {f::IDFORMAPURITEM, QStringLiteral("C")}});
    }
    tx.commit();
}

struct Timed {
    double ms;
    QJsonObject answer;
};

Timed call(httplib::Client& http, const char* method, const QJsonArray& params)
{
    const QJsonObject req{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const std::string body = QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString();
    const auto start = Clock::now();
    auto res = http.Post((std::string("/rpc/") + contract::kServerObject).c_str(), body, "application/json");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!res || res->status != 200) {
        std::fprintf(stderr, "bench_copy: %s failed\n", method);
        std::exit(1);
    }
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    if (!answer.contains("result")) {
        std::fprintf(stderr, "bench_copy: %s: %s\n", method, res->body.c_str());
        std::exit(1);
    }
    return {ms, answer.value("result").toObject()};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int rows = 10000, repetitions = 5;
    bool markdown = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
        else if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
            rows = std::max(2, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--repetitions") && i + 1 < argc)
            repetitions = std::clamp(std::atoi(argv[++i]), 1, 80);
        else {
            std::fprintf(stderr, "uso: bench_copy [--rows N] [--repetitions R] [--markdown]\n");
            return 2;
        }
    }
    TempDir dir;
    const std::string url = "sqlite:" + dir.path() + "/erp.db";
    {
        auto db = server::openDatabase(url);
        server::migrate(*db);
        server::fillDemo(*db);
        fill(*db, rows, repetitions);
    }
    ServerProcess server(ERP_SERVER_BINARY, {"--db", url, "--listen", "127.0.0.1:0"});
    httplib::Client http(server.host(), server.port());
    http.set_keep_alive(true);
    http.set_tcp_nodelay(true);
    http.set_read_timeout(120);

    std::vector<double> previews, copies;
    long long applied = 0;
    for (int r = 0; r < repetitions; ++r) {
        const QString target = QString::number(10 + r);
        previews.push_back(call(http, contract::method::previaCopiaParamIRPJ, {"02", target}).ms);
        const Timed copy = call(http, contract::method::copiaParamIRPJ, {"02", target});
        copies.push_back(copy.ms);
        applied = copy.answer.value("applied").toInteger();
    }
    if (applied != rows - rows % 2) {
        std::fprintf(stderr, "bench_copy: the copy wrote %lld rows, not %d\n", applied, rows);
        return 1;
    }
    const std::string area = "server, SQLite (WAL, synchronous=FULL)";
    const double worst = *std::max_element(copies.begin(), copies.end());
    if (markdown) {
        std::printf("| %s | preview of a copy of %d rows (previaCopiaParamIRPJ, through the server) | %.1f ms median of %d |\n", area.c_str(), rows,
                    median(previews), repetitions);
        std::printf("| %s | copy a company of %d rows into an empty one (copiaParamIRPJ, through the server, history included) | %.1f ms median of "
                    "%d, %.1f ms worst |\n",
                    area.c_str(), rows, median(copies), repetitions, worst);
    } else {
        std::printf("preview of %d rows: %.1f ms median of %d\n", rows, median(previews), repetitions);
        std::printf("copy of %d rows: %.1f ms median of %d, worst %.1f ms\n", rows, median(copies), repetitions, worst);
    }
    return 0;
}
