// SPDX-License-Identifier: MIT
// The history of applied changes, in process on both engines: one row per
// changed row with its author and its old and new values, none for a refusal,
// getHistorico's lines, a company's tables rebuilt from its history alone,
// and a version 3 database that gains an empty history.
#include "rpcclient.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"
#include "tablesql.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QRegularExpression>

#include <map>
#include <memory>
#include <optional>
#include <set>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;
namespace operacao = erp::contract::letter::operacao;

namespace {

const Layout adicL(contract::paramApuLayout()), infL(contract::infCtbLayout()), rdL(contract::recDespLayout()), histL(contract::historicoLayout());

QJsonValue jsonOf(const QVariant& v)
{
    if (!v.isValid())
        return QJsonValue::Null;
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return v.toDouble();
}

// A row as a JSON object of its fields, as the history stores it.
QJsonObject objectOf(const FieldDefs& layout, const RowValues& row)
{
    QJsonObject o;
    for (qsizetype i = 0; i < layout.size(); ++i)
        o.insert(layout[i].name, jsonOf(row[i]));
    return o;
}

QJsonObject parsedObject(const QVariant& text)
{
    return text.isValid() ? QJsonDocument::fromJson(text.toString().toUtf8()).object() : QJsonObject();
}

// One stored history row, as the tests compare it.
struct Recorded {
    QString user, method, table;
    qlonglong number = 0, parent = 0;
    QString company, operation;
    QJsonObject before, after;
    QString key;
};

class HistoryTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        createDatabase("h");
        if (IsSkipped())
            return;
        const server::SqlRows accounts = db_->query("SELECT CDCONTCTBL FROM CONTCTBL ORDER BY 1 LIMIT 3");
        for (const server::SqlRow& a : accounts)
            accounts_ << a.at(0).toString();
        const server::SqlRow rate = db_->query("SELECT NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL FROM ALIQIRPJ ORDER BY 1 LIMIT 1").at(0);
        rate_ = {rate[0].toDouble(), rate[1].toDouble(), rate[2].toDouble()};
    }

    // A call as `user` (every company unless `companies` are given).
    QJsonObject call(const char* method, const QJsonArray& params, const QString& user = QStringLiteral("maria"), const std::string& key = {},
                     const QStringList& companies = {})
    {
        return callAs(user, method, params, companies, key);
    }

    double nextParam() { return double(server::nextSequence(*db_, server::Series::Param)); }
    double nextInf() { return double(server::nextSequence(*db_, server::Series::InfCtb)); }

    RowValues newAddition(const QString& company, const QString& name, double percent = 10, char tax = letter::imposto::IRPJ)
    {
        return {nextParam(), company, name, letterText(letter::tipo::Adicao), letterText(tax), percent};
    }
    RowValues newItem(const QString& company, const QString& name)
    {
        return {nextParam(), company, name, "R", "S", rate_[0], rate_[1], rate_[2], "S"};
    }
    RowValues newAccount(double parent, const QString& account)
    {
        return {letterText(letter::apuracao::Competencia), parent, nextInf(), letterText(letter::origem::Conta), account, account, {}};
    }

    // A save of one change of `layout`'s rows.
    QJsonObject save(const char* method, const FieldDefs& layout, ChangeStatus status, const RowValues& o, const RowValues& n,
                     const QString& user = QStringLiteral("maria"), const std::string& key = {})
    {
        return call(method, {changeJson(layout, status, o, n)}, user, key);
    }
    void saved(const char* method, const FieldDefs& layout, ChangeStatus status, const RowValues& o, const RowValues& n,
               const QString& user = QStringLiteral("maria"), const std::string& key = {})
    {
        const QJsonObject r = save(method, layout, status, o, n, user, key);
        ASSERT_TRUE(r.contains("result")) << method << ": " << QJsonDocument(r).toJson().toStdString();
    }

    qlonglong historyCount() { return db_->query("SELECT COUNT(*) FROM HISTORICOIRPJ").at(0).at(0).toLongLong(); }

    // The history rows written after row `after` (a count), in the order written.
    std::vector<Recorded> recordedAfter(qlonglong after, const QString& company = {})
    {
        const std::string where = company.isEmpty() ? "" : " WHERE CDEMPRESA = ?";
        const server::SqlParams params = company.isEmpty() ? server::SqlParams{} : server::SqlParams{company};
        const server::SqlRows rows = db_->query("SELECT NMUSUARIO, NMMETODO, NMTABELA, NRSEQREGISTRO, NRSEQPARAMAPU, CDEMPRESA, IDOPERACAO, "
                                                "DSREGANTERIOR, DSREGNOVO, CDCHAVE FROM HISTORICOIRPJ" +
                                                    where + " ORDER BY NRSEQHISTORICO",
                                                params);
        std::vector<Recorded> out;
        for (std::size_t i = std::size_t(after); i < rows.size(); ++i) {
            const server::SqlRow& r = rows[i];
            out.push_back({r[0].toString(), r[1].toString(), r[2].toString(), r[3].toLongLong(), r[4].toLongLong(), r[5].toString(), r[6].toString(),
                           parsedObject(r[7]), parsedObject(r[8]), r[9].toString()});
        }
        return out;
    }

    QStringList accounts_;
    std::array<double, 3> rate_{};
};

