// SPDX-License-Identifier: MIT
// The ECF code of each additions row, in process on both engines:
// getTabelaECF gives a sheet as stored, getCodECF the mapped rows with their
// code's description and validity, setCodECF maps, remaps and unmaps with
// every check of the service and nothing written when refused, and a row's
// delete takes its code along, all recorded in the history.
#include "ecf/ecfdata.h"
#include "rpcclient.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "contract/paramirpj.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>

#include <functional>
#include <map>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

const Layout adicL(contract::paramApuLayout()), codL(contract::codEcfLayout()), tabL(contract::tabelaEcfLayout()),
    histL(contract::historicoLayout());
// setCodECF's two fields alone, as another program may send them.
const FieldDefs mapL{contract::fieldDef(f::NRSEQPARAMAPU), contract::fieldDef(f::CDECF)};

// Codes of layout 12 (M300A unless said): an addition, an exclusion, a loss
// compensation, a label, a computed line, a code of M300A only.
const QString kFines = QStringLiteral("8.60"), kExclusion = QStringLiteral("95"), kLoss = QStringLiteral("173"), kLabel = QStringLiteral("5"),
              kComputed = QStringLiteral("9"), kIrpjOnly = QStringLiteral("8.85");

class EcfCodesTest : public DatabaseTest {
public:
    void SetUp() override
    {
        createDatabase("ecfc");
    }

    DataPacket packetOf(const char* method, const QJsonArray& params, const FieldDefs& layout)
    {
        return packet::decodeData(ok(method, params).value("result").toObject(), &layout);
    }

    // A saved additions row of `company`.
    RowValues addRow(const QString& company, const QString& name, char type = letter::tipo::Adicao, char tax = letter::imposto::IRPJ)
    {
        const RowValues row{double(server::nextSequence(*db_, server::Series::Param)), company, name, letterText(type), letterText(tax), 100.0};
        EXPECT_TRUE(call(m::SetParamIRPJ, {insertJson(adicL, row)}).contains("result"));
        return row;
    }

    QJsonObject setCode(ChangeStatus status, const RowValues& o, const RowValues& n, const QStringList& companies = {}, const std::string& key = {})
    {
        return call(m::setCodECF, {changeJson(mapL, status, o, n)}, companies, key);
    }

