// SPDX-License-Identifier: MIT
// Saves sent with an Idempotency-Key, in process on both engines: applied
// once, repeats answered with the first answer byte for byte, another body
// under the same key refused with 422, old keys purged.
#include "rpcclient.h"
#include "support/engines.h"
#include "support/packets.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <atomic>
#include <latch>
#include <memory>
#include <thread>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

std::string request(const char* method, const QJsonArray& params, int id = 1)
{
    return rpcRequest(method, params, id);
}

class KeyTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (const std::string missing = engineMissing(GetParam()); !missing.empty())
            GTEST_SKIP() << missing;
        testDb_ = std::make_unique<TestDatabase>(GetParam(), "k");
        url_ = testDb_->url;
        db_ = server::openDatabase(url_);
        server::migrate(*db_);
        server::fillDemo(*db_);
    }

    server::RpcAnswer send(const std::string& body, const std::string& key) { return server::handleRpc(contract::kServerObject, body, *db_, {key}); }

    qlonglong count(const std::string& sql, const server::SqlParams& params = {}) { return db_->query(sql, params).at(0).at(0).toLongLong(); }

    // Every table the saves touch, and the stored keys, as text.
    std::string state()
    {
        std::string out;
        for (const char* sql : {"SELECT * FROM APURPAI ORDER BY 1", "SELECT * FROM PARAMAPUIRPJ ORDER BY 1", "SELECT * FROM RECDESPIRPJ ORDER BY 1",
                                "SELECT * FROM INFCTBIRPJ ORDER BY 1", "SELECT * FROM INFCTBIRPJREMOVIDA ORDER BY 1",
                                "SELECT CDCHAVE, DSRESUMO, DSRESPOSTA FROM REQUISICAOAPLICADA ORDER BY 1"})
            for (const server::SqlRow& row : db_->query(sql)) {
                for (const QVariant& v : row)
                    out += (v.isValid() ? v.toString().toStdString() : std::string("<null>")) + "|";
                out += "\n";
            }
        return out;
    }

    double nextParam() { return double(server::nextSequence(*db_, server::Series::Param)); }
    double nextInf() { return double(server::nextSequence(*db_, server::Series::InfCtb)); }
    std::string newAdditionRequest(const QString& name, int id = 1) { return erp::testing::newAdditionRequest(nextParam(), name, id); }

    std::unique_ptr<TestDatabase> testDb_;
    std::string url_;
    std::unique_ptr<server::Db> db_;
};

// Each kind of save: the first request applies, its repeat changes nothing
// and gets the very bytes of the first answer, although the same request
// without a key would now be refused or apply something else.
TEST_P(KeyTest, ARepeatIsAnsweredWithTheFirstAnswerAndAppliesNothing)
{
    const server::SqlRow adic = db_->query("SELECT NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM FROM PARAMAPUIRPJ "
                                           "WHERE CDEMPRESA = '01' AND IDIMPOSTO = 'I' AND NRSEQPARAMAPU IN (SELECT NRSEQPARAMAPU FROM INFCTBIRPJ) "
                                           "ORDER BY 1 LIMIT 1")
                                   .at(0);
    const double parent = adic[0].toDouble();
    const RowValues adicRow{parent, adic[1], adic[2], adic[3], adic[4], adic[5]};
    const RowValues renamed = Layout(contract::paramApuLayout()).with(adicRow, f::NMPARAMAPU, QStringLiteral("Renomeada uma vez"));
    const server::SqlRow rate = db_->query("SELECT NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL FROM ALIQIRPJ ORDER BY 1 LIMIT 1").at(0);
    const QString account = db_->query("SELECT CDCONTCTBL FROM CONTCTBL ORDER BY 1 DESC LIMIT 1").at(0).at(0).toString();

    struct Case {
        const char* what;
        std::string body;
    };
    const std::vector<Case> cases{
        {"an addition inserted", newAdditionRequest(QStringLiteral("Inserida uma vez"))},
        {"a net-profit item inserted",
         request(m::setRecDesp, {changeJson(contract::recDespLayout(), ChangeStatus::Inserted, {},
                                         {nextParam(), "01", "Item uma vez", "R", "S", rate[0].toDouble(), rate[1], rate[2], "S"})})},
        {"accounting information inserted",
         request(m::SetInfCtbIRPJ, {changeJson(contract::infCtbLayout(), ChangeStatus::Inserted, {}, {"C", parent, nextInf(), "C", account, account, {}})})},
        {"an addition renamed", request(m::SetParamIRPJ, {changeJson(contract::paramApuLayout(), ChangeStatus::Modified, adicRow, renamed)})},
        {"a parent's accounting information removed", request(m::setDeleteInfCtb, {parent})},
        {"the parent deleted", request(m::SetParamIRPJ, {changeJson(contract::paramApuLayout(), ChangeStatus::Deleted, renamed, {})})},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string key = "chave-" + std::to_string(++n);
        const std::string before = state();
        const server::RpcAnswer first = send(c.body, key);
        ASSERT_TRUE(QJsonDocument::fromJson(first.body).object().contains("result")) << first.body.toStdString();
        const std::string applied = state();
        EXPECT_NE(applied, before);
        for (int repeat = 0; repeat < 2; ++repeat) {
            const server::RpcAnswer again = send(c.body, key);
            EXPECT_EQ(again.httpStatus, 200);
            EXPECT_EQ(again.body, first.body);
            EXPECT_EQ(state(), applied);
        }
        EXPECT_NE(send(c.body, {}).body, first.body) << "without the key the repeat is judged afresh";
    }
    EXPECT_EQ(count("SELECT COUNT(*) FROM REQUISICAOAPLICADA"), qlonglong(cases.size()));
}

