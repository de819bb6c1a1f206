// SPDX-License-Identifier: MIT
// copiaParamIRPJ and previaCopiaParamIRPJ in process on both engines: an
// empty target gets the same rows under new numbers with their accounting
// information, a second copy skips everything, a partly filled target gets
// only the missing rows, the preview counts what the copy then does, every
// refusal writes nothing, and every copied row is in the history.
#include "rpcclient.h"
#include "support/companyrows.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <algorithm>
#include <map>
#include <set>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

const Layout adicL(contract::paramApuLayout()), infL(contract::infCtbLayout()), rdL(contract::recDespLayout()),
    previewL(contract::previaCopiaLayout());

// Company 01 of the demo data: per kind of the preview (additions,
// exclusions, compensations of IRPJ, the same of CSLL, net-profit items,
// accounting information).
constexpr std::array<long long, 8> kDemo01{3, 1, 1, 2, 1, 1, 5, 16};
constexpr long long kDemo01Rows = 30;
// The ECF codes of its additions rows, which go with them and are recorded with them.
constexpr long long kDemo01Codes = 9;

class CopyTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        createDatabase("c");
    }

    QJsonValue result(const char* method, const QJsonArray& params) { return ok(method, params).value("result"); }
    DataPacket read(const char* method, const QJsonArray& params, const FieldDefs& layout)
    {
        return packet::decodeData(result(method, params).toObject(), &layout);
    }

    std::multiset<QString> content(const QString& company) { return companyContent(*db_, company); }

    std::set<long long> numbers(const char* sql, const QString& company)
    {
        std::set<long long> out;
        for (const server::SqlRow& r : db_->query(sql, {company, company}))
            out.insert(r.at(0).toLongLong());
        return out;
    }
    std::set<long long> parentNumbers(const QString& company)
    {
        return numbers("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = ? UNION ALL SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE CDEMPRESA = ?",
                       company);
    }
    std::set<long long> infNumbers(const QString& company)
    {
        return numbers("SELECT NRSEQINFCTBIRPJ FROM INFCTBIRPJ WHERE NRSEQPARAMAPU IN (SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = ? "
                       "UNION ALL SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE CDEMPRESA = ?)",
                       company);
    }

    // The preview's lines: kind -> (to copy, to skip), in the packet's order.
    std::vector<std::tuple<QString, long long, long long>> preview(const QString& from, const QString& to)
    {
        std::vector<std::tuple<QString, long long, long long>> lines;
        for (const RowValues& r : read(m::previaCopiaParamIRPJ, {from, to}, previewL).rows)
            lines.emplace_back(r[previewL[f::DSTIPO]].toString(), r[previewL[f::QTCOPIAR]].toLongLong(), r[previewL[f::QTIGNORAR]].toLongLong());
        return lines;
    }

    qlonglong count(const std::string& sql) { return db_->query(sql).at(0).at(0).toLongLong(); }

};

const std::array<const char*, 8> kKinds{"Adições IRPJ", "Exclusões IRPJ", "Compensações IRPJ", "Adições CSLL", "Exclusões CSLL", "Compensações CSLL",
                                        "Itens do lucro líquido", "Informações contábeis"};

void expectPreview(const std::vector<std::tuple<QString, long long, long long>>& got, const std::array<long long, 8>& copied,
                   const std::array<long long, 8>& skipped)
{
    ASSERT_EQ(got.size(), kKinds.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(kKinds[k]);
        EXPECT_EQ(std::get<0>(got[k]), QString::fromUtf8(kKinds[k]));
        EXPECT_EQ(std::get<1>(got[k]), copied[k]);
        EXPECT_EQ(std::get<2>(got[k]), skipped[k]);
    }
}

QJsonObject counts(long long applied, long long skipped)
{
    return {{"status", "ok"}, {"applied", applied}, {"skipped", skipped}};
}