// What a step must have written: table, operation, number and parent, and
// the rows before and after.
struct Expected {
    const char* table;
    char operation;
    double number, parent;
    std::optional<QJsonObject> before, after;
};

void expectRecorded(const std::vector<Recorded>& got, const std::vector<Expected>& expected, const QString& user, const char* method,
                    const QString& key = {})
{
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        const Recorded& r = got[i];
        const Expected& e = expected[i];
        EXPECT_EQ(r.user, user);
        EXPECT_EQ(r.method, QLatin1String(method));
        EXPECT_EQ(r.table, QLatin1String(e.table));
        EXPECT_EQ(r.operation, letterText(e.operation));
        EXPECT_EQ(r.number, qlonglong(e.number));
        EXPECT_EQ(r.parent, qlonglong(e.parent));
        EXPECT_EQ(r.company, QStringLiteral("02"));
        EXPECT_EQ(r.before, e.before.value_or(QJsonObject())) << QJsonDocument(r.before).toJson().toStdString();
        EXPECT_EQ(r.after, e.after.value_or(QJsonObject())) << QJsonDocument(r.after).toJson().toStdString();
        EXPECT_EQ(r.key, key);
    }
}

// Every kind of save of every table, by two users: one history row per
// changed row with its author, method, key and the rows as the packet
// carried them; the accounting information purged by its parent's delete
// recorded in that delete, before the parent.
TEST_P(HistoryTest, EachSaveRecordsEveryChangedRowWithItsAuthorAndValues)
{
    const char* P = contract::t::PARAMAPUIRPJ;
    const char* R = contract::t::RECDESPIRPJ;
    const char* I = contract::t::INFCTBIRPJ;
    using CS = ChangeStatus;
    qlonglong mark = historyCount();
    auto step = [&](const char* method, const FieldDefs& layout, CS status, const RowValues& o, const RowValues& n, const QString& user,
                    const std::vector<Expected>& expected, const std::string& key = {}) {
        saved(method, layout, status, o, n, user, key);
        expectRecorded(recordedAfter(mark), expected, user, method, QString::fromStdString(key));
        mark = historyCount();
    };

    const RowValues a = newAddition("02", QStringLiteral("Multa indedutível"));
    const double na = a[0].toDouble();
    step(m::SetParamIRPJ, adicL, CS::Inserted, {}, a, "maria", {{P, operacao::Inclusao, na, na, std::nullopt, objectOf(adicL, a)}}, "chave-1");
    const RowValues a2 = adicL.with(adicL.with(a, f::NMPARAMAPU, QStringLiteral("Multa fiscal")), f::VRPORCENTAGEM, 12.5);
    step(m::SetParamIRPJ, adicL, CS::Modified, a, a2, "jose", {{P, operacao::Alteracao, na, na, objectOf(adicL, a), objectOf(adicL, a2)}});

    const RowValues r = newItem("02", QStringLiteral("Receita de aluguel"));
    const double nr = r[0].toDouble();
    step(m::setRecDesp, rdL, CS::Inserted, {}, r, "maria", {{R, operacao::Inclusao, nr, nr, std::nullopt, objectOf(rdL, r)}});
    const RowValues r2 = rdL.with(r, f::IDCONSVRDEB, QStringLiteral("N"));
    step(m::setRecDesp, rdL, CS::Modified, r, r2, "jose", {{R, operacao::Alteracao, nr, nr, objectOf(rdL, r), objectOf(rdL, r2)}});

    const RowValues i1 = newAccount(na, accounts_[0]), i2 = newAccount(na, accounts_[1]);
    step(m::SetInfCtbIRPJ, infL, CS::Inserted, {}, i1, "maria", {{I, operacao::Inclusao, i1[2].toDouble(), na, std::nullopt, objectOf(infL, i1)}});
    step(m::SetInfCtbIRPJ, infL, CS::Inserted, {}, i2, "maria", {{I, operacao::Inclusao, i2[2].toDouble(), na, std::nullopt, objectOf(infL, i2)}});
    const RowValues i1b = infL.with(i1, f::IDFORMAPURITEM, letterText(letter::apuracao::Pagamento));
    step(m::SetInfCtbIRPJ, infL, CS::Modified, i1, i1b, "jose", {{I, operacao::Alteracao, i1[2].toDouble(), na, objectOf(infL, i1), objectOf(infL, i1b)}});
    step(m::SetInfCtbIRPJ, infL, CS::Deleted, i2, {}, "jose", {{I, operacao::Exclusao, i2[2].toDouble(), na, objectOf(infL, i2), std::nullopt}});

    // Held, not yet removed: nothing to record until the parent's delete commits.
    ok(m::setDeleteInfCtb, {na}, "maria");
    EXPECT_EQ(historyCount(), mark);
    step(m::SetParamIRPJ, adicL, CS::Deleted, a2, {}, "maria",
         {{I, operacao::Exclusao, i1[2].toDouble(), na, objectOf(infL, i1b), std::nullopt},
          {P, operacao::Exclusao, na, na, objectOf(adicL, a2), std::nullopt}});
    ok(m::setDeleteInfCtb, {nr}, "jose");
    step(m::setRecDesp, rdL, CS::Deleted, r2, {}, "jose", {{R, operacao::Exclusao, nr, nr, objectOf(rdL, r2), std::nullopt}});
}

