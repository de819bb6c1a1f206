// SPDX-License-Identifier: MIT
// The application server through its real program, on SQLite and PostgreSQL.
#include "rpcclient.h"
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

enum class Engine { Sqlite, Postgres };

std::string engineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

// One cluster for the whole run; each test gets its own database in it.
PgCluster& cluster()
{
    static std::unique_ptr<PgCluster> c = std::make_unique<PgCluster>();
    return *c;
}

// A database for one test: a file in a temporary folder, or a new PostgreSQL database.
struct TestDatabase {
    std::unique_ptr<TempDir> dir;
    std::string url;

    explicit TestDatabase(Engine e)
    {
        static std::atomic<int> counter{0};
        if (e == Engine::Sqlite) {
            dir = std::make_unique<TempDir>();
            url = "sqlite:" + dir->path() + "/erp.db";
        } else {
            url = cluster().createDatabase("t" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        }
    }
};

// Every table and both series as text, to prove that a refusal wrote nothing.
std::vector<std::string> snapshot(const std::string& url)
{
    auto db = server::openDatabase(url);
    std::vector<std::string> out;
    for (const char* sql : {"SELECT * FROM EMPRESA ORDER BY 1", "SELECT * FROM CONTCTBL ORDER BY 1", "SELECT * FROM ITEMESTRUDRE ORDER BY 1, 2",
                            "SELECT * FROM ALIQIRPJ ORDER BY 1", "SELECT * FROM APURPAI ORDER BY 1", "SELECT * FROM PARAMAPUIRPJ ORDER BY 1",
                            "SELECT * FROM RECDESPIRPJ ORDER BY 1", "SELECT * FROM INFCTBIRPJ ORDER BY 1",
                            "SELECT * FROM INFCTBIRPJREMOVIDA ORDER BY 1"}) {
        out.push_back(sql);
        for (const server::SqlRow& row : db->query(sql)) {
            std::string line;
            for (const QVariant& v : row)
                line += (v.isValid() ? v.toString().toStdString() : std::string("<null>")) + "|";
            out.push_back(line);
        }
    }
    out.push_back("param " + std::to_string(server::lastIssued(*db, server::Series::Param)));
    out.push_back("infctb " + std::to_string(server::lastIssued(*db, server::Series::InfCtb)));
    return out;
}

QJsonObject changeJson(const FieldDefs& layout, ChangeStatus status, const RowValues& oldValues, const RowValues& newValues)
{
    ChangePacket p;
    p.fields = layout;
    p.changes.push_back(Change{status, oldValues, newValues});
    return packet::toJson(p);
}

QJsonObject insertJson(const FieldDefs& layout, const RowValues& row)
{
    return changeJson(layout, ChangeStatus::Inserted, {}, row);
}

class ServerTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::Postgres && !PgCluster::binDir())
            GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
        db_ = std::make_unique<TestDatabase>(GetParam());
    }

    void start(bool demo = true, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"--db", db_->url, "--listen", "127.0.0.1:0", "--workers", "24"};
        if (demo)
            args.push_back("--demo");
        args.insert(args.end(), extra.begin(), extra.end());
        server_ = std::make_unique<ServerProcess>(ERP_SERVER_BINARY, args);
        client_ = std::make_unique<RpcClient>(server_->host(), server_->port());
    }

    RpcClient newClient() const { return RpcClient(server_->host(), server_->port()); }

    QJsonValue ok(const QString& method, const QJsonArray& params = {})
    {
        const QJsonObject r = client_->call(method, params);
        EXPECT_TRUE(r.contains("result")) << method.toStdString() << ": " << QJsonDocument(r).toJson().toStdString();
        return r.value("result");
    }

    DataPacket read(const QString& method, const QJsonArray& params, const FieldDefs& layout)
    {
        const QJsonValue v = ok(method, params);
        DataPacket p = packet::decodeData(v.toObject(), &layout);
        EXPECT_EQ(p.fields, layout) << method.toStdString() << " answers exactly the fields of its dataset";
        return p;
    }

    double nextParamSeq() { return ok(m::prxSeqParamIRPJ).toDouble(); }
    double nextInfSeq() { return ok(m::prxInfCtbIRPJ).toDouble(); }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<RpcClient> client_;
};