// An empty company gets every row of the source, with its accounting
// information, under numbers of its own from the series; each copied row is
// in the history. A second copy finds every key taken and writes nothing.
TEST_P(CopyTest, EmptyTargetGetsEveryRowUnderNewNumbersAndASecondCopySkipsEverything)
{
    const std::multiset<QString> source = content("01");
    ASSERT_EQ(source.size(), 14u);
    const std::vector<std::string> before = snapshot(testDb_->url);
    const qlonglong historyBefore = count("SELECT COUNT(*) FROM HISTORICOIRPJ");
    expectPreview(preview("01", "03"), kDemo01, {});
    EXPECT_EQ(snapshot(testDb_->url), before) << "the preview writes nothing";

    EXPECT_EQ(result(m::copiaParamIRPJ, {"01", "03"}).toObject(), counts(kDemo01Rows, 0));
    EXPECT_EQ(content("03"), source);
    EXPECT_EQ(content("01"), source) << "the source is untouched";

    const std::set<long long> sourceParents = parentNumbers("01"), copiedParents = parentNumbers("03");
    const std::set<long long> sourceInf = infNumbers("01"), copiedInf = infNumbers("03");
    EXPECT_EQ(copiedParents.size(), 14u);
    EXPECT_EQ(copiedInf.size(), 16u);
    for (const auto& [copied, from, series] : {std::tuple{&copiedParents, &sourceParents, server::Series::Param},
                                               std::tuple{&copiedInf, &sourceInf, server::Series::InfCtb}}) {
        std::vector<long long> shared;
        std::set_intersection(copied->begin(), copied->end(), from->begin(), from->end(), std::back_inserter(shared));
        EXPECT_TRUE(shared.empty()) << "new numbers";
        EXPECT_LE(*copied->rbegin(), server::lastIssued(*db_, series)) << "numbers issued by the series";
    }
    std::set<long long> registered;
    for (const server::SqlRow& r : db_->query("SELECT NRSEQPARAMAPU FROM APURPAI"))
        registered.insert(r.at(0).toLongLong());
    EXPECT_TRUE(std::includes(registered.begin(), registered.end(), copiedParents.begin(), copiedParents.end())) << "parents registered";

    // One history row per copied row, each an insertion in company 03 by the caller.
    const server::SqlRows history =
        db_->query("SELECT NMUSUARIO, NMMETODO, IDOPERACAO, CDEMPRESA, NMTABELA, NRSEQREGISTRO FROM HISTORICOIRPJ ORDER BY NRSEQHISTORICO");
    ASSERT_EQ(qlonglong(history.size()), historyBefore + kDemo01Rows + kDemo01Codes);
    std::set<long long> recordedParents, recordedInf;
    for (std::size_t i = std::size_t(historyBefore); i < history.size(); ++i) {
        const server::SqlRow& h = history[i];
        EXPECT_EQ(h[0].toString(), "maria");
        EXPECT_EQ(h[1].toString(), m::copiaParamIRPJ);
        EXPECT_EQ(h[2].toString(), "I");
        EXPECT_EQ(h[3].toString(), "03");
        (h[4].toString() == contract::t::INFCTBIRPJ ? recordedInf : recordedParents).insert(h[5].toLongLong());
    }
    EXPECT_EQ(recordedParents, copiedParents);
    EXPECT_EQ(recordedInf, copiedInf);

    const std::vector<std::string> copied = snapshot(testDb_->url);
    expectPreview(preview("01", "03"), {}, kDemo01);
    EXPECT_EQ(result(m::copiaParamIRPJ, {"01", "03"}).toObject(), counts(0, kDemo01Rows));
    EXPECT_EQ(snapshot(testDb_->url), copied);
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ"), historyBefore + kDemo01Rows + kDemo01Codes);

    // Copying back the other way: every key of 01 is already there.
    EXPECT_EQ(result(m::copiaParamIRPJ, {"03", "01"}).toObject(), counts(0, kDemo01Rows));
}

