// SPDX-License-Identifier: MIT
// The application server through its real program, on SQLite and PostgreSQL.
#include "rpcclient.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;
using namespace erp::contract::letter;

namespace {

class ServerTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (const std::string missing = engineMissing(GetParam()); !missing.empty())
            GTEST_SKIP() << missing;
        db_ = std::make_unique<TestDatabase>(GetParam(), "t");
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

// The layouts of the packets, addressed by field name.
const Layout adic(contract::paramApuLayout()), infL(contract::infCtbLayout()), rd(contract::recDespLayout()), itemsL(contract::itensDRELayout()),
    ratesL(contract::aliquotasLayout());

TEST_P(ServerTest, ReadsAnswerTheContractPacketsForFilledAndEmptyCompanies)
{
    start();
    const DataPacket items = read(m::getItensDRE, {}, itemsL);
    EXPECT_GE(std::count_if(items.rows.begin(), items.rows.end(), [](const RowValues& r) { return r[itemsL[f::CDTIPODEMO]] == "01"; }), 10);

    const DataPacket rates = read(m::getAliquotas, {}, ratesL);
    std::set<double> irpj, csll;
    for (const RowValues& r : rates.rows) {
        EXPECT_EQ(r[ratesL[f::NRSEQALIQIRPJPESQ]].toString(), QString::number(r[ratesL[f::NRSEQALIQIRPJ]].toLongLong()))
            << "the search code is the entry's number as text";
        EXPECT_FALSE(r[ratesL[f::DSALIQIRPJCSLL]].toString().isEmpty());
        csll.insert(r[ratesL[f::VRALIQPRESCSLL]].toDouble());
        irpj.insert(r[ratesL[f::VRALIQPRESIRPJ]].toDouble());
    }
    EXPECT_EQ(irpj, (std::set<double>{1.6, 8, 16, 32}));
    EXPECT_EQ(csll, (std::set<double>{12, 32}));

    const DataPacket irpjRows = read(m::GetParamIRPJ, {"01"}, adic);
    const DataPacket csllRows = read(m::GetParamCSLL, {"01"}, adic);
    const DataPacket items01 = read(m::getRecDesp, {"01"}, rd);
    ASSERT_FALSE(irpjRows.rows.empty());
    ASSERT_FALSE(csllRows.rows.empty());
    ASSERT_FALSE(items01.rows.empty());
    for (const RowValues& r : irpjRows.rows)
        EXPECT_EQ(r[adic[f::IDIMPOSTO]], letterText(imposto::IRPJ));
    for (const RowValues& r : csllRows.rows)
        EXPECT_EQ(r[adic[f::IDIMPOSTO]], letterText(imposto::CSLL));
    std::set<QString> kinds;
    for (const RowValues& r : irpjRows.rows)
        kinds.insert(r[adic[f::IDPARAMAPU]].toString());
    EXPECT_EQ(kinds, (std::set<QString>{letterText(tipo::Adicao), letterText(tipo::Exclusao), letterText(tipo::Compensacao)}));

    // Every parent of company 01 has accounting information whose key is
    // the account code, or the type followed by the item.
    std::vector<double> parents;
    for (const RowValues& r : irpjRows.rows)
        parents.push_back(r[adic[f::NRSEQPARAMAPU]].toDouble());
    for (const RowValues& r : csllRows.rows)
        parents.push_back(r[adic[f::NRSEQPARAMAPU]].toDouble());
    for (const RowValues& r : items01.rows)
        parents.push_back(r[rd[f::NRSEQRECDESPIRPJ]].toDouble());
    bool sawItem = false;
    for (double parent : parents) {
        const DataPacket inf = read(m::getInfCtbIRPJ, {parent}, infL);
        EXPECT_FALSE(inf.rows.empty()) << "parent " << parent;
        for (const RowValues& r : inf.rows) {
            EXPECT_EQ(r[infL[f::NRSEQPARAMAPU]].toDouble(), parent);
            if (r[infL[f::IDINFCTBIRPJ]] == letterText(origem::Conta)) {
                EXPECT_EQ(r[infL[f::CHAVE]], r[infL[f::CDINFCTBIRPJ]]);
                EXPECT_FALSE(r[infL[f::CDTIPODEMO]].isValid());
            } else {
                sawItem = true;
                EXPECT_EQ(r[infL[f::CHAVE]].toString(), r[infL[f::CDTIPODEMO]].toString() + r[infL[f::CDINFCTBIRPJ]].toString());
            }
        }
    }
    EXPECT_TRUE(sawItem);

    for (const QString& company : {QStringLiteral("03"), QStringLiteral("99"), QString()}) {
        EXPECT_TRUE(read(m::GetParamIRPJ, {company}, adic).rows.empty());
        EXPECT_TRUE(read(m::GetParamCSLL, {company}, adic).rows.empty());
        EXPECT_TRUE(read(m::getRecDesp, {company}, rd).rows.empty());
    }
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {987654.0}, infL).rows.empty());
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {parents.front() + 0.5}, infL).rows.empty());
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
    const double parent = read(m::GetParamIRPJ, {"01"}, adic).rows.at(0)[adic[f::NRSEQPARAMAPU]].toDouble();
    const RowValues row = read(m::getInfCtbIRPJ, {parent}, infL).rows.at(0);
    ASSERT_EQ(row[infL[f::IDINFCTBIRPJ]], letterText(origem::Conta));
    // The account leaves the chart after the row was saved.
    server::openDatabase(db_->url)->exec("DELETE FROM CONTCTBL WHERE CDCONTCTBL = ?", {row[infL[f::CDINFCTBIRPJ]].toString()});
    const bool accrual = row[infL[f::IDFORMAPURITEM]] == letterText(apuracao::Competencia);
    const RowValues form = infL.with(row, f::IDFORMAPURITEM, letterText(accrual ? apuracao::Pagamento : apuracao::Competencia));
    EXPECT_TRUE(client_->call(m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Modified, row, form)}).contains("result"));
    // Giving it another missing account is refused.
    const RowValues other = infL.with(infL.with(form, f::CHAVE, "999999999"), f::CDINFCTBIRPJ, "999999999");
    EXPECT_EQ(errorCode(client_->call(m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Modified, form, other)})), code::MissingReference);
}