TEST_P(ServerTest, ReadsAnswerTheContractPacketsForFilledAndEmptyCompanies)
{
    start();
    const DataPacket items = read(m::getItensDRE, {}, contract::itensDRELayout());
    EXPECT_GE(std::count_if(items.rows.begin(), items.rows.end(), [](const RowValues& r) { return r[0] == "01"; }), 10);

    const DataPacket rates = read(m::getAliquotas, {}, contract::aliquotasLayout());
    std::set<double> irpj, csll;
    for (const RowValues& r : rates.rows) {
        EXPECT_EQ(r[1].toString(), QString::number(r[0].toLongLong())) << "the search code is the entry's number as text";
        EXPECT_FALSE(r[2].toString().isEmpty());
        csll.insert(r[3].toDouble());
        irpj.insert(r[4].toDouble());
    }
    EXPECT_EQ(irpj, (std::set<double>{1.6, 8, 16, 32}));
    EXPECT_EQ(csll, (std::set<double>{12, 32}));

    const DataPacket irpjRows = read(m::GetParamIRPJ, {"01"}, contract::paramApuLayout());
    const DataPacket csllRows = read(m::GetParamCSLL, {"01"}, contract::paramApuLayout());
    const DataPacket items01 = read(m::getRecDesp, {"01"}, contract::recDespLayout());
    ASSERT_FALSE(irpjRows.rows.empty());
    ASSERT_FALSE(csllRows.rows.empty());
    ASSERT_FALSE(items01.rows.empty());
    for (const RowValues& r : irpjRows.rows)
        EXPECT_EQ(r[4], "I");
    for (const RowValues& r : csllRows.rows)
        EXPECT_EQ(r[4], "C");
    std::set<QString> kinds;
    for (const RowValues& r : irpjRows.rows)
        kinds.insert(r[3].toString());
    EXPECT_EQ(kinds, (std::set<QString>{"A", "E", "C"}));

    // Every parent of company 01 has accounting information whose key is
    // the account code, or the type followed by the item.
    std::vector<double> parents;
    for (const auto* p : {&irpjRows, &csllRows, &items01})
        for (const RowValues& r : p->rows)
            parents.push_back(r[0].toDouble());
    bool sawItem = false;
    for (double parent : parents) {
        const DataPacket inf = read(m::getInfCtbIRPJ, {parent}, contract::infCtbLayout());
        EXPECT_FALSE(inf.rows.empty()) << "parent " << parent;
        for (const RowValues& r : inf.rows) {
            EXPECT_EQ(r[1].toDouble(), parent);
            if (r[3] == "C") {
                EXPECT_EQ(r[4], r[5]);
                EXPECT_FALSE(r[6].isValid());
            } else {
                sawItem = true;
                EXPECT_EQ(r[4].toString(), r[6].toString() + r[5].toString());
            }
        }
    }
    EXPECT_TRUE(sawItem);

    for (const QString& company : {QStringLiteral("03"), QStringLiteral("99"), QString()}) {
        EXPECT_TRUE(read(m::GetParamIRPJ, {company}, contract::paramApuLayout()).rows.empty());
        EXPECT_TRUE(read(m::GetParamCSLL, {company}, contract::paramApuLayout()).rows.empty());
        EXPECT_TRUE(read(m::getRecDesp, {company}, contract::recDespLayout()).rows.empty());
    }
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {987654.0}, contract::infCtbLayout()).rows.empty());
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {parents.front() + 0.5}, contract::infCtbLayout()).rows.empty());
}

