// SPDX-License-Identifier: MIT
// verificaParamIRPJ in process on both engines: each check with a row that
// trips it and one that does not, the order of the findings, the demo
// company passing every check, and the refusals.
#include "rpcclient.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "lawchecks.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <functional>
#include <set>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;
namespace gravidade = erp::contract::letter::gravidade;

namespace {

const Layout adicL(contract::paramApuLayout()), infL(contract::infCtbLayout()), rdL(contract::recDespLayout()),
    findingL(contract::verificacaoLayout());

struct Finding {
    QString check, severity, tax, table;
    double row;
    QString message, reference;
};

// Its helpers are public: the cases of the table build their rows with them.
class LawChecksTest : public DatabaseTest {
public:
    void SetUp() override
    {
        createDatabase("l");
        if (IsSkipped())
            return;
        // Rate entries of the cases: one outside the law (IRPJ 9 %), one
        // raised by a tenth (8.8 % and 13.2 %), one whose rates change later.
        db_->exec("INSERT INTO ALIQIRPJ (NRSEQALIQIRPJ, DSALIQIRPJCSLL, VRALIQPRESCSLL, VRALIQPRESIRPJ) VALUES "
                  "(90, 'Fora da lei', 12, 9), (91, 'Acima de R$ 5 milhões', 13.2, 8.8), (92, 'Alterada depois', 12, 8)");
    }

    using DatabaseTest::ok;

    // A parameter row of company 03 with the accounts (or "TTIIII" items) given; returns its number.
    double addition(const QString& name, char kind, double percent = 100, char tax = letter::imposto::IRPJ, const QStringList& sources = {"423010002"})
    {
        const double n = double(server::nextSequence(*db_, server::Series::Param));
        ok(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Inserted, {}, {n, "03", name, letterText(kind), letterText(tax), percent})});
        for (const QString& s : sources)
            feed(n, s);
        return n;
    }
    // The row given its ECF code.
    double coded(double row, const QString& code)
    {
        const FieldDefs mapL{contract::fieldDef(f::NRSEQPARAMAPU), contract::fieldDef(f::CDECF)};
        ok(m::setCodECF, {insertJson(mapL, {row, code})});
        return row;
    }
    double item(const QString& name, double rate, double irpj, double csll)
    {
        const double n = double(server::nextSequence(*db_, server::Series::Param));
        ok(m::setRecDesp, {changeJson(rdL, ChangeStatus::Inserted, {}, {n, "03", name, "R", "S", rate, irpj, csll, "S"})});
        feed(n, "311010001");
        return n;
    }
    // An account, or an income-statement item written as its type and item.
    void feed(double parent, const QString& source)
    {
        const double n = double(server::nextSequence(*db_, server::Series::InfCtb));
        const bool account = source.size() != 6;
        ok(m::SetInfCtbIRPJ, {changeJson(infL, ChangeStatus::Inserted, {},
                                         {"C", parent, n, account ? "C" : "I", source, account ? source : source.mid(2), account ? QVariant() : source.left(2)})});
    }

    std::vector<Finding> verify(const QString& company = "03")
    {
        const QJsonObject r = call(m::verificaParamIRPJ, {company});
        EXPECT_TRUE(r.contains("result")) << QJsonDocument(r).toJson().toStdString();
        const DataPacket p = packet::decodeData(r.value("result").toObject(), &static_cast<const FieldDefs&>(findingL));
        std::vector<Finding> out;
        for (const RowValues& row : p.rows)
            out.push_back({row[findingL[f::CDVERIFICACAO]].toString(), row[findingL[f::IDGRAVIDADE]].toString(), row[findingL[f::IDIMPOSTO]].toString(),
                           row[findingL[f::NMTABELA]].toString(), row[findingL[f::NRSEQREGISTRO]].toDouble(), row[findingL[f::DSMENSAGEM]].toString(),
                           row[findingL[f::DSREFERENCIA]].toString()});
        return out;
    }
};