TEST_P(ServerTest, AnEmptyDatabaseAnswersEmptyPackets)
{
    start(false);
    EXPECT_TRUE(read(m::getItensDRE, {}, itemsL).rows.empty());
    EXPECT_TRUE(read(m::getAliquotas, {}, ratesL).rows.empty());
    EXPECT_TRUE(read(m::GetParamIRPJ, {"01"}, adic).rows.empty());
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
    auto saveOk = [&](const char* method, const QJsonObject& packet) {
        const QJsonObject r = client_->call(method, {packet});
        EXPECT_EQ(r.value("result").toObject(), (QJsonObject{{"status", "ok"}, {"applied", 1}})) << QJsonDocument(r).toJson().toStdString();
    };
    const QString A = letterText(tipo::Adicao), E = letterText(tipo::Exclusao), I = letterText(imposto::IRPJ), C = letterText(imposto::CSLL);

    // Additions: insert (CSLL through the same method), modify, delete.
    const double s1 = nextParamSeq();
    const RowValues a1{s1, "02", "Ação judicial", A, C, 12.5};
    saveOk(m::SetParamIRPJ, insertJson(adic, a1));
    EXPECT_EQ(read(m::GetParamCSLL, {"02"}, adic).rows, std::vector<RowValues>{a1});
    const RowValues a2{s1, "02", "Ação judicial trabalhista", E, C, 0.1 + 0.2};
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Modified, a1, a2));
    EXPECT_EQ(read(m::GetParamCSLL, {"02"}, adic).rows, std::vector<RowValues>{a2});
    // The double read back compares equal to the one sent, so it can be the next old value.
    const RowValues a3 = adic.with(a2, f::VRPORCENTAGEM, 100.0);
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Modified, a2, a3));

    // Accounting information under it: account and item, modify, delete.
    const QString account = letterText(origem::Conta), item = letterText(origem::Item);
    const QString accrual = letterText(apuracao::Competencia), payment = letterText(apuracao::Pagamento);
    const double i1 = nextInfSeq(), i2 = nextInfSeq();
    const RowValues c1{accrual, s1, i1, account, "423010001", "423010001", QVariant()};
    const RowValues c2{payment, s1, i2, item, "010007", "0007", "01"};
    saveOk(m::SetInfCtbIRPJ, insertJson(infL, c1));
    saveOk(m::SetInfCtbIRPJ, insertJson(infL, c2));
    EXPECT_EQ(read(m::getInfCtbIRPJ, {s1}, infL).rows, (std::vector<RowValues>{c1, c2}));
    const RowValues c2b{accrual, s1, i2, item, "010008", "0008", "01"};
    saveOk(m::SetInfCtbIRPJ, changeJson(infL, ChangeStatus::Modified, c2, c2b));
    saveOk(m::SetInfCtbIRPJ, changeJson(infL, ChangeStatus::Deleted, c1, {}));
    EXPECT_EQ(read(m::getInfCtbIRPJ, {s1}, infL).rows, std::vector<RowValues>{c2b});

    // Deleting the parent: its accounting information first, then the row.
    EXPECT_EQ(ok(m::setDeleteInfCtb, {s1}).toObject(), (QJsonObject{{"status", "ok"}, {"applied", 1}}));
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {s1}, infL).rows.empty());
    saveOk(m::SetParamIRPJ, changeJson(adic, ChangeStatus::Deleted, a3, {}));
    EXPECT_TRUE(read(m::GetParamCSLL, {"02"}, adic).rows.empty());

    // Net-profit items.
    const QString R = letterText(recDesp::Receita), S = letterText(simNao::Sim), N = letterText(simNao::Nao);
    const double s2 = nextParamSeq();
    const RowValues r1{s2, "02", "Receita de aluguéis", R, N, 7.0, 32.0, 32.0, S};
    saveOk(m::setRecDesp, insertJson(rd, r1));
    const RowValues r2 = rd.with(rd.with(r1, f::NRSEQALIQIRPJ, 6.0), f::IDCONSVRDEB, N);
    saveOk(m::setRecDesp, changeJson(rd, ChangeStatus::Modified, r1, r2));
    EXPECT_EQ(read(m::getRecDesp, {"02"}, rd).rows, std::vector<RowValues>{r2});
    EXPECT_EQ(ok(m::setDeleteInfCtb, {s2}).toObject(), (QJsonObject{{"status", "ok"}, {"applied", 0}}));
    saveOk(m::setRecDesp, changeJson(rd, ChangeStatus::Deleted, r2, {}));
    EXPECT_TRUE(read(m::getRecDesp, {"02"}, rd).rows.empty());

    // A packet's field order is the client's: the server reads by name.
    FieldDefs reordered = adic;
    std::reverse(reordered.begin(), reordered.end());
    const double s3 = nextParamSeq();
    saveOk(m::SetParamIRPJ, insertJson(reordered, {50.0, I, A, "Brindes e presentes", "02", s3}));
    EXPECT_EQ(read(m::GetParamIRPJ, {"02"}, adic).rows, (std::vector<RowValues>{{s3, "02", "Brindes e presentes", A, I, 50.0}}));
}