TEST_P(ServerTest, DemoDataFillsEveryTabOfCompany01)
{
    start();
    auto db = server::openDatabase(db_->url);
    EXPECT_GE(db->query("SELECT COUNT(*) FROM EMPRESA").at(0).at(0).toInt(), 3);
    EXPECT_EQ(db->query("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '01'").size(), 1u);
    EXPECT_GE(db->query("SELECT COUNT(*) FROM CONTCTBL").at(0).at(0).toInt(), 30);
    // Account codes are digits only, shown through the mask 9.9.9.99.9999.
    for (const server::SqlRow& r : db->query("SELECT CDCONTCTBL FROM CONTCTBL"))
        EXPECT_TRUE(QRegularExpression("^[0-9]{9}$").match(r.at(0).toString()).hasMatch()) << r.at(0).toString().toStdString();
    for (const char* name : {"Caixa", "Bancos conta movimento", "Clientes", "Fornecedores", "Receita bruta de vendas", "Brindes"})
        EXPECT_EQ(db->query("SELECT 1 FROM CONTCTBL WHERE NMCONTCTBL = ?", {QString::fromUtf8(name)}).size(), 1u) << name;
    // A second start with --demo adds nothing.
    EXPECT_EQ(server_->stop(), 0);
    const auto before = snapshot(db_->url);
    start(true);
    EXPECT_EQ(snapshot(db_->url), before);
}

TEST_P(ServerTest, AnAccountingRowKeepsItsCodeWhenOnlyItsFormChanges)
{
    start();
    const FieldDefs infL = contract::infCtbLayout();
    const double parent = read(m::GetParamIRPJ, {"01"}, contract::paramApuLayout()).rows.at(0)[0].toDouble();
    const RowValues row = read(m::getInfCtbIRPJ, {parent}, infL).rows.at(0);
    ASSERT_EQ(row[3], "C");
    // The account leaves the chart after the row was saved.
    server::openDatabase(db_->url)->exec("DELETE FROM CONTCTBL WHERE CDCONTCTBL = ?", {row[5].toString()});
    RowValues form = row;
    form[0] = row[0] == "C" ? "P" : "C";
    EXPECT_TRUE(client_->call(m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Modified, row, form)}).contains("result"));
    // Giving it another missing account is refused.
    RowValues other = form;
    other[4] = other[5] = "999999999";
    EXPECT_EQ(errorCode(client_->call(m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Modified, form, other)})), 1004);
}

TEST_P(ServerTest, AnEmptyDatabaseAnswersEmptyPackets)
{
    start(false);
    EXPECT_TRUE(read(m::getItensDRE, {}, contract::itensDRELayout()).rows.empty());
    EXPECT_TRUE(read(m::getAliquotas, {}, contract::aliquotasLayout()).rows.empty());
    EXPECT_TRUE(read(m::GetParamIRPJ, {"01"}, contract::paramApuLayout()).rows.empty());
    EXPECT_EQ(ok(m::prxSeqParamIRPJ), QJsonValue(1));
    EXPECT_EQ(ok(m::prxInfCtbIRPJ), QJsonValue(1));
}

TEST_P(ServerTest, SequenceNumbersAreUniqueAndIncreasingUnderParallelClients)
{
    start(false);
    constexpr int kClients = 8, kCalls = 200;
    std::vector<std::vector<long long>> param(kClients), inf(kClients);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            RpcClient cli = newClient();
            for (int i = 0; i < kCalls; ++i) {
                const QString method = i % 2 ? QString(m::prxInfCtbIRPJ) : QString(m::prxSeqParamIRPJ);
                const QJsonValue v = cli.call(method).value("result");
                // The result is a JSON integer.
                if (!v.isDouble() || v.toDouble() != double(v.toInteger()) || v.toInteger() <= 0)
                    ++failures;
                (i % 2 ? inf : param)[std::size_t(c)].push_back(v.toInteger());
            }
        });
    }
    for (auto& t : threads)
        t.join();
    ASSERT_EQ(failures, 0);
    for (auto* series : {&param, &inf}) {
        std::set<long long> all;
        for (const auto& seen : *series) {
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()) && std::adjacent_find(seen.begin(), seen.end()) == seen.end());
            all.insert(seen.begin(), seen.end());
        }
        EXPECT_EQ(all.size(), std::size_t(kClients * kCalls / 2));
        EXPECT_EQ(*all.begin(), 1);
        EXPECT_EQ(*all.rbegin(), kClients * kCalls / 2) << "no number is skipped";
    }
}