// A refused save writes no history, whatever refused it; a parent's delete
// refused after its accounting information was held writes none either.
TEST_P(HistoryTest, ARefusedSaveWritesNoHistory)
{
    const RowValues a = newAddition("02", QStringLiteral("Recusas"));
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, a);
    const RowValues i = newAccount(a[0].toDouble(), accounts_[0]);
    saved(m::SetInfCtbIRPJ, infL, ChangeStatus::Inserted, {}, i);
    const qlonglong before = historyCount();
    const RowValues stale = adicL.with(a, f::VRPORCENTAGEM, 99.0);

    struct Case {
        const char* what;
        std::function<QJsonObject()> send;
        int code;
    };
    const std::vector<Case> cases{
        {"a conflict", [&] { return save(m::SetParamIRPJ, adicL, ChangeStatus::Modified, stale, adicL.with(a, f::NMPARAMAPU, QStringLiteral("X"))); },
         code::Conflict},
        {"a duplicate", [&] { return save(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, newAddition("02", QStringLiteral("RECUSAS"))); },
         code::Duplicate},
        {"a validation", [&] { return save(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, newAddition("02", QStringLiteral("Zero"), 0)); },
         code::Validation},
        {"a missing parent", [&] { return save(m::SetInfCtbIRPJ, infL, ChangeStatus::Inserted, {}, newAccount(nextParam(), accounts_[1])); },
         code::MissingReference},
        {"a company the user may not see",
         [&] { return call(m::SetParamIRPJ, {changeJson(adicL, ChangeStatus::Inserted, {}, newAddition("02", "Alheia"))}, "ana", {}, {"01"}); },
         code::NoAccess},
        {"a parent's delete after its information was held",
         [&] {
             ok(m::setDeleteInfCtb, {a[0].toDouble()});
             return save(m::SetParamIRPJ, adicL, ChangeStatus::Deleted, stale, {});
         },
         code::Conflict},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorCode(c.send()), c.code);
        EXPECT_EQ(historyCount(), before);
    }
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ?", {a[0].toLongLong()}).at(0).at(0).toLongLong(), 1)
        << "the refused delete gave its accounting information back";
}