// A target that already holds some of the keys (names compared ignoring
// letter case, as the unique indexes do) keeps its own rows and their
// accounting information, and gets only the rows it lacks.
TEST_P(CopyTest, PartlyFilledTargetGetsOnlyTheMissingRows)
{
    const double own = double(server::nextSequence(*db_, server::Series::Param));
    const RowValues brindes{own, "04", "BRINDES", "A", "I", 50.0};
    ASSERT_TRUE(call(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Inserted, {}, brindes)}).contains("result"));
    // The key of an item: name, revenue or expense, operational, rate entry (not the debit flag).
    const double item = double(server::nextSequence(*db_, server::Series::Param));
    const RowValues receitas{item, "04", "receitas financeiras", "R", "N", 6.0, 32.0, 32.0, "N"};
    ASSERT_TRUE(call(m::setRecDesp, {changeJson(rdL, ChangeStatus::Inserted, {}, receitas)}).contains("result"));
    // Same name as a row of 01 but another type: not the same key.
    const double other = double(server::nextSequence(*db_, server::Series::Param));
    ASSERT_TRUE(call(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Inserted, {}, RowValues{other, "04", "Brindes", "E", "I", 100.0})})
                    .contains("result"));

    // Brindes (IRPJ) and Receitas financeiras are skipped, each with its one account.
    expectPreview(preview("01", "04"), {2, 1, 1, 2, 1, 1, 4, 14}, {1, 0, 0, 0, 0, 0, 1, 2});
    EXPECT_EQ(result(m::copiaParamIRPJ, {"01", "04"}).toObject(), counts(26, 4));

    const DataPacket irpj = read(m::GetParamIRPJ, {"04"}, adicL);
    EXPECT_EQ(irpj.rows.size(), 6u);
    const auto found = std::find_if(irpj.rows.begin(), irpj.rows.end(), [&](const RowValues& r) { return r[0].toDouble() == own; });
    ASSERT_NE(found, irpj.rows.end());
    EXPECT_EQ(*found, brindes) << "the target's own row is kept as it was";
    EXPECT_TRUE(read(m::getInfCtbIRPJ, {own}, infL).rows.empty()) << "and gets no accounting information from the source";
    EXPECT_EQ(read(m::getRecDesp, {"04"}, rdL).rows.size(), 5u);
    expectPreview(preview("01", "04"), {}, {3, 1, 1, 2, 1, 1, 5, 16});
}

// Each refusal, of the copy and of its preview alike, writes nothing: the
// same company, an unknown company, a company the user may not see, bad parameters.
TEST_P(CopyTest, RefusalsWriteNothing)
{
    struct Case {
        QJsonArray params;
        QStringList companies; // the user's; empty: every company
        int code;
    };
    const std::vector<Case> cases{
        {{"01", "01"}, {}, code::Validation},
        {{"99", "03"}, {}, code::MissingReference},
        {{"01", "99"}, {}, code::MissingReference},
        {{"01", "02"}, {"01"}, code::NoAccess},
        {{"02", "01"}, {"01"}, code::NoAccess},
        {{"01", "99"}, {"01"}, code::NoAccess},
        {{"01"}, {}, code::InvalidParams},
        {{"01", "02", "03"}, {}, code::InvalidParams},
        {{1, 2}, {}, code::InvalidParams},
        {{"01", QStringLiteral("0") + QChar(0)}, {}, code::InvalidParams},
    };
    const std::vector<std::string> before = snapshot(testDb_->url);
    const qlonglong history = count("SELECT COUNT(*) FROM HISTORICOIRPJ");
    for (const char* method : {m::copiaParamIRPJ, m::previaCopiaParamIRPJ}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(method) + " " + QJsonDocument(c.params).toJson(QJsonDocument::Compact).toStdString());
            const QJsonObject r = call(method, c.params, c.companies);
            EXPECT_EQ(errorCode(r), c.code) << QJsonDocument(r).toJson().toStdString();
            EXPECT_FALSE(errorMessage(r).isEmpty());
        }
    }
    EXPECT_EQ(snapshot(testDb_->url), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ"), history);
    // A user who sees both companies may copy.
    EXPECT_TRUE(call(m::copiaParamIRPJ, {"01", "02"}, {"01", "02"}).contains("result"));
}

// Sent again under its Idempotency-Key, a copy gets its first answer and
// copies nothing more, even though the target has since changed.
TEST_P(CopyTest, ARepeatUnderTheSameKeyGetsTheFirstAnswer)
{
    const QJsonObject first = call(m::copiaParamIRPJ, {"01", "03"}, {}, "copia-1");
    EXPECT_EQ(first.value("result").toObject(), counts(kDemo01Rows, 0));
    const double seq = double(server::nextSequence(*db_, server::Series::Param));
    ASSERT_TRUE(call(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Inserted, {}, RowValues{seq, "01", "Nova", "A", "I", 10.0})}).contains("result"));
    // The tables; not the series, which on PostgreSQL keep the numbers the
    // repeat drew before its key refused it (only a gap).
    const auto tables = [&] {
        std::vector<std::string> s = snapshot(testDb_->url);
        s.resize(s.size() - 2);
        return s;
    };
    const std::vector<std::string> before = tables();
    EXPECT_EQ(call(m::copiaParamIRPJ, {"01", "03"}, {}, "copia-1"), first);
    EXPECT_EQ(tables(), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ WHERE CDCHAVE = 'copia-1'"), kDemo01Rows + kDemo01Codes);
}

INSTANTIATE_TEST_SUITE_P(Engines, CopyTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