TEST_P(ServerTest, EachSaveKindIsAppliedAndReadBack)
{
    start();
    const FieldDefs adic = contract::paramApuLayout(), infL = contract::infCtbLayout(), rd = contract::recDespLayout();
    auto saveOk = [&](const char* method, const QJsonObject& packet) {
        const QJsonObject r = client_->call(method, {packet});
        EXPECT_EQ(r.value("result").toObject(), (QJsonObject{{"status", "ok"}, {"applied", 1}})) << QJsonDocument(r).toJson().toStdString();
    };

    // Additions: insert (CSLL through the same method), modify, delete.
    const double s1 = nextParamSeq();
    const RowValues a1{s1, "02", "Ação judicial", "A", "C", 12.5};
    saveOk(m::SetParamIRPJ, insertJson(adic, a1));
    EXPECT_EQ(read(m::GetParamCSLL, {"02"}, adic).rows, std::vector<RowValues>{a1});
    const RowValues a2{s1, "02", "Ação judicial trabalhista", "E", "C", 0.1 + 0.2};
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Modified, a1, a2));
    EXPECT_EQ(read(m::GetParamCSLL, {"02"}, adic).rows, std::vector<RowValues>{a2});
    // The double read back compares equal to the one sent, so it can be the next old value.
    const RowValues a3{s1, "02", "Ação judicial trabalhista", "E", "C", 100.0};
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Modified, a2, a3));

    // Accounting information under it: account and item, modify, delete.
    const double i1 = nextInfSeq(), i2 = nextInfSeq();
    const RowValues c1{"C", s1, i1, "C", "423010001", "423010001", QVariant()};
    const RowValues c2{"P", s1, i2, "I", "010007", "0007", "01"};
    saveOk(m::SetInfCtbIRPJ, insertJson(infL, c1));
    saveOk(m::SetInfCtbIRPJ, insertJson(infL, c2));
    EXPECT_EQ(read(m::getInfCtbIRPJ, {s1}, infL).rows, (std::vector<RowValues>{c1, c2}));
    const RowValues c2b{"C", s1, i2, "I", "010008", "0008", "01"};
    saveOk(m::SetInfCtbIRPJ, changeJson(infL, ChangeStatus::Modified, c2, c2b));
    saveOk(m::SetInfCtbIRPJ, changeJson(infL, ChangeStatus::Deleted, c1, {}));
    EXPECT_EQ(read(m::getInfCtbIRPJ, {s1}, infL).rows, std::vector<RowValues>{c2b});

    // Deleting the parent: its accounting information first, then the row.
    EXPECT_EQ(ok(m::setDeleteInfCtb, {s1}).toObject(), (QJsonObject{{"status", "ok"}, {"applied", 1}}));
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {s1}, infL).rows.empty());
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Deleted, a3, {}));
    EXPECT_TRUE(read(m::GetParamCSLL, {"02"}, adic).rows.empty());

    // Net-profit items.
    const double s2 = nextParamSeq();
    const RowValues r1{s2, "02", "Receita de aluguéis", "R", "N", 7.0, 32.0, 32.0, "S"};
    saveOk(m::setRecDesp, insertJson(rd, r1));
    const RowValues r2{s2, "02", "Receita de aluguéis", "R", "N", 6.0, 32.0, 32.0, "N"};
    saveOk(m::setRecDesp, changeJson(rd, ChangeStatus::Modified, r1, r2));
    EXPECT_EQ(read(m::getRecDesp, {"02"}, rd).rows, std::vector<RowValues>{r2});
    EXPECT_EQ(ok(m::setDeleteInfCtb, {s2}).toObject(), (QJsonObject{{"status", "ok"}, {"applied", 0}}));
    saveOk(m::setRecDesp, changeJson(rd, ChangeStatus::Deleted, r2, {}));
    EXPECT_TRUE(read(m::getRecDesp, {"02"}, rd).rows.empty());

    // A packet's field order is the client's: the server reads by name.
    FieldDefs reordered = adic;
    std::reverse(reordered.begin(), reordered.end());
    const double s3 = nextParamSeq();
    saveOk(m::SetParamIRPJ, insertJson(reordered, {50.0, "I", "A", "Brindes e presentes", "02", s3}));
    EXPECT_EQ(read(m::GetParamIRPJ, {"02"}, adic).rows, (std::vector<RowValues>{{s3, "02", "Brindes e presentes", "A", "I", 50.0}}));
}