// A refused save answers its code with a Portuguese sentence and writes nothing.
TEST_P(ServerTest, RefusedSavesLeaveTheDatabaseAsItWas)
{
    start();
    const RowValues adic0 = read(m::GetParamIRPJ, {"01"}, adic).rows.at(0);
    const RowValues item0 = read(m::getRecDesp, {"01"}, rd).rows.at(0);
    const RowValues inf0 = read(m::getInfCtbIRPJ, {item0[rd[f::NRSEQRECDESPIRPJ]].toDouble()}, infL).rows.at(0);
    const double seq = nextParamSeq(), infSeq = nextInfSeq();
    const QVariant parent0 = adic0[adic[f::NRSEQPARAMAPU]], item0Seq = item0[rd[f::NRSEQRECDESPIRPJ]];

    const RowValues newAdic{seq, "01", "Nova adição", letterText(tipo::Adicao), letterText(imposto::IRPJ), 50.0};
    const RowValues newItem{seq, "01", "Novo item", letterText(recDesp::Receita), letterText(simNao::Sim), 2.0, 8.0, 12.0, letterText(simNao::Sim)};
    const QString account = letterText(origem::Conta), accrual = letterText(apuracao::Competencia);
    const RowValues newInf{accrual, parent0, infSeq, account, "111010001", "111010001", QVariant()};
    auto adicIns = [&](const char* field, const QVariant& v) { return QJsonArray{insertJson(adic, adic.with(newAdic, field, v))}; };
    auto itemIns = [&](const char* field, const QVariant& v) { return QJsonArray{insertJson(rd, rd.with(newItem, field, v))}; };
    auto infIns = [&](const char* field, const QVariant& v) { return QJsonArray{insertJson(infL, infL.with(newInf, field, v))}; };
    auto adicMod = [&](const RowValues& o, const RowValues& n) { return QJsonArray{changeJson(adic, ChangeStatus::Modified, o, n)}; };
    auto adicDel = [&](const RowValues& o) { return QJsonArray{changeJson(adic, ChangeStatus::Deleted, o, {})}; };
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
        const RowValues taken = adic.with(adic.with(newAdic, f::NRSEQPARAMAPU, item0Seq), f::NMPARAMAPU, "Outra");
        changes.append(insertJson(adic, taken).value("changes").toArray()[0]);
        twoChanges["changes"] = changes;
    }

    struct Case {
        const char* what;
        const char* method;
        QJsonArray params;
        int code;
    };
    const std::vector<Case> cases{
        {"name empty", m::SetParamIRPJ, adicIns(f::NMPARAMAPU, QVariant()), code::Validation},
        {"name blank", m::SetParamIRPJ, adicIns(f::NMPARAMAPU, "   "), code::Validation},
        {"type not A/E/C", m::SetParamIRPJ, adicIns(f::IDPARAMAPU, "X"), code::Validation},
        {"type lower case", m::SetParamIRPJ, adicIns(f::IDPARAMAPU, letterText(tipo::Adicao).toLower()), code::Validation},
        {"type empty", m::SetParamIRPJ, adicIns(f::IDPARAMAPU, QVariant()), code::Validation},
        {"tax not I/C", m::SetParamIRPJ, adicIns(f::IDIMPOSTO, "X"), code::Validation},
        {"percentage zero", m::SetParamIRPJ, adicIns(f::VRPORCENTAGEM, 0.0), code::Validation},
        {"percentage negative", m::SetParamIRPJ, adicIns(f::VRPORCENTAGEM, -5.0), code::Validation},
        {"percentage over 100", m::SetParamIRPJ, adicIns(f::VRPORCENTAGEM, 100.01), code::Validation},
        {"percentage empty", m::SetParamIRPJ, adicIns(f::VRPORCENTAGEM, QVariant()), code::Validation},
        {"company empty", m::SetParamIRPJ, adicIns(f::CDEMPRESA, QVariant()), code::Validation},
        {"company missing", m::SetParamIRPJ, adicIns(f::CDEMPRESA, "99"), code::MissingReference},
        {"duplicate name ignoring case", m::SetParamIRPJ,
         QJsonArray{insertJson(adic, adic.with(adic.with(adic0, f::NRSEQPARAMAPU, seq), f::NMPARAMAPU, adic0[adic[f::NMPARAMAPU]].toString().toLower()))},
         code::Duplicate},
        {"sequence not issued yet", m::SetParamIRPJ, adicIns(f::NRSEQPARAMAPU, seq + 1000), code::Validation},
        {"sequence fractional", m::SetParamIRPJ, adicIns(f::NRSEQPARAMAPU, seq - 0.5), code::Validation},
        {"sequence negative", m::SetParamIRPJ, adicIns(f::NRSEQPARAMAPU, -1.0), code::Validation},
        {"sequence taken by a net-profit item", m::SetParamIRPJ, adicIns(f::NRSEQPARAMAPU, item0Seq), code::Duplicate},
        {"modify changes the sequence", m::SetParamIRPJ, adicMod(adic0, adic.with(adic0, f::NRSEQPARAMAPU, seq)), code::Validation},
        {"modify moves to another company", m::SetParamIRPJ, adicMod(adic0, adic.with(adic0, f::CDEMPRESA, "02")), code::Validation},
        {"modify with stale old values", m::SetParamIRPJ,
         adicMod(adic.with(adic0, f::VRPORCENTAGEM, 99.0), adic.with(adic0, f::NMPARAMAPU, "Outro nome")), code::Conflict},
        {"modify claims another company", m::SetParamIRPJ,
         adicMod(adic.with(adic0, f::CDEMPRESA, "02"), adic.with(adic.with(adic0, f::CDEMPRESA, "02"), f::NMPARAMAPU, "Outro")), code::Conflict},
        {"delete with stale old values", m::SetParamIRPJ, adicDel(adic.with(adic0, f::NMPARAMAPU, "Outro")), code::Conflict},
        {"delete of a missing row", m::SetParamIRPJ, adicDel(adic.with(adic0, f::NRSEQPARAMAPU, seq)), code::Conflict},
        {"delete keeps its accounting information", m::SetParamIRPJ, adicDel(adic0), code::Validation},
        {"second change of the packet refused", m::SetParamIRPJ, QJsonArray{twoChanges}, code::Duplicate},
        {"text longer than its field", m::SetParamIRPJ, adicIns(f::NMPARAMAPU, QString(201, 'x')), code::InvalidParams},
        {"text outside Windows-1252", m::SetParamIRPJ, adicIns(f::NMPARAMAPU, QString::fromUtf8("Multa \u4e2d")), code::InvalidParams},
        {"field missing from the packet", m::SetParamIRPJ, QJsonArray{missingField}, code::InvalidParams},
        {"packet that is not an object", m::SetParamIRPJ, QJsonArray{"pacote"}, code::InvalidParams},
        {"packet with a wrongly typed value", m::SetParamIRPJ,
         QJsonArray{QJsonObject{{"fields", insertJson(adic, newAdic)["fields"]},
                                {"changes", QJsonArray{QJsonObject{{"status", "inserted"}, {"new", QJsonArray{"x", "01", "N", "A", "I", 1}}}}}}},
         code::InvalidParams},
        {"no packet", m::SetParamIRPJ, QJsonArray{}, code::InvalidParams},

        {"revenue/expense not R/D", m::setRecDesp, itemIns(f::IDRECDESPIRPJ, "X"), code::Validation},
        {"operational not S/N", m::setRecDesp, itemIns(f::IDRECDESPIRPJOP, "X"), code::Validation},
        {"debit value not S/N", m::setRecDesp, itemIns(f::IDCONSVRDEB, "X"), code::Validation},
        {"debit value empty", m::setRecDesp, itemIns(f::IDCONSVRDEB, QVariant()), code::Validation},
        {"rate entry missing", m::setRecDesp, itemIns(f::NRSEQALIQIRPJ, 99.0), code::MissingReference},
        {"rate entry empty", m::setRecDesp, itemIns(f::NRSEQALIQIRPJ, QVariant()), code::Validation},
        {"item company missing", m::setRecDesp, itemIns(f::CDEMPRESA, "99"), code::MissingReference},
        {"duplicate item ignoring case", m::setRecDesp,
         QJsonArray{insertJson(rd, rd.with(rd.with(item0, f::NRSEQRECDESPIRPJ, seq), f::NMRECDESPIRPJ, item0[rd[f::NMRECDESPIRPJ]].toString().toUpper()))},
         code::Duplicate},
        {"item modify with stale old values", m::setRecDesp,
         QJsonArray{changeJson(rd, ChangeStatus::Modified,
                               rd.with(item0, f::IDCONSVRDEB, letterText(item0[rd[f::IDCONSVRDEB]] == letterText(simNao::Sim) ? simNao::Nao : simNao::Sim)),
                               rd.with(item0, f::NMRECDESPIRPJ, "Outro"))},
         code::Conflict},

        {"origin not C/I", m::SetInfCtbIRPJ, infIns(f::IDINFCTBIRPJ, "X"), code::Validation},
        {"form not C/P", m::SetInfCtbIRPJ, infIns(f::IDFORMAPURITEM, "X"), code::Validation},
        {"account missing", m::SetInfCtbIRPJ, QJsonArray{insertJson(infL, infL.with(infL.with(newInf, f::CHAVE, "999999999"), f::CDINFCTBIRPJ, "999999999"))},
         code::MissingReference},
        {"item missing", m::SetInfCtbIRPJ, QJsonArray{insertJson(infL, {accrual, parent0, infSeq, letterText(origem::Item), "019999", "9999", "01"})},
         code::MissingReference},
        {"code does not match the key", m::SetInfCtbIRPJ, infIns(f::CDINFCTBIRPJ, "111020001"), code::Validation},
        {"parent missing", m::SetInfCtbIRPJ, infIns(f::NRSEQPARAMAPU, 987654.0), code::MissingReference},
        {"info sequence not issued yet", m::SetInfCtbIRPJ, infIns(f::NRSEQINFCTBIRPJ, infSeq + 1000), code::Validation},
        {"duplicate accounting information", m::SetInfCtbIRPJ, QJsonArray{insertJson(infL, infL.with(inf0, f::NRSEQINFCTBIRPJ, infSeq))}, code::Duplicate},
        {"info modify with stale old values", m::SetInfCtbIRPJ,
         QJsonArray{changeJson(infL, ChangeStatus::Modified,
                               infL.with(inf0, f::IDFORMAPURITEM,
                                         letterText(inf0[infL[f::IDFORMAPURITEM]] == accrual ? apuracao::Pagamento : apuracao::Competencia)),
                               inf0)},
         code::Conflict},
        {"info moved to another parent", m::SetInfCtbIRPJ,
         QJsonArray{changeJson(infL, ChangeStatus::Modified, inf0, infL.with(inf0, f::NRSEQPARAMAPU, parent0))}, code::Validation},

        {"delete accounting information of a missing parent", m::setDeleteInfCtb, QJsonArray{987654.0}, code::MissingReference},
        {"delete accounting information given text", m::setDeleteInfCtb, QJsonArray{"15"}, code::InvalidParams},
        {"read with a number for the company", m::GetParamIRPJ, QJsonArray{1}, code::InvalidParams},
        {"read with too many arguments", m::getItensDRE, QJsonArray{1}, code::InvalidParams},
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
    const QString A = letterText(tipo::Adicao), E = letterText(tipo::Exclusao), I = letterText(imposto::IRPJ), C = letterText(imposto::CSLL);
    const double s1 = nextParamSeq(), s2 = nextParamSeq();
    // Accents fold with the case on both engines.
    ASSERT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s1, "02", "AÇÃO", A, I, 10.0})}).contains("result"));
    const QJsonObject r = client_->call(m::SetParamIRPJ, {insertJson(adic, {s2, "02", "ação", A, I, 10.0})});
    EXPECT_EQ(errorCode(r), code::Duplicate);
    EXPECT_EQ(errorMessage(r), "Item já cadastrado para o imposto selecionado.");
    // Same name under the other tax or another type is another item.
    EXPECT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s2, "02", "ação", A, C, 10.0})}).contains("result"));
    const double s3 = nextParamSeq();
    EXPECT_TRUE(client_->call(m::SetParamIRPJ, {insertJson(adic, {s3, "02", "ação", E, I, 10.0})}).contains("result"));
}