// The rows a case makes: the one that trips the check and the one that does not.
struct Rows {
    double trips, passes;
};

struct Case {
    const char* check;
    char severity;
    const char* tax; // of the finding
    const char* table;
    const char* inMessage; // a text the sentence names the row by
    std::function<Rows(LawChecksTest&, server::Db&)> make;
};

// Each check: a row that trips it is reported once, on that row, with the
// check's severity, tax, reference and a sentence naming it; the row beside
// it that keeps the rule is not.
TEST_P(LawChecksTest, EachCheckReportsTheRowThatTripsItAndNotTheOneThatKeepsTheRule)
{
    const char* P = contract::t::PARAMAPUIRPJ;
    const char* R = contract::t::RECDESPIRPJ;
    const std::vector<Case> cases{
        {"COMPENSACAO_ACIMA_30", gravidade::Aviso, "I", P, "Compensação 50",
         [](LawChecksTest& t, server::Db&) {
             return Rows{t.addition("Compensação 50", letter::tipo::Compensacao, 50), t.addition("Compensação 30", letter::tipo::Compensacao, 30)};
         }},
        {"COMPENSACAO_ACIMA_30", gravidade::Aviso, "C", P, "Base negativa 31",
         [](LawChecksTest& t, server::Db&) {
             return Rows{t.addition("Base negativa 31", letter::tipo::Compensacao, 31, letter::imposto::CSLL),
                         t.addition("Adição de 100 %", letter::tipo::Adicao, 100, letter::imposto::CSLL)};
         }},
        {"SEM_INFORMACAO_CONTABIL", gravidade::Aviso, "C", P, "Sem contas",
         [](LawChecksTest& t, server::Db&) {
             return Rows{t.addition("Sem contas", letter::tipo::Adicao, 100, letter::imposto::CSLL, {}),
                         t.addition("Com conta", letter::tipo::Adicao, 100, letter::imposto::CSLL)};
         }},
        {"SEM_INFORMACAO_CONTABIL", gravidade::Aviso, "", R, "Item sem contas",
         [](LawChecksTest& t, server::Db& db) {
             const double bare = double(server::nextSequence(db, server::Series::Param));
             t.ok(m::setRecDesp, {changeJson(rdL, ChangeStatus::Inserted, {}, {bare, "03", "Item sem contas", "R", "S", 2.0, 8.0, 12.0, "S"})});
             return Rows{bare, t.item("Item com conta", 2, 8, 12)};
         }},
        {"CONTA_ADICAO_E_EXCLUSAO", gravidade::Aviso, "I", P, "423010003",
         [](LawChecksTest& t, server::Db&) {
             const double trips = t.addition("Doações", letter::tipo::Adicao, 100, letter::imposto::IRPJ, {"423010003"});
             t.addition("Doações revertidas", letter::tipo::Exclusao, 100, letter::imposto::IRPJ, {"423010003"});
             // The same account in an exclusion of the other tax is no double count.
             const double passes = t.addition("Aluguéis", letter::tipo::Adicao, 100, letter::imposto::IRPJ, {"422010001"});
             t.addition("Aluguéis", letter::tipo::Exclusao, 100, letter::imposto::CSLL, {"422010001"});
             return Rows{trips, passes};
         }},
        {"ALIQUOTA_FORA_DA_LEI", gravidade::Erro, "I", R, "9 %",
         [](LawChecksTest& t, server::Db&) { return Rows{t.item("Fora da lei", 90, 9, 12), t.item("Acima de 5 milhões", 91, 8.8, 13.2)}; }},
        {"ITEM_DRE_INEXISTENTE", gravidade::Erro, "I", P, "0099",
         [](LawChecksTest& t, server::Db& db) {
             db.exec("INSERT INTO ITEMESTRUDRE (CDTIPODEMO, CDITEMSTRU, NMITEMSTRU) VALUES ('01', '0099', 'Removido depois')");
             const Rows rows{t.addition("Item removido", letter::tipo::Adicao, 100, letter::imposto::IRPJ, {"010099"}),
                             t.addition("Item presente", letter::tipo::Adicao, 100, letter::imposto::IRPJ, {"010009"})};
             db.exec("DELETE FROM ITEMESTRUDRE WHERE CDITEMSTRU = '0099'");
             return rows;
         }},
        {"CONTA_INEXISTENTE", gravidade::Erro, "", R, "999999999",
         [](LawChecksTest& t, server::Db& db) {
             db.exec("INSERT INTO CONTCTBL (CDCONTCTBL, NMCONTCTBL) VALUES ('999999999', 'Removida depois')");
             const double trips = t.item("Conta removida", 2, 8, 12);
             t.feed(trips, "999999999");
             db.exec("DELETE FROM CONTCTBL WHERE CDCONTCTBL = '999999999'");
             return Rows{trips, t.item("Conta presente", 2, 8, 12)};
         }},
        {"ALIQUOTA_DIVERGENTE", gravidade::Erro, "", R, "Alíquota alterada",
         [](LawChecksTest& t, server::Db& db) {
             const Rows rows{t.item("Alíquota alterada", 92, 8, 12), t.item("Alíquota mantida", 2, 8, 12)};
             db.exec("UPDATE ALIQIRPJ SET VRALIQPRESIRPJ = 16 WHERE NRSEQALIQIRPJ = 92");
             return rows;
         }},
        {"SEM_CODIGO_ECF", gravidade::Aviso, "C", P, "Sem código",
         [](LawChecksTest& t, server::Db&) {
             return Rows{t.addition("Sem código", letter::tipo::Adicao, 100, letter::imposto::CSLL),
                         t.coded(t.addition("Com código", letter::tipo::Adicao, 100, letter::imposto::CSLL), "8.60")};
         }},
        {"CODIGO_ECF_FORA_DA_VIGENCIA", gravidade::Erro, "I", P, "não vale em",
         [](LawChecksTest& t, server::Db& db) {
             const Rows rows{t.coded(t.addition("Multas encerradas", letter::tipo::Adicao), "8.65"),
                             t.coded(t.addition("Multas vigentes", letter::tipo::Adicao), "8.60")};
             db.exec("UPDATE TABELAECF SET DTFIMECF = '2020-12-31' WHERE NMTABELAECF = 'M300A' AND CDECF = '8.65'");
             return rows;
         }},
        {"CODIGO_ECF_FORA_DA_VIGENCIA", gravidade::Erro, "I", P, "não está na tabela dinâmica M300A",
         [](LawChecksTest& t, server::Db& db) {
             const Rows rows{t.coded(t.addition("Código retirado", letter::tipo::Adicao), "8.65"),
                             t.coded(t.addition("Código mantido", letter::tipo::Adicao), "8.60")};
             db.exec("DELETE FROM TABELAECF WHERE NMTABELAECF = 'M300A' AND CDECF = '8.65'");
             return rows;
         }},
        {"CODIGO_ECF_FORA_DA_VIGENCIA", gravidade::Erro, "C", P, "a partir de 01/01/2999",
         [](LawChecksTest& t, server::Db& db) {
             const Rows rows{t.coded(t.addition("Código futuro", letter::tipo::Adicao, 100, letter::imposto::CSLL), "8.65"),
                             t.coded(t.addition("Código de sempre", letter::tipo::Adicao, 100, letter::imposto::CSLL), "8.60")};
             db.exec("UPDATE TABELAECF SET DTINIECF = '2999-01-01' WHERE NMTABELAECF = 'M350A' AND CDECF = '8.65'");
             return rows;
         }},
        {"CODIGO_ECF_TIPO_DIVERGENTE", gravidade::Erro, "I", P, "é de adição",
         [](LawChecksTest& t, server::Db& db) {
             const double changed = t.coded(t.addition("Virou exclusão", letter::tipo::Adicao), "8.60");
             const Rows rows{changed, t.coded(t.addition("Continua adição", letter::tipo::Adicao), "8.60")};
             db.exec("UPDATE PARAMAPUIRPJ SET IDPARAMAPU = 'E' WHERE NRSEQPARAMAPU = ?", {qlonglong(changed)});
             return rows;
         }},
    };
    std::map<QString, QString> references;
    for (const server::LawCheckInfo& c : server::lawChecks())
        references[QString::fromLatin1(c.id)] = QString::fromUtf8(c.reference);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.check) + " " + c.inMessage);
        db_->exec("DELETE FROM INFCTBIRPJ WHERE NRSEQPARAMAPU IN (SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = '03' UNION ALL "
                  "SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE CDEMPRESA = '03')");
        db_->exec("DELETE FROM PARAMAPUECF WHERE NRSEQPARAMAPU IN (SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = '03')");
        db_->exec("DELETE FROM PARAMAPUIRPJ WHERE CDEMPRESA = '03'");
        db_->exec("DELETE FROM RECDESPIRPJ WHERE CDEMPRESA = '03'");
        const Rows rows = c.make(*this, *db_);
        std::vector<Finding> of;
        for (const Finding& x : verify())
            if (x.check == QLatin1String(c.check))
                of.push_back(x);
        ASSERT_EQ(of.size(), 1u) << (of.empty() ? std::string("no finding") : of[1].message.toStdString());
        const Finding& x = of.front();
        EXPECT_EQ(x.row, rows.trips);
        EXPECT_NE(x.row, rows.passes);
        EXPECT_EQ(x.severity, letterText(c.severity));
        EXPECT_EQ(x.tax, QString::fromLatin1(c.tax));
        EXPECT_EQ(x.table, QString::fromLatin1(c.table));
        EXPECT_TRUE(x.message.contains(QString::fromUtf8(c.inMessage))) << x.message.toStdString();
        EXPECT_EQ(x.reference, references.at(QString::fromLatin1(c.check)));
    }
    EXPECT_FALSE(references.at("COMPENSACAO_ACIMA_30").isEmpty());
    EXPECT_FALSE(references.at("ALIQUOTA_FORA_DA_LEI").isEmpty());
}