// A refused save answers its code with a Portuguese sentence and writes nothing.
TEST_P(ServerTest, RefusedSavesLeaveTheDatabaseAsItWas)
{
    start();
    const FieldDefs adic = contract::paramApuLayout(), infL = contract::infCtbLayout(), rd = contract::recDespLayout();
    const RowValues adic0 = read(m::GetParamIRPJ, {"01"}, adic).rows.at(0);
    const RowValues item0 = read(m::getRecDesp, {"01"}, rd).rows.at(0);
    const RowValues inf0 = read(m::getInfCtbIRPJ, {item0[0].toDouble()}, infL).rows.at(0);
    const double seq = nextParamSeq(), infSeq = nextInfSeq();

    const RowValues newAdic{seq, "01", "Nova adição", "A", "I", 50.0};
    const RowValues newItem{seq, "01", "Novo item", "R", "S", 2.0, 8.0, 12.0, "S"};
    const RowValues newInf{"C", adic0[0], infSeq, "C", "111010001", "111010001", QVariant()};
    auto with = [](RowValues r, int i, const QVariant& v) {
        r[i] = v;
        return r;
    };
    auto adicIns = [&](int i, const QVariant& v) { return QJsonArray{insertJson(adic, with(newAdic, i, v))}; };
    auto itemIns = [&](int i, const QVariant& v) { return QJsonArray{insertJson(rd, with(newItem, i, v))}; };
    auto infIns = [&](int i, const QVariant& v) { return QJsonArray{insertJson(infL, with(newInf, i, v))}; };
    QJsonObject missingField = insertJson(adic, newAdic);
    {
        QJsonArray fields = missingField["fields"].toArray();
        fields.removeLast();
        missingField["fields"] = fields;
        QJsonObject change = missingField["changes"].toArray()[0].toObject();
        QJsonArray values = change["new"].toArray();
        values.removeLast();
        change["new"] = values;
        missingField["changes"] = QJsonArray{change};
    }
    QJsonObject twoChanges = insertJson(adic, newAdic);
    {
        QJsonArray changes = twoChanges["changes"].toArray();
        changes.append(insertJson(adic, with(with(newAdic, 0, item0[0]), 2, "Outra")).value("changes").toArray()[0]);
        twoChanges["changes"] = changes;
    }

    struct Case {
        const char* what;
        const char* method;
        QJsonArray params;
        int code;
    };
    const std::vector<Case> cases{
        {"name empty", m::SetParamIRPJ, adicIns(2, QVariant()), 1001},
        {"name blank", m::SetParamIRPJ, adicIns(2, "   "), 1001},
        {"type not A/E/C", m::SetParamIRPJ, adicIns(3, "X"), 1001},
        {"type lower case", m::SetParamIRPJ, adicIns(3, "a"), 1001},
        {"type empty", m::SetParamIRPJ, adicIns(3, QVariant()), 1001},
        {"tax not I/C", m::SetParamIRPJ, adicIns(4, "X"), 1001},
        {"percentage zero", m::SetParamIRPJ, adicIns(5, 0.0), 1001},
        {"percentage negative", m::SetParamIRPJ, adicIns(5, -5.0), 1001},
        {"percentage over 100", m::SetParamIRPJ, adicIns(5, 100.01), 1001},
        {"percentage empty", m::SetParamIRPJ, adicIns(5, QVariant()), 1001},
        {"company empty", m::SetParamIRPJ, adicIns(1, QVariant()), 1001},
        {"company missing", m::SetParamIRPJ, adicIns(1, "99"), 1004},
        {"duplicate name ignoring case", m::SetParamIRPJ,
         QJsonArray{insertJson(adic, {seq, "01", adic0[2].toString().toLower(), adic0[3], "I", 10.0})}, 1003},
        {"sequence not issued yet", m::SetParamIRPJ, adicIns(0, seq + 1000), 1001},
        {"sequence fractional", m::SetParamIRPJ, adicIns(0, seq - 0.5), 1001},
        {"sequence negative", m::SetParamIRPJ, adicIns(0, -1.0), 1001},
        {"sequence taken by a net-profit item", m::SetParamIRPJ, adicIns(0, item0[0]), 1003},
        {"modify changes the sequence", m::SetParamIRPJ, QJsonArray{changeJson(adic, ChangeStatus::Modified, adic0, with(adic0, 0, seq))}, 1001},
        {"modify moves to another company", m::SetParamIRPJ, QJsonArray{changeJson(adic, ChangeStatus::Modified, adic0, with(adic0, 1, "02"))}, 1001},
        {"modify with stale old values", m::SetParamIRPJ,
         QJsonArray{changeJson(adic, ChangeStatus::Modified, with(adic0, 5, 99.0), with(adic0, 2, "Outro nome"))}, 1002},
        {"modify claims another company", m::SetParamIRPJ,
         QJsonArray{changeJson(adic, ChangeStatus::Modified, with(adic0, 1, "02"), with(with(adic0, 1, "02"), 2, "Outro"))}, 1002},
        {"delete with stale old values", m::SetParamIRPJ, QJsonArray{changeJson(adic, ChangeStatus::Deleted, with(adic0, 2, "Outro"), {})}, 1002},
        {"delete of a missing row", m::SetParamIRPJ, QJsonArray{changeJson(adic, ChangeStatus::Deleted, with(adic0, 0, seq), {})}, 1002},
        {"delete keeps its accounting information", m::SetParamIRPJ, QJsonArray{changeJson(adic, ChangeStatus::Deleted, adic0, {})}, 1001},
        {"second change of the packet refused", m::SetParamIRPJ, QJsonArray{twoChanges}, 1003},
        {"text longer than its field", m::SetParamIRPJ, adicIns(2, QString(201, 'x')), -32602},
        {"text outside Windows-1252", m::SetParamIRPJ, adicIns(2, QString::fromUtf8("Multa \u4e2d")), -32602},
        {"field missing from the packet", m::SetParamIRPJ, QJsonArray{missingField}, -32602},
        {"packet that is not an object", m::SetParamIRPJ, QJsonArray{"pacote"}, -32602},
        {"packet with a wrongly typed value", m::SetParamIRPJ,
         QJsonArray{QJsonObject{{"fields", insertJson(adic, newAdic)["fields"]},
                                {"changes", QJsonArray{QJsonObject{{"status", "inserted"}, {"new", QJsonArray{"x", "01", "N", "A", "I", 1}}}}}}},
         -32602},
        {"no packet", m::SetParamIRPJ, QJsonArray{}, -32602},

        {"revenue/expense not R/D", m::setRecDesp, itemIns(3, "X"), 1001},
        {"operational not S/N", m::setRecDesp, itemIns(4, "X"), 1001},
        {"debit value not S/N", m::setRecDesp, itemIns(8, "X"), 1001},
        {"debit value empty", m::setRecDesp, itemIns(8, QVariant()), 1001},
        {"rate entry missing", m::setRecDesp, itemIns(5, 99.0), 1004},
        {"rate entry empty", m::setRecDesp, itemIns(5, QVariant()), 1001},
        {"item company missing", m::setRecDesp, itemIns(1, "99"), 1004},
        {"duplicate item ignoring case", m::setRecDesp, QJsonArray{insertJson(rd, with(with(item0, 0, seq), 2, item0[2].toString().toUpper()))}, 1003},
        {"item modify with stale old values", m::setRecDesp,
         QJsonArray{changeJson(rd, ChangeStatus::Modified, with(item0, 8, item0[8] == "S" ? "N" : "S"), with(item0, 2, "Outro"))}, 1002},

        {"origin not C/I", m::SetInfCtbIRPJ, infIns(3, "X"), 1001},
        {"form not C/P", m::SetInfCtbIRPJ, infIns(0, "X"), 1001},
        {"account missing", m::SetInfCtbIRPJ, QJsonArray{insertJson(infL, with(with(newInf, 4, "999999999"), 5, "999999999"))}, 1004},
        {"item missing", m::SetInfCtbIRPJ, QJsonArray{insertJson(infL, {"C", adic0[0], infSeq, "I", "019999", "9999", "01"})}, 1004},
        {"code does not match the key", m::SetInfCtbIRPJ, infIns(5, "111020001"), 1001},
        {"parent missing", m::SetInfCtbIRPJ, infIns(1, 987654.0), 1004},
        {"info sequence not issued yet", m::SetInfCtbIRPJ, infIns(2, infSeq + 1000), 1001},
        {"duplicate accounting information", m::SetInfCtbIRPJ,
         QJsonArray{insertJson(infL, {inf0[0], inf0[1], infSeq, inf0[3], inf0[4], inf0[5], inf0[6]})}, 1003},
        {"info modify with stale old values", m::SetInfCtbIRPJ,
         QJsonArray{changeJson(infL, ChangeStatus::Modified, with(inf0, 0, inf0[0] == "C" ? "P" : "C"), inf0)}, 1002},
        {"info moved to another parent", m::SetInfCtbIRPJ, QJsonArray{changeJson(infL, ChangeStatus::Modified, inf0, with(inf0, 1, adic0[0]))}, 1001},

        {"delete accounting information of a missing parent", m::setDeleteInfCtb, QJsonArray{987654.0}, 1004},
        {"delete accounting information given text", m::setDeleteInfCtb, QJsonArray{"15"}, -32602},
        {"read with a number for the company", m::GetParamIRPJ, QJsonArray{1}, -32602},
        {"read with too many arguments", m::getItensDRE, QJsonArray{1}, -32602},
    };

    const std::vector<std::string> before = snapshot(db_->url);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QJsonObject r = client_->call(c.method, c.params);
        EXPECT_FALSE(r.contains("result"));
        EXPECT_EQ(errorCode(r), c.code) << QJsonDocument(r).toJson().toStdString();
        const QString message = errorMessage(r);
        EXPECT_TRUE(message.endsWith('.') && message.size() > 10) << message.toStdString();
        for (const char* internal : {"SQL", "sqlite", "postgres", "constraint", "UNIQUE", "INSERT"})
            EXPECT_FALSE(message.contains(QLatin1String(internal), Qt::CaseInsensitive)) << message.toStdString();
    }
    EXPECT_EQ(snapshot(db_->url), before);
}