    std::vector<std::string> state()
    {
        std::vector<std::string> s = snapshot(testDb_->url);
        s.push_back("history " + db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ").at(0).at(0).toString().toStdString());
        return s;
    }
};

// The sheet of each tax as stored, line by line in its order, dates exactly:
// a line that begins on 2026-01-01 says so, and an open end is empty, so
// the screen's filter by year has what it needs.
TEST_P(EcfCodesTest, GetTabelaECFGivesTheTaxsSheetAsStored)
{
    const ecf::Sheets file = ecf::expectedSheets();
    for (const auto& [tax, sheet] : {std::pair{"I", "M300A"}, std::pair{"C", "M350A"}}) {
        SCOPED_TRACE(sheet);
        const DataPacket p = packetOf(m::getTabelaECF, {tax}, tabL);
        std::vector<ecf::Line> got;
        for (const RowValues& r : p.rows)
            got.push_back({r[tabL[f::CDECF]], r[tabL[f::DSECF]], r[tabL[f::TPECF]], r[tabL[f::TPLANCECF]], QVariant(), r[tabL[f::DTINIECF]],
                           r[tabL[f::DTFIMECF]]});
        const std::vector<ecf::Line>& expected = file.at(sheet);
        EXPECT_TRUE(got == expected) << ecf::firstDifference(got, expected);
    }
    const DataPacket irpj = packetOf(m::getTabelaECF, {"I"}, tabL);
    bool from2026 = false;
    for (const RowValues& r : irpj.rows)
        if (r[tabL[f::CDECF]] == QStringLiteral("8.1101")) {
            from2026 = true;
            EXPECT_EQ(r[tabL[f::DTINIECF]], QStringLiteral("2026-01-01"));
            EXPECT_FALSE(r[tabL[f::DTFIMECF]].isValid());
        }
    EXPECT_TRUE(from2026);

    EXPECT_EQ(errorCode(call(m::getTabelaECF, {"X"})), code::Validation);
    EXPECT_EQ(errorCode(call(m::getTabelaECF, {"i"})), code::Validation);
    for (const QJsonArray& params : {QJsonArray{}, QJsonArray{"I", "C"}, QJsonArray{1}})
        EXPECT_EQ(errorCode(call(m::getTabelaECF, params)), code::InvalidParams) << QJsonDocument(params).toJson().toStdString();
    // Reference data: open to a user limited to other companies.
    EXPECT_TRUE(call(m::getTabelaECF, {"C"}, {"03"}).contains("result"));
}

// Map, remap and unmap, each recorded in the history and listed by
// getHistorico under the row; getCodECF shows the code with its description
// and dates, and only the company's rows of that tax.
TEST_P(EcfCodesTest, SetCodECFMapsRemapsAndUnmapsARow)
{
    const RowValues fine = addRow("02", QStringLiteral("Multas fiscais indedutíveis"));
    const RowValues loss = addRow("02", QStringLiteral("Compensação de prejuízos"), letter::tipo::Compensacao);
    const RowValues csll = addRow("02", QStringLiteral("Subcapitalização"), letter::tipo::Adicao, letter::imposto::CSLL);
    const RowValues other = addRow("03", QStringLiteral("Multas"));
    const double nFine = fine[0].toDouble(), nLoss = loss[0].toDouble(), nCsll = csll[0].toDouble();

    const qlonglong historyBefore = db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ").at(0).at(0).toLongLong();
    EXPECT_TRUE(setCode(ChangeStatus::Inserted, {}, {nFine, kFines}).contains("result"));
    EXPECT_TRUE(setCode(ChangeStatus::Inserted, {}, {nLoss, kLoss}).contains("result"));
    EXPECT_TRUE(setCode(ChangeStatus::Inserted, {}, {nCsll, "13"}).contains("result"));
    EXPECT_TRUE(setCode(ChangeStatus::Inserted, {}, {other[0].toDouble(), kFines}).contains("result"));

    const DataPacket irpj = packetOf(m::getCodECF, {"02", "I"}, codL);
    ASSERT_EQ(irpj.rows.size(), 2u);
    EXPECT_EQ(irpj.rows[0], (RowValues{nFine, kFines, QStringLiteral("Multas por infrações fiscais"), QStringLiteral("2017-01-01"), QVariant()}));
    EXPECT_EQ(irpj.rows[1][codL[f::CDECF]], kLoss);
    // A code on two lines of its sheet: both descriptions, in the sheet's order.
    const DataPacket csllCodes = packetOf(m::getCodECF, {"02", "C"}, codL);
    ASSERT_EQ(csllCodes.rows.size(), 1u);
    const server::SqlRows thirteen = db_->query("SELECT DSECF FROM TABELAECF WHERE NMTABELAECF = 'M350A' AND CDECF = '13' ORDER BY NRLINHAECF");
    EXPECT_EQ(csllCodes.rows[0],
              (RowValues{nCsll, "13", thirteen.at(0).at(0).toString() + " / " + thirteen.at(1).at(0).toString(), "2015-01-01", QVariant()}));

    // Remapped, then unmapped; a mapping that is what the client saw applies.
    EXPECT_TRUE(setCode(ChangeStatus::Modified, {nFine, kFines}, {nFine, "8.65"}).contains("result"));
    EXPECT_EQ(packetOf(m::getCodECF, {"02", "I"}, codL).rows.at(0).at(codL[f::CDECF]), QStringLiteral("8.65"));
    EXPECT_TRUE(setCode(ChangeStatus::Deleted, {nLoss, kLoss}, {}).contains("result"));
    EXPECT_EQ(packetOf(m::getCodECF, {"02", "I"}, codL).rows.size(), 1u);

    // The history: a line per change, in the mapping's table, under the row.
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ WHERE NMTABELA = 'PARAMAPUECF'").at(0).at(0).toLongLong(), 6);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ").at(0).at(0).toLongLong(), historyBefore + 6);
    const DataPacket lines = packetOf(m::getHistorico, {"02", nFine}, histL);
    ASSERT_GE(lines.rows.size(), 2u);
    EXPECT_EQ(lines.rows[0], (RowValues{lines.rows[0][0], "maria", "A", "PARAMAPUECF", nFine, "CDECF", kFines, "8.65"}));
    EXPECT_EQ(lines.rows[1], (RowValues{lines.rows[1][0], "maria", "I", "PARAMAPUECF", nFine, "CDECF", QVariant(), kFines}));

    // The whole packet of getCodECF may come back as the change packet.
    const RowValues shown = packetOf(m::getCodECF, {"02", "I"}, codL).rows.at(0);
    EXPECT_TRUE(call(m::setCodECF, {changeJson(codL, ChangeStatus::Modified, shown, codL.with(shown, f::CDECF, kFines))}).contains("result"));

    EXPECT_EQ(errorCode(call(m::getCodECF, {"02", "X"})), code::Validation);
    EXPECT_EQ(errorCode(call(m::getCodECF, {"02", "I"}, {"03"})), code::NoAccess);
    for (const QJsonArray& params : {QJsonArray{"02"}, QJsonArray{2, "I"}, QJsonArray{"02", "I", 1}})
        EXPECT_EQ(errorCode(call(m::getCodECF, params)), code::InvalidParams) << QJsonDocument(params).toJson().toStdString();
}