TEST_P(KeyTest, AnotherBodyUnderAUsedKeyIs422AndAppliesNothing)
{
    const std::string first = newAdditionRequest(QStringLiteral("Primeira"));
    ASSERT_TRUE(QJsonDocument::fromJson(send(first, "usada").body).object().contains("result"));
    const std::string before = state();
    struct Case {
        const char* what;
        std::string body;
    };
    const std::vector<Case> cases{
        {"another save that would apply", newAdditionRequest(QStringLiteral("Segunda"))},
        {"the same save under another id", QString::fromStdString(first).replace("\"id\":1", "\"id\":2").toStdString()},
        {"another method that would be refused", request(m::setDeleteInfCtb, {1e300})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.body, first);
        const server::RpcAnswer a = send(c.body, "usada");
        EXPECT_EQ(a.httpStatus, 422);
        const QJsonObject error = QJsonDocument::fromJson(a.body).object();
        EXPECT_EQ(error.keys(), QStringList{"error"});
        EXPECT_TRUE(error.value("error").toString().endsWith('.')) << a.body.toStdString();
        EXPECT_EQ(state(), before);
    }
    // Reads do not look at keys.
    const server::RpcAnswer read = send(request(m::GetParamIRPJ, {"01"}), "usada");
    EXPECT_EQ(read.httpStatus, 200);
    EXPECT_TRUE(QJsonDocument::fromJson(read.body).object().contains("result"));
}

// Only an applied save keeps its key: a refused one can be corrected and
// sent again under the same key.
TEST_P(KeyTest, ARefusedSaveLeavesItsKeyFree)
{
    const double seq = nextParam();
    auto addition = [&](double percent) {
        return request(m::SetParamIRPJ, {changeJson(contract::paramApuLayout(), ChangeStatus::Inserted, {}, {seq, "01", "Corrigida", "A", "I", percent})});
    };
    const std::string before = state();
    EXPECT_EQ(errorCode(QJsonDocument::fromJson(send(addition(0), "livre").body).object()), code::Validation);
    EXPECT_EQ(state(), before);
    const QJsonObject ok = QJsonDocument::fromJson(send(addition(15), "livre").body).object();
    EXPECT_EQ(ok.value("result").toObject().value("applied"), 1) << QJsonDocument(ok).toJson().toStdString();
    EXPECT_EQ(count("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ?", {qlonglong(seq)}), 1);
}

// A number drawn twice is only a gap: sequence calls draw anew and store no key.
TEST_P(KeyTest, SequenceNumbersAndReadsIgnoreTheKey)
{
    const std::string next = request(m::prxSeqParamIRPJ, {});
    const double a = QJsonDocument::fromJson(send(next, "numero").body).object().value("result").toDouble();
    const double b = QJsonDocument::fromJson(send(next, "numero").body).object().value("result").toDouble();
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);
    EXPECT_TRUE(QJsonDocument::fromJson(send(request(m::getInfCtbIRPJ, {1.0}), "numero").body).object().contains("result"));
    EXPECT_EQ(count("SELECT COUNT(*) FROM REQUISICAOAPLICADA"), 0);
}

TEST_P(KeyTest, AKeyOutsideTheContractIs400)
{
    const std::string body = newAdditionRequest(QStringLiteral("Chave estranha"));
    const std::string before = state();
    for (const std::string& key : {std::string(65, 'k'), std::string("a\tb"), std::string("a\x7f"), std::string("\xff\xfe"), std::string("a\0b", 3),
                                   std::string("\xc2\x85")}) {
        SCOPED_TRACE(QByteArray::fromStdString(key).toHex().toStdString());
        const server::RpcAnswer a = send(body, key);
        EXPECT_EQ(a.httpStatus, 400);
        EXPECT_TRUE(QJsonDocument::fromJson(a.body).object().value("error").toString().contains("Idempotency-Key")) << a.body.toStdString();
        EXPECT_EQ(state(), before);
    }
    // Sixty-four characters, each of two bytes, are a key.
    QString wide;
    for (int i = 0; i < 64; ++i)
        wide += QChar(0xe9);
    const server::RpcAnswer a = send(body, wide.toStdString());
    EXPECT_EQ(a.httpStatus, 200);
    EXPECT_EQ(db_->query("SELECT CDCHAVE FROM REQUISICAOAPLICADA").at(0).at(0).toString(), wide);
}