// getHistorico: the parent row and its accounting information, newest first,
// one line per changed field; nothing of another row or another company.
TEST_P(HistoryTest, GetHistoricoListsEachChangedFieldNewestFirst)
{
    const RowValues a = newAddition("02", QStringLiteral("Multa"));
    const RowValues other = newAddition("02", QStringLiteral("Outra"));
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, a, "maria");
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, other, "maria");
    const RowValues i = newAccount(a[0].toDouble(), accounts_[0]);
    saved(m::SetInfCtbIRPJ, infL, ChangeStatus::Inserted, {}, i, "maria");
    const RowValues a2 = adicL.with(adicL.with(a, f::NMPARAMAPU, QStringLiteral("Multa fiscal")), f::VRPORCENTAGEM, 12.5);
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Modified, a, a2, "jose");
    saved(m::SetInfCtbIRPJ, infL, ChangeStatus::Modified, i, infL.with(i, f::IDFORMAPURITEM, QStringLiteral("P")), "jose");
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Modified, other, adicL.with(other, f::VRPORCENTAGEM, 50.0), "jose");

    const QJsonObject r = ok(m::getHistorico, {"02", a[0].toDouble()});
    const DataPacket p = packet::decodeData(r.value("result").toObject(), &static_cast<const FieldDefs&>(histL));
    const QString acc = accounts_[0];
    const double na = a[0].toDouble(), ni = i[2].toDouble();
    struct Line {
        QString user, operation, table;
        double number;
        QString field;
        QVariant before, after;
    };
    const std::vector<Line> expected{
        {"jose", "A", "INFCTBIRPJ", ni, "IDFORMAPURITEM", "C", "P"},
        {"jose", "A", "PARAMAPUIRPJ", na, "NMPARAMAPU", "Multa", "Multa fiscal"},
        {"jose", "A", "PARAMAPUIRPJ", na, "VRPORCENTAGEM", "10", "12.5"},
        {"maria", "I", "INFCTBIRPJ", ni, "IDFORMAPURITEM", {}, "C"},
        {"maria", "I", "INFCTBIRPJ", ni, "IDINFCTBIRPJ", {}, "C"},
        {"maria", "I", "INFCTBIRPJ", ni, "CHAVE", {}, acc},
        {"maria", "I", "INFCTBIRPJ", ni, "CDINFCTBIRPJ", {}, acc},
        {"maria", "I", "PARAMAPUIRPJ", na, "NMPARAMAPU", {}, "Multa"},
        {"maria", "I", "PARAMAPUIRPJ", na, "IDPARAMAPU", {}, "A"},
        {"maria", "I", "PARAMAPUIRPJ", na, "IDIMPOSTO", {}, "I"},
        {"maria", "I", "PARAMAPUIRPJ", na, "VRPORCENTAGEM", {}, "10"},
    };
    ASSERT_EQ(p.rows.size(), expected.size()) << QJsonDocument(r).toJson().toStdString();
    const QRegularExpression utcMs(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)"));
    QString previous = QStringLiteral("9999");
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(k);
        const RowValues& row = p.rows[k];
        const Line& e = expected[k];
        const QString when = row[histL[f::DTALTERACAO]].toString();
        EXPECT_TRUE(utcMs.match(when).hasMatch()) << when.toStdString();
        EXPECT_LE(when, previous) << "newest first";
        previous = when;
        EXPECT_EQ(row[histL[f::NMUSUARIO]].toString(), e.user);
        EXPECT_EQ(row[histL[f::IDOPERACAO]].toString(), e.operation);
        EXPECT_EQ(row[histL[f::NMTABELA]].toString(), e.table);
        EXPECT_EQ(row[histL[f::NRSEQREGISTRO]].toDouble(), e.number);
        EXPECT_EQ(row[histL[f::NMCAMPO]].toString(), e.field);
        EXPECT_EQ(row[histL[f::DSANTERIOR]], e.before);
        EXPECT_EQ(row[histL[f::DSNOVO]], e.after);
    }

    for (const QJsonArray& params : {QJsonArray{"01", a[0].toDouble()}, QJsonArray{"02", 987654.0}, QJsonArray{"02", 1.5}}) {
        const QJsonObject empty = ok(m::getHistorico, params);
        EXPECT_TRUE(empty.value("result").toObject().value("rows").toArray().isEmpty()) << QJsonDocument(params).toJson().toStdString();
    }
    for (const QJsonArray& params : {QJsonArray{"02"}, QJsonArray{a[0].toDouble(), "02"}, QJsonArray{"02", a[0].toDouble(), 1}, QJsonArray{}})
        EXPECT_EQ(errorCode(call(m::getHistorico, params)), code::InvalidParams) << QJsonDocument(params).toJson().toStdString();
}