// Every refusal writes nothing: not the mapping, not the history.
TEST_P(EcfCodesTest, EveryRefusalOfSetCodECFWritesNothing)
{
    const RowValues addition = addRow("02", QStringLiteral("Multas"));
    const RowValues exclusion = addRow("02", QStringLiteral("Reversão de provisões"), letter::tipo::Exclusao);
    const RowValues loss = addRow("02", QStringLiteral("Prejuízos"), letter::tipo::Compensacao);
    const RowValues csll = addRow("02", QStringLiteral("Multas CSLL"), letter::tipo::Adicao, letter::imposto::CSLL);
    const RowValues others = addRow("03", QStringLiteral("Multas da 03"));
    const double a = addition[0].toDouble();
    ASSERT_TRUE(setCode(ChangeStatus::Inserted, {}, {exclusion[0].toDouble(), kExclusion}).contains("result"));
    const std::vector<std::string> before = state();

    struct Case {
        const char* what;
        std::function<QJsonObject()> send;
        int code;
    };
    using CS = ChangeStatus;
    const std::vector<Case> cases{
        {"a code not in the sheet", [&] { return setCode(CS::Inserted, {}, {a, "999.99"}); }, code::MissingReference},
        {"a code of the other tax's sheet only", [&] { return setCode(CS::Inserted, {}, {csll[0].toDouble(), kIrpjOnly}); }, code::MissingReference},
        {"a label (tipo R)", [&] { return setCode(CS::Inserted, {}, {a, kLabel}); }, code::Validation},
        {"a computed line (tipo CA)", [&] { return setCode(CS::Inserted, {}, {a, kComputed}); }, code::Validation},
        {"an exclusion's code on an addition", [&] { return setCode(CS::Inserted, {}, {a, kExclusion}); }, code::Validation},
        {"an addition's code on a compensation", [&] { return setCode(CS::Inserted, {}, {loss[0].toDouble(), kFines}); }, code::Validation},
        {"a compensation's code on an exclusion",
         [&] { return setCode(CS::Modified, {exclusion[0].toDouble(), kExclusion}, {exclusion[0].toDouble(), kLoss}); }, code::Validation},
        {"no code", [&] { return setCode(CS::Inserted, {}, {a, QVariant()}); }, code::Validation},
        {"a blank code", [&] { return setCode(CS::Inserted, {}, {a, "  "}); }, code::Validation},
        {"another company's row", [&] { return setCode(CS::Inserted, {}, {others[0].toDouble(), kFines}, {"02"}); }, code::NoAccess},
        {"another company's row, after an own one",
         [&] {
             ChangePacket p{mapL, {Change{CS::Inserted, {}, {a, kFines}}, Change{CS::Inserted, {}, {others[0].toDouble(), kFines}}}};
             return call(m::setCodECF, {packet::toJson(p)}, {"02"});
         },
         code::NoAccess},
        {"a row that does not exist", [&] { return setCode(CS::Inserted, {}, {987654.0, kFines}); }, code::MissingReference},
        {"a row already mapped", [&] { return setCode(CS::Inserted, {}, {exclusion[0].toDouble(), "96"}); }, code::Conflict},
        {"a stale old code",
         [&] { return setCode(CS::Modified, {exclusion[0].toDouble(), "96"}, {exclusion[0].toDouble(), "96"}); }, code::Conflict},
        {"an unmapped row's old code", [&] { return setCode(CS::Modified, {a, kFines}, {a, "8.65"}); }, code::Conflict},
        {"a stale delete", [&] { return setCode(CS::Deleted, {exclusion[0].toDouble(), "96"}, {}); }, code::Conflict},
        {"a code moved to another row",
         [&] { return setCode(CS::Modified, {exclusion[0].toDouble(), kExclusion}, {a, kFines}); }, code::Validation},
        {"a packet without the code", [&] { return call(m::setCodECF, {insertJson(FieldDefs{contract::fieldDef(f::NRSEQPARAMAPU)}, {a})}); },
         code::InvalidParams},
        {"a field setCodECF does not know",
         [&] { return call(m::setCodECF, {insertJson(FieldDefs{contract::fieldDef(f::NRSEQPARAMAPU), contract::fieldDef(f::CDECF),
                                                               contract::fieldDef(f::NMPARAMAPU)},
                                                     {a, kFines, "x"})}); },
         code::InvalidParams},
        {"a good change after a bad one",
         [&] {
             ChangePacket p{mapL, {Change{CS::Inserted, {}, {a, kFines}}, Change{CS::Inserted, {}, {loss[0].toDouble(), kFines}}}};
             return call(m::setCodECF, {packet::toJson(p)});
         },
         code::Validation},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QJsonObject answer = c.send();
        EXPECT_EQ(errorCode(answer), c.code) << QJsonDocument(answer).toJson().toStdString();
        EXPECT_FALSE(answer.value("error").toObject().value("message").toString().isEmpty());
        EXPECT_EQ(state(), before);
    }
}