TEST_P(ServerTest, AChangeBasedOnStaleValuesIsAConflict)
{
    start();
    RpcClient other = newClient();
    const RowValues seen = read(m::GetParamCSLL, {"01"}, adic).rows.at(0);
    const RowValues theirs = adic.with(seen, f::VRPORCENTAGEM, 55.5);
    ASSERT_TRUE(other.call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Modified, seen, theirs)}).contains("result"));

    const std::vector<std::string> afterOther = snapshot(db_->url);
    const RowValues mine = adic.with(seen, f::NMPARAMAPU, "Nome alterado");
    QJsonObject r = client_->call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Modified, seen, mine)});
    EXPECT_EQ(errorCode(r), code::Conflict);
    EXPECT_EQ(errorMessage(r), "O registro foi alterado ou excluído por outro usuário. Recarregue os dados e tente novamente.");
    r = client_->call(m::SetParamIRPJ, {changeJson(adic, ChangeStatus::Deleted, seen, {})});
    EXPECT_EQ(errorCode(r), code::Conflict);
    EXPECT_EQ(snapshot(db_->url), afterOther);
}

// The screen removes a parent's accounting information, then the parent:
// when the parent's delete is refused, the information is still there.
TEST_P(ServerTest, ARefusedParentDeleteKeepsItsAccountingInformation)
{
    start();
    const RowValues item = read(m::getRecDesp, {"01"}, rd).rows.at(0);
    const double parent = item[rd[f::NRSEQRECDESPIRPJ]].toDouble();
    const std::vector<RowValues> children = read(m::getInfCtbIRPJ, {parent}, infL).rows;
    ASSERT_FALSE(children.empty());

    const RowValues stale = rd.with(item, f::NMRECDESPIRPJ, "Nome que o item já não tem");
    EXPECT_EQ(ok(m::setDeleteInfCtb, {parent}).toObject().value("applied").toInteger(), qint64(children.size()));
    EXPECT_EQ(errorCode(client_->call(m::setRecDesp, {changeJson(rd, ChangeStatus::Deleted, stale, {})})), code::Conflict);
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
            const RowValues row{seqs[std::size_t(i)], "03", name, letterText(recDesp::Despesa), letterText(simNao::Sim), 2.0, 8.0, 12.0, letterText(simNao::Sim)};
            const QJsonObject r = cli.call(m::setRecDesp, {insertJson(rd, row)});
            if (r.contains("result"))
                ++accepted;
            else if (errorCode(r) == code::Duplicate)
                ++duplicates;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(duplicates, kClients - 1);
    EXPECT_EQ(read(m::getRecDesp, {"03"}, rd).rows.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