TEST_P(ServerTest, DuplicateMessagesAreTheUsersSentences)
{
    start();
    const FieldDefs adic = contract::paramApuLayout();
    const double s1 = nextParamSeq(), s2 = nextParamSeq();
    // Accents fold with the case on both engines.
    ASSERT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s1, "02", "AÇÃO", "A", "I", 10.0})}).contains("result"));
    const QJsonObject r = client_->call(m::SetParamIRPJ, {insertJson(adic, {s2, "02", "ação", "A", "I", 10.0})});
    EXPECT_EQ(errorCode(r), 1003);
    EXPECT_EQ(errorMessage(r), "Item já cadastrado para o imposto selecionado.");
    // Same name under the other tax or another type is another item.
    EXPECT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s2, "02", "ação", "A", "C", 10.0})}).contains("result"));
    const double s3 = nextParamSeq();
    EXPECT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s3, "02", "ação", "E", "I", 10.0})}).contains("result"));
}

TEST_P(ServerTest, AChangeBasedOnStaleValuesIsAConflict)
{
    start();
    const FieldDefs adic = contract::paramApuLayout();
    RpcClient other = newClient();
    const RowValues seen = read(m::GetParamCSLL, {"01"}, adic).rows.at(0);
    RowValues theirs = seen;
    theirs[5] = 55.5;
    ASSERT_TRUE(other.call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Modified, seen, theirs)}).contains("result"));

    const std::vector<std::string> afterOther = snapshot(db_->url);
    RowValues mine = seen;
    mine[2] = "Nome alterado";
    QJsonObject r = client_->call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Modified, seen, mine)});
    EXPECT_EQ(errorCode(r), 1002);
    EXPECT_EQ(errorMessage(r), "O registro foi alterado ou excluído por outro usuário. Recarregue os dados e tente novamente.");
    r = client_->call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Deleted, seen, {})});
    EXPECT_EQ(errorCode(r), 1002);
    EXPECT_EQ(snapshot(db_->url), afterOther);
}