// A row's delete takes its code in the same transaction, recorded before the
// row; a refused delete keeps both.
TEST_P(EcfCodesTest, DeletingARowRemovesItsCode)
{
    const RowValues row = addRow("02", QStringLiteral("Multas"));
    const double n = row[0].toDouble();
    ASSERT_TRUE(setCode(ChangeStatus::Inserted, {}, {n, kFines}).contains("result"));

    const RowValues stale = adicL.with(row, f::VRPORCENTAGEM, 50.0);
    EXPECT_EQ(errorCode(call(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Deleted, stale, {})})), code::Conflict);
    EXPECT_EQ(packetOf(m::getCodECF, {"02", "I"}, codL).rows.size(), 1u) << "a refused delete keeps the code";

    ok(m::setDeleteInfCtb, {n});
    ok(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Deleted, row, {})});
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM PARAMAPUECF WHERE NRSEQPARAMAPU = ?", {qlonglong(n)}).at(0).at(0).toInt(), 0);
    const server::SqlRows h =
        db_->query("SELECT NMTABELA, IDOPERACAO, NMMETODO FROM HISTORICOIRPJ WHERE NRSEQPARAMAPU = ? AND IDOPERACAO = 'E' ORDER BY NRSEQHISTORICO",
                   {qlonglong(n)});
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0][0].toString(), "PARAMAPUECF");
    EXPECT_EQ(h[0][2].toString(), "SetParamIRPJ");
    EXPECT_EQ(h[1][0].toString(), "PARAMAPUIRPJ");
}

// A keyed setCodECF sent twice is applied once and answered alike.
TEST_P(EcfCodesTest, ARepeatedKeyedSetCodECFAppliesOnce)
{
    const RowValues row = addRow("02", QStringLiteral("Multas"));
    const std::string body = rpcRequest(m::setCodECF, {changeJson(mapL, ChangeStatus::Inserted, {}, {row[0].toDouble(), kFines})});
    const server::RpcAnswer first = server::handleRpc(contract::kServerObject, body, *db_, {"codigo-ecf-1"});
    const server::RpcAnswer again = server::handleRpc(contract::kServerObject, body, *db_, {"codigo-ecf-1"});
    EXPECT_EQ(first.body, again.body);
    EXPECT_TRUE(QJsonDocument::fromJson(first.body).object().contains("result")) << first.body.toStdString();
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ WHERE NMTABELA = 'PARAMAPUECF'").at(0).at(0).toInt(), 1);
    EXPECT_EQ(db_->query("SELECT CDCHAVE FROM HISTORICOIRPJ WHERE NMTABELA = 'PARAMAPUECF'").at(0).at(0).toString(), "codigo-ecf-1");
}