TEST_P(KeyTest, KeysOlderThanADayArePurgedTwoAtATime)
{
    const qlonglong now = QDateTime::currentSecsSinceEpoch();
    const std::string insert = "INSERT INTO REQUISICAOAPLICADA (CDCHAVE, DSRESUMO, DSRESPOSTA, DTAPLICACAO) VALUES (?, ?, '{}', ?)";
    const QString print(64, u'0');
    db_->exec(insert, {QStringLiteral("velha-1"), print, now - 3 * 86400});
    db_->exec(insert, {QStringLiteral("velha-2"), print, now - 2 * 86400});
    db_->exec(insert, {QStringLiteral("velha-3"), print, now - 86400 - 60});
    db_->exec(insert, {QStringLiteral("de-ontem"), print, now - 86400 + 3600});
    auto keys = [&] {
        QStringList out;
        for (const server::SqlRow& r : db_->query("SELECT CDCHAVE FROM REQUISICAOAPLICADA ORDER BY DTAPLICACAO"))
            out << r.at(0).toString();
        return out;
    };
    ASSERT_EQ(send(newAdditionRequest(QStringLiteral("Limpa 1")), "nova-1").httpStatus, 200);
    EXPECT_EQ(keys(), (QStringList{"velha-3", "de-ontem", "nova-1"}));
    ASSERT_EQ(send(newAdditionRequest(QStringLiteral("Limpa 2")), "nova-2").httpStatus, 200);
    EXPECT_EQ(keys(), (QStringList{"de-ontem", "nova-1", "nova-2"}));
}

// The same request sent several times at once (a balancer that gave up on
// a slow server and tried another): one applies, every copy gets its answer.
TEST_P(KeyTest, TwinsSentTogetherApplyOnce)
{
    const std::string body = newAdditionRequest(QStringLiteral("Gêmea"));
    constexpr int kTwins = 8;
    std::vector<std::unique_ptr<server::Db>> connections;
    for (int i = 0; i < kTwins; ++i)
        connections.push_back(server::openDatabase(url_));
    std::vector<QByteArray> answers(kTwins);
    std::latch go(kTwins);
    std::vector<std::thread> twins;
    for (int i = 0; i < kTwins; ++i)
        twins.emplace_back([&, i] {
            go.arrive_and_wait();
            answers[std::size_t(i)] = server::handleRpc(contract::kServerObject, body, *connections[std::size_t(i)], {"gemea"}).body;
        });
    for (std::thread& t : twins)
        t.join();
    EXPECT_EQ(QJsonDocument::fromJson(answers[0]).object().value("result").toObject().value("applied"), 1) << answers[0].toStdString();
    for (const QByteArray& a : answers)
        EXPECT_EQ(a, answers[0]);
    EXPECT_EQ(count("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NMPARAMAPU = ?", {QStringLiteral("Gêmea")}), 1);
}

// A database of the previous version (as the servers before the keys left
// it) gains the key table, keeps its data and takes keyed saves.
TEST_P(KeyTest, AVersion2DatabaseGainsTheKeyTableAndKeepsItsData)
{
    const std::string before = state();
    db_->script("DROP TABLE PARAMAPUECF; DROP TABLE FONTEECF; DROP TABLE TABELAECF; DROP TABLE REQUISICAOAPLICADA; DROP TABLE HISTORICOIRPJ");
    db_->exec("UPDATE ERP_SCHEMA SET VERSION = 2");
    EXPECT_EQ(server::migrate(*db_), server::schemaVersion());
    EXPECT_EQ(state(), before);
    EXPECT_EQ(count("SELECT VERSION FROM ERP_SCHEMA"), server::schemaVersion());
    const std::string body = newAdditionRequest(QStringLiteral("Depois da migração"));
    EXPECT_EQ(send(body, "migrada").body, send(body, "migrada").body);
    EXPECT_EQ(count("SELECT COUNT(*) FROM REQUISICAOAPLICADA"), 1);
    EXPECT_EQ(server::migrate(*db_), server::schemaVersion()) << "an up-to-date database is left as it is";
}

INSTANTIATE_TEST_SUITE_P(Engines, KeyTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