// The screen removes a parent's accounting information, then the parent:
// when the parent's delete is refused, the information is still there.
TEST_P(ServerTest, ARefusedParentDeleteKeepsItsAccountingInformation)
{
    start();
    const FieldDefs rd = contract::recDespLayout(), infL = contract::infCtbLayout();
    const RowValues item = read(m::getRecDesp, {"01"}, rd).rows.at(0);
    const double parent = item[0].toDouble();
    const std::vector<RowValues> children = read(m::getInfCtbIRPJ, {parent}, infL).rows;
    ASSERT_FALSE(children.empty());

    RowValues stale = item;
    stale[2] = "Nome que o item já não tem";
    EXPECT_EQ(ok(m::setDeleteInfCtb, {parent}).toObject().value("applied").toInteger(), qint64(children.size()));
    EXPECT_EQ(errorCode(client_->call(m::setRecDesp, {changeJson(rd, ChangeStatus::Deleted, stale, {})})), 1002);
    EXPECT_EQ(read(m::getInfCtbIRPJ, {parent}, infL).rows, children);

    // Accepted, the delete takes the information with it for good.
    ok(m::setDeleteInfCtb, {parent});
    ok(m::setRecDesp, {changeJson(rd, ChangeStatus::Deleted, item, {})});
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {parent}, infL).rows.empty());
    auto db = server::openDatabase(db_->url);
    EXPECT_TRUE(db->query("SELECT 1 FROM INFCTBIRPJREMOVIDA WHERE NRSEQPARAMAPU = ?", {qlonglong(parent)}).empty());
}

TEST_P(ServerTest, RacingDuplicatesLeaveExactlyOneRow)
{
    start();
    constexpr int kClients = 8;
    std::vector<double> seqs;
    for (int i = 0; i < kClients; ++i)
        seqs.push_back(nextParamSeq());
    std::atomic<int> accepted{0}, duplicates{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            RpcClient cli = newClient();
            const QString name = i % 2 ? QStringLiteral("Perdas em operações de crédito") : QStringLiteral("PERDAS EM OPERAÇÕES DE CRÉDITO");
            const QJsonObject r = cli.call(m::setRecDesp, {insertJson(contract::recDespLayout(), {seqs[std::size_t(i)], "03", name, "D", "S", 2.0, 8.0, 12.0, "S"})});
            if (r.contains("result"))
                ++accepted;
            else if (errorCode(r) == 1003)
                ++duplicates;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(duplicates, kClients - 1);
    EXPECT_EQ(read(m::getRecDesp, {"03"}, contract::recDespLayout()).rows.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