// The codes of a company by tax and row name, as getCodECF and the
// additions packets give them.
std::map<std::pair<QString, QString>, QVariant> codesByName(EcfCodesTest& t, const QString& company);

// A copy between companies and an exported file carry each row's code with
// the row; a skipped row gets none; a file's code is checked as setCodECF
// checks it, and a file of before the codes imports without them.
TEST_P(EcfCodesTest, CopiesAndFilesCarryTheCodes)
{
    const std::map<std::pair<QString, QString>, QVariant> demo = codesByName(*this, "01");
    ASSERT_EQ(demo.size(), 9u);
    for (const auto& [row, code] : demo)
        ASSERT_TRUE(code.isValid()) << "every row of the demo company has its code";

    // Company 04 already has IRPJ "Brindes", without a code: the copy skips it.
    addRow("04", QStringLiteral("Brindes"));
    ok(m::copiaParamIRPJ, {"01", "04"});
    std::map<std::pair<QString, QString>, QVariant> expected = demo;
    expected[{QStringLiteral("I"), QStringLiteral("Brindes")}] = QVariant();
    EXPECT_EQ(codesByName(*this, "04"), expected);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ WHERE NMTABELA = 'PARAMAPUECF' AND NMMETODO = 'copiaParamIRPJ' AND CDEMPRESA = '04'")
                  .at(0)
                  .at(0)
                  .toInt(),
              8);

    TempDir dir;
    const std::string file = dir.path() + "/01.json";
    const RunResult exported = runProgram({ERP_SERVER_BINARY, "--export", "01", file, "--db", testDb_->url}, 60);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject document = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    EXPECT_EQ(document.value("getCodECF").toObject().value("rows").toArray().size(), 9);
    const RunResult imported = runProgram({ERP_SERVER_BINARY, "--import", "02", file, "--db", testDb_->url}, 60);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(codesByName(*this, "02"), demo);

    const auto write = [&](const QJsonObject& d) {
        QFile out(QString::fromStdString(file));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QJsonDocument(d).toJson());
    };
    // A code that does not fit its row: refused, nothing written.
    QJsonObject bad = document;
    QJsonObject codes = bad.value("getCodECF").toObject();
    QJsonArray rows = codes.value("rows").toArray();
    QJsonArray first = rows[0].toArray();
    first[1] = "5";
    rows[0] = first;
    codes["rows"] = rows;
    bad["getCodECF"] = codes;
    write(bad);
    const std::vector<std::string> before = state();
    const RunResult refused = runProgram({ERP_SERVER_BINARY, "--import", "03", file, "--db", testDb_->url}, 60);
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.err.find("do IRPJ: O código 5 da tabela M300A não é de lançamento"), std::string::npos) << refused.err;
    EXPECT_EQ(state(), before);

    // A file of before the codes.
    QJsonObject old = document;
    old.remove("getCodECF");
    write(old);
    const RunResult oldImport = runProgram({ERP_SERVER_BINARY, "--import", "03", file, "--db", testDb_->url}, 60);
    ASSERT_EQ(oldImport.exitCode, 0) << oldImport.err;
    const std::map<std::pair<QString, QString>, QVariant> none = codesByName(*this, "03");
    EXPECT_EQ(none.size(), 9u);
    for (const auto& [row, code] : none)
        EXPECT_FALSE(code.isValid());
}

std::map<std::pair<QString, QString>, QVariant> codesByName(EcfCodesTest& t, const QString& company)
{
    std::map<std::pair<QString, QString>, QVariant> out;
    for (const auto& [tax, method] : {std::pair{"I", m::GetParamIRPJ}, std::pair{"C", m::GetParamCSLL}}) {
        std::map<double, QVariant> codes;
        for (const RowValues& r : t.packetOf(m::getCodECF, {company, tax}, codL).rows)
            codes[r[codL[f::NRSEQPARAMAPU]].toDouble()] = r[codL[f::CDECF]];
        for (const RowValues& r : t.packetOf(method, {company}, adicL).rows) {
            const auto c = codes.find(r[adicL[f::NRSEQPARAMAPU]].toDouble());
            out[{QString::fromLatin1(tax), r[adicL[f::NMPARAMAPU]].toString()}] = c == codes.end() ? QVariant() : c->second;
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Engines, EcfCodesTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