// A company's history alone, replayed from empty, gives exactly its three
// parameter tables: nothing applied escaped it, nothing refused entered it.
TEST_P(HistoryTest, ReplayingACompanysHistoryRebuildsItsTables)
{
    using CS = ChangeStatus;
    const RowValues a1 = newAddition("02", "A1"), a2 = newAddition("02", "A2"), c1 = newAddition("02", "C1", 20, letter::imposto::CSLL);
    const RowValues r1 = newItem("02", "R1");
    for (const RowValues* row : {&a1, &a2, &c1})
        saved(m::SetParamIRPJ, adicL, CS::Inserted, {}, *row, "maria");
    saved(m::setRecDesp, rdL, CS::Inserted, {}, r1, "maria");
    const RowValues i1 = newAccount(a1[0].toDouble(), accounts_[0]), i2 = newAccount(a1[0].toDouble(), accounts_[1]);
    const RowValues i3 = newAccount(r1[0].toDouble(), accounts_[0]), i5 = newAccount(c1[0].toDouble(), accounts_[2]);
    for (const RowValues* row : {&i1, &i2, &i3, &i5})
        saved(m::SetInfCtbIRPJ, infL, CS::Inserted, {}, *row, "maria");
    saved(m::SetParamIRPJ, adicL, CS::Modified, a1, adicL.with(a1, f::VRPORCENTAGEM, 33.0), "jose");
    saved(m::SetInfCtbIRPJ, infL, CS::Modified, i5, infL.with(i5, f::IDFORMAPURITEM, QStringLiteral("P")), "jose");
    saved(m::setRecDesp, rdL, CS::Modified, r1, rdL.with(r1, f::NMRECDESPIRPJ, QStringLiteral("R1 renomeado")), "jose");
    saved(m::SetInfCtbIRPJ, infL, CS::Deleted, i2, {}, "jose");
    EXPECT_EQ(errorCode(save(m::SetParamIRPJ, adicL, CS::Modified, a1, a1, "jose")), code::Conflict);
    ok(m::setDeleteInfCtb, {a2[0].toDouble()});
    saved(m::SetParamIRPJ, adicL, CS::Deleted, a2, {}, "maria");
    ok(m::setDeleteInfCtb, {a1[0].toDouble()}, "jose");
    saved(m::SetParamIRPJ, adicL, CS::Deleted, adicL.with(a1, f::VRPORCENTAGEM, 33.0), {}, "jose");
    // Held information whose key was entered again before it came back: the
    // held row is dropped when it would come back, and that is recorded.
    ok(m::setDeleteInfCtb, {r1[0].toDouble()});
    const RowValues i4 = newAccount(r1[0].toDouble(), accounts_[0]);
    saved(m::SetInfCtbIRPJ, infL, CS::Inserted, {}, i4, "maria");
    db_->exec("UPDATE INFCTBIRPJREMOVIDA SET DTREMOCAO = DTREMOCAO - 3600");
    ok(m::getInfCtbIRPJ, {r1[0].toDouble()}, "jose");
    // Another company's change is not part of this one's history.
    saved(m::SetParamIRPJ, adicL, CS::Inserted, {}, newAddition("03", "Outra empresa"), "jose");

    std::map<QString, std::map<qlonglong, QJsonObject>> replayed;
    for (const Recorded& h : recordedAfter(0, "02")) {
        SCOPED_TRACE(h.table.toStdString() + " " + std::to_string(h.number) + " " + h.operation.toStdString());
        auto& rows = replayed[h.table];
        const auto found = rows.find(h.number);
        if (h.operation == letterText(operacao::Inclusao)) {
            EXPECT_EQ(found, rows.end());
            rows[h.number] = h.after;
            continue;
        }
        ASSERT_NE(found, rows.end());
        EXPECT_EQ(found->second, h.before) << "the old row is the row as the history left it";
        if (h.operation == letterText(operacao::Alteracao))
            found->second = h.after;
        else
            rows.erase(found);
    }

    std::map<QString, std::map<qlonglong, QJsonObject>> stored;
    std::set<double> parents;
    for (const server::TableSql* t : {&server::paramApuSql(), &server::recDespSql(), &server::infCtbSql()}) {
        const DataPacket p = t->rows(db_->query(t->select()));
        auto& rows = stored[QString::fromLatin1(t->table().name)];
        for (const RowValues& row : p.rows) {
            const QJsonObject o = objectOf(p.fields, row);
            const bool ours = t->table().company ? o.value(t->table().company) == QStringLiteral("02") : parents.count(o.value(t->table().parent).toDouble());
            if (!ours)
                continue;
            rows[qlonglong(t->key(server::Row(p.fields, row)).toDouble())] = o;
            if (t->table().company)
                parents.insert(o.value(t->table().key.front()).toDouble());
        }
    }
    for (const char* table : {contract::t::PARAMAPUIRPJ, contract::t::RECDESPIRPJ, contract::t::INFCTBIRPJ}) {
        SCOPED_TRACE(table);
        EXPECT_FALSE(stored[table].empty());
        EXPECT_EQ(replayed[table], stored[table]);
    }
    EXPECT_EQ(recordedAfter(0, "01").size(), 0u) << "the demo's rows were not saved through the service";
}