// Errors before warnings, then IRPJ, CSLL and rows of neither tax, then
// additions before net-profit items, then by row; the demo company passes
// every check; reading writes nothing; the company must be known and visible.
TEST_P(LawChecksTest, FindingsAreOrderedAndTheDemoCompanyPassesEveryCheck)
{
    EXPECT_TRUE(verify("01").empty());
    const double warnIrpj = addition("Compensação 40", letter::tipo::Compensacao, 40);
    const double warnCsll = addition("Sem contas", letter::tipo::Adicao, 100, letter::imposto::CSLL, {});
    const double errItem = item("Fora da lei", 90, 9, 12);
    const double warnIrpj2 = addition("Compensação 35", letter::tipo::Compensacao, 35);
    const std::vector<std::string> before = snapshot(testDb_->url);
    std::vector<std::pair<QString, double>> order;
    for (const Finding& x : verify())
        if (x.check != QLatin1String("SEM_CODIGO_ECF")) // none of these rows has its code yet
            order.emplace_back(x.severity + x.tax, x.row);
    const std::vector<std::pair<QString, double>> expected{{"EI", errItem}, {"AI", warnIrpj}, {"AI", warnIrpj2}, {"AC", warnCsll}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(snapshot(testDb_->url), before);

    EXPECT_EQ(errorCode(call(m::verificaParamIRPJ, {"99"})), code::MissingReference);
    EXPECT_EQ(errorCode(call(m::verificaParamIRPJ, {"03"}, {"01"})), code::NoAccess);
    EXPECT_EQ(errorCode(call(m::verificaParamIRPJ, {})), code::InvalidParams);
    EXPECT_TRUE(call(m::verificaParamIRPJ, {"03"}, {"03"}).contains("result"));
}

INSTANTIATE_TEST_SUITE_P(Engines, LawChecksTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