// No method changes or removes history, and the database refuses to.
TEST_P(HistoryTest, TheDatabaseKeepsTheHistoryAppendOnly)
{
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, newAddition("02", "Fica"));
    ASSERT_EQ(historyCount(), 1);
    EXPECT_THROW(db_->exec("UPDATE HISTORICOIRPJ SET NMUSUARIO = 'outro'"), server::DbError);
    EXPECT_THROW(db_->exec("DELETE FROM HISTORICOIRPJ"), server::DbError);
    EXPECT_EQ(recordedAfter(0).at(0).user, QStringLiteral("maria"));
    EXPECT_EQ(historyCount(), 1);
}

// A database of the previous version keeps every row and starts with an
// empty history, which the next save begins.
TEST_P(HistoryTest, AVersion3DatabaseGainsAnEmptyHistoryAndKeepsItsData)
{
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, newAddition("02", "Antes da migração"));
    db_->exec("DELETE FROM PARAMAPUECF"); // the demo's ECF codes, which a version 3 database cannot have
    const std::vector<std::string> before = snapshot(testDb_->url);
    db_->script("DROP TABLE PARAMAPUECF; DROP TABLE FONTEECF; DROP TABLE TABELAECF; DROP TABLE HISTORICOIRPJ");
    db_->exec("UPDATE ERP_SCHEMA SET VERSION = 3");
    EXPECT_EQ(server::migrate(*db_), server::schemaVersion());
    EXPECT_EQ(snapshot(testDb_->url), before);
    EXPECT_EQ(historyCount(), 0);
    saved(m::SetParamIRPJ, adicL, ChangeStatus::Inserted, {}, newAddition("02", "Depois da migração"), "jose");
    ASSERT_EQ(historyCount(), 1);
    EXPECT_EQ(recordedAfter(0).at(0).user, QStringLiteral("jose"));
    EXPECT_EQ(server::migrate(*db_), server::schemaVersion()) << "an up-to-date database is left as it is";
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
