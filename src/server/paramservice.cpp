// SPDX-License-Identifier: MIT
#include "paramservice.h"

#include "schema.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"

#include <QHash>
#include <QDateTime>
#include <QJsonObject>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace erp::server {

namespace {

namespace m = contract::method;

const QString kConflict = QStringLiteral("O registro foi alterado ou excluído por outro usuário. Recarregue os dados e tente novamente.");
const QString kSeqInvalid = QStringLiteral("Número de sequência inválido.");
const QString kSeqNotIssued = QStringLiteral("Número de sequência não emitido pelo servidor de aplicação.");
const QString kSeqTaken = QStringLiteral("Já existe um registro com este número de sequência.");
const QString kSeqChanged = QStringLiteral("O número de sequência de um registro não pode ser alterado.");
const QString kCompanyChanged = QStringLiteral("A empresa de um registro não pode ser alterada.");

constexpr long long kSeqMax = 2147483647;
// How long accounting information waits for its parent's delete before a read gives it back.
constexpr long long kHoldSeconds = 300;

constexpr char kInfCtbColumns[] =
    "NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, CDTIPODEMO, CDINFCTBIRPJCHV, IDFORMAPURITEM";

[[noreturn]] void refuse(int c, const QString& message)
{
    throw RpcError(c, message);
}

QString fold(const QString& s)
{
    return caseKey(s);
}

std::optional<long long> wholeNumber(double d)
{
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<long long>(d);
}

// One row of a change packet, read by field name whatever the packet's field order.
class Row {
public:
    Row(const std::vector<int>& index, const FieldDefs& layout, const RowValues& values) : index_(index), layout_(layout), values_(values) {}

    QVariant value(const QString& name) const
    {
        for (int i = 0; i < layout_.size(); ++i)
            if (layout_[i].name == name)
                return values_[index_[std::size_t(i)]];
        return {};
    }
    QString text(const QString& name) const { return value(name).toString(); }
    bool isNull(const QString& name) const { return !value(name).isValid(); }
    // A NULL stays NULL; a number is bound as a double.
    QVariant number(const QString& name) const
    {
        const QVariant v = value(name);
        return v.isValid() ? QVariant(v.toDouble()) : QVariant();
    }
    // An old key value: a number that can name no stored row is a conflict.
    QVariant oldKey(const QString& name) const
    {
        const QVariant v = value(name);
        if (!v.isValid())
            refuse(code::Conflict, kConflict);
        const auto n = wholeNumber(v.toDouble());
        if (!n)
            refuse(code::Conflict, kConflict);
        return qlonglong(*n);
    }
    // Texts: NULL for an empty value, as the packet carries it.
    QVariant str(const QString& name) const
    {
        const QVariant v = value(name);
        return v.isValid() ? QVariant(v.toString()) : QVariant();
    }

private:
    const std::vector<int>& index_;
    const FieldDefs& layout_;
    const RowValues& values_;
};

// A decoded change packet whose fields cover the whole layout.
struct Changes {
    FieldDefs layout;
    ChangePacket packet;
    std::vector<int> index; // layout position -> packet position

    Row oldRow(const Change& c) const { return Row(index, layout, c.oldValues); }
    Row newRow(const Change& c) const { return Row(index, layout, c.newValues); }
};

Changes decodeChanges(const QJsonArray& params, const char* method, const FieldDefs& layout)
{
    if (params.size() != 1 || !params[0].isObject())
        refuse(code::InvalidParams, QStringLiteral("O método %1 espera um pacote de alterações.").arg(QLatin1String(method)));
    Changes c;
    c.layout = layout;
    try {
        c.packet = packet::decodeChanges(params[0].toObject(), &layout);
    } catch (const PacketError& e) {
        refuse(code::InvalidParams, e.message());
    }
    // PostgreSQL takes texts NUL-terminated: a NUL would cut the text short
    // and store something other than what was accepted.
    for (const Change& ch : c.packet.changes)
        for (const RowValues* values : {&ch.oldValues, &ch.newValues})
            for (const QVariant& v : *values)
                if (v.typeId() == QMetaType::QString && v.toString().contains(QChar(0)))
                    refuse(code::InvalidParams, QStringLiteral("Pacote de dados inválido: um texto contém o caractere nulo."));
    for (const FieldDef& f : layout) {
        const int i = c.packet.indexOf(f.name);
        if (i < 0)
            refuse(code::InvalidParams, QStringLiteral("Pacote de dados inválido: o campo %1 está ausente.").arg(f.name));
        c.index.push_back(i);
    }
    return c;
}

QString companyParam(const QJsonArray& params, const char* method)
{
    if (params.size() != 1 || !params[0].isString())
        refuse(code::InvalidParams, QStringLiteral("O método %1 espera o código da empresa.").arg(QLatin1String(method)));
    if (params[0].toString().contains(QChar(0)))
        refuse(code::InvalidParams, QStringLiteral("O código da empresa contém o caractere nulo."));
    return params[0].toString();
}

double numberParam(const QJsonArray& params, const char* method)
{
    if (params.size() != 1 || !params[0].isDouble())
        refuse(code::InvalidParams, QStringLiteral("O método %1 espera o número de sequência do registro.").arg(QLatin1String(method)));
    return params[0].toDouble();
}

void noParams(const QJsonArray& params, const char* method)
{
    if (!params.isEmpty())
        refuse(code::InvalidParams, QStringLiteral("O método %1 não recebe parâmetros.").arg(QLatin1String(method)));
}

QJsonObject dataPacket(const FieldDefs& layout, const SqlRows& rows)
{
    DataPacket p;
    p.fields = layout;
    p.rows.reserve(rows.size());
    for (const SqlRow& r : rows) {
        RowValues v;
        v.reserve(qsizetype(r.size()));
        for (const QVariant& x : r)
            v.append(x);
        p.rows.push_back(std::move(v));
    }
    return packet::toJson(p);
}

QJsonObject saved(long long applied)
{
    return {{QStringLiteral("status"), QStringLiteral("ok")}, {QStringLiteral("applied"), applied}};
}

class Methods {
public:
    Methods(Db& db, const ParamService::BeforeCommit& beforeCommit) : db_(db), beforeCommit_(beforeCommit) {}

    QJsonValue itensDRE()
    {
        return dataPacket(contract::itensDRELayout(),
                          db_.query("SELECT CDTIPODEMO, CDITEMSTRU, NMITEMSTRU FROM ITEMESTRUDRE ORDER BY CDTIPODEMO, CDITEMSTRU"));
    }

    QJsonValue aliquotas()
    {
        SqlRows rows = db_.query("SELECT NRSEQALIQIRPJ, NRSEQALIQIRPJ, DSALIQIRPJCSLL, VRALIQPRESCSLL, VRALIQPRESIRPJ FROM ALIQIRPJ ORDER BY NRSEQALIQIRPJ");
        for (SqlRow& r : rows) {
            r[0] = double(r[0].toLongLong());
            r[1] = QString::number(r[1].toLongLong());
        }
        return dataPacket(contract::aliquotasLayout(), rows);
    }

    QJsonValue paramApu(const QString& company, const QString& tax)
    {
        SqlRows rows = db_.query("SELECT NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM FROM PARAMAPUIRPJ "
                                 "WHERE CDEMPRESA = ? AND IDIMPOSTO = ? ORDER BY NRSEQPARAMAPU",
                                 {company, tax});
        for (SqlRow& r : rows)
            r[0] = double(r[0].toLongLong());
        return dataPacket(contract::paramApuLayout(), rows);
    }

    QJsonValue recDesp(const QString& company)
    {
        SqlRows rows = db_.query("SELECT NRSEQRECDESPIRPJ, CDEMPRESA, NMRECDESPIRPJ, IDRECDESPIRPJ, IDRECDESPIRPJOP, NRSEQALIQIRPJ, "
                                 "VRALIQPRESIRPJ, VRALIQPRESCSLL, IDCONSVRDEB FROM RECDESPIRPJ WHERE CDEMPRESA = ? ORDER BY NRSEQRECDESPIRPJ",
                                 {company});
        for (SqlRow& r : rows) {
            r[0] = double(r[0].toLongLong());
            r[5] = double(r[5].toLongLong());
        }
        return dataPacket(contract::recDespLayout(), rows);
    }

    QJsonValue infCtb(double parent)
    {
        SqlRows rows;
        const auto n = wholeNumber(parent);
        if (n)
            restoreHeldInfCtb(*n, QDateTime::currentSecsSinceEpoch() - kHoldSeconds);
        if (n)
            rows = db_.query("SELECT IDFORMAPURITEM, NRSEQPARAMAPU, NRSEQINFCTBIRPJ, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, CDTIPODEMO "
                             "FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ? ORDER BY NRSEQINFCTBIRPJ",
                             {qlonglong(*n)});
        for (SqlRow& r : rows) {
            r[1] = double(r[1].toLongLong());
            r[2] = double(r[2].toLongLong());
        }
        return dataPacket(contract::infCtbLayout(), rows);
    }

    QJsonValue sequence(Series s) { return qint64(nextSequence(db_, s)); }

    QJsonValue saveParamApu(const Changes& c)
    {
        Transaction tx(db_, true);
        long long applied = 0;
        for (const Change& ch : c.packet.changes) {
            switch (ch.status) {
            case ChangeStatus::Inserted: {
                const Row n = c.newRow(ch);
                const long long seq = newSequenceNumber(n.value("NRSEQPARAMAPU"), Series::Param);
                checkParamApu(n);
                registerParent(seq);
                guardInsert(
                    [&] {
                        db_.exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?)",
                                 {qlonglong(seq), n.str("CDEMPRESA"), n.str("NMPARAMAPU"), fold(n.text("NMPARAMAPU")), n.str("IDPARAMAPU"),
                                  n.str("IDIMPOSTO"), n.number("VRPORCENTAGEM")});
                    },
                    QStringLiteral("Item já cadastrado para o imposto selecionado."));
                break;
            }
            case ChangeStatus::Modified: {
                const Row o = c.oldRow(ch), n = c.newRow(ch);
                sameKey(o, n, "NRSEQPARAMAPU");
                checkParamApu(n);
                long long changed = 0;
                guardDuplicate(
                    [&] {
                        changed = db_.exec("UPDATE PARAMAPUIRPJ SET NMPARAMAPU = ?, NMPARAMAPUCHV = ?, IDPARAMAPU = ?, IDIMPOSTO = ?, VRPORCENTAGEM = ? "
                                           "WHERE NRSEQPARAMAPU = ? AND CDEMPRESA {EQ} ? AND NMPARAMAPU {EQ} ? AND IDPARAMAPU {EQ} ? "
                                           "AND IDIMPOSTO {EQ} ? AND VRPORCENTAGEM {EQ} ?",
                                           {n.str("NMPARAMAPU"), fold(n.text("NMPARAMAPU")), n.str("IDPARAMAPU"), n.str("IDIMPOSTO"),
                                            n.number("VRPORCENTAGEM"), o.oldKey("NRSEQPARAMAPU"), o.str("CDEMPRESA"), o.str("NMPARAMAPU"),
                                            o.str("IDPARAMAPU"), o.str("IDIMPOSTO"), o.number("VRPORCENTAGEM")});
                    },
                    QStringLiteral("Item já cadastrado para o imposto selecionado."));
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                break;
            }
            case ChangeStatus::Deleted: {
                const Row o = c.oldRow(ch);
                const QVariant seq = o.oldKey("NRSEQPARAMAPU");
                const long long changed = db_.exec("DELETE FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ? AND CDEMPRESA {EQ} ? AND NMPARAMAPU {EQ} ? "
                                                   "AND IDPARAMAPU {EQ} ? AND IDIMPOSTO {EQ} ? AND VRPORCENTAGEM {EQ} ?",
                                                   {seq, o.str("CDEMPRESA"), o.str("NMPARAMAPU"), o.str("IDPARAMAPU"), o.str("IDIMPOSTO"),
                                                    o.number("VRPORCENTAGEM")});
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                unregisterParent(seq);
                break;
            }
            }
            ++applied;
        }
        return commit(tx, saved(applied));
    }

    QJsonValue saveRecDesp(const Changes& c)
    {
        Transaction tx(db_, true);
        long long applied = 0;
        const QString dup = QStringLiteral("Informação já cadastrada para apuração do Lucro Líquido.");
        for (const Change& ch : c.packet.changes) {
            switch (ch.status) {
            case ChangeStatus::Inserted: {
                const Row n = c.newRow(ch);
                const long long seq = newSequenceNumber(n.value("NRSEQRECDESPIRPJ"), Series::Param);
                const QVariant rate = checkRecDesp(n);
                registerParent(seq);
                guardInsert(
                    [&] {
                        db_.exec("INSERT INTO RECDESPIRPJ (NRSEQRECDESPIRPJ, CDEMPRESA, NMRECDESPIRPJ, NMRECDESPIRPJCHV, IDRECDESPIRPJ, "
                                 "IDRECDESPIRPJOP, NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL, IDCONSVRDEB) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                 {qlonglong(seq), n.str("CDEMPRESA"), n.str("NMRECDESPIRPJ"), fold(n.text("NMRECDESPIRPJ")), n.str("IDRECDESPIRPJ"),
                                  n.str("IDRECDESPIRPJOP"), rate, n.number("VRALIQPRESIRPJ"), n.number("VRALIQPRESCSLL"), n.str("IDCONSVRDEB")});
                    },
                    dup);
                break;
            }
            case ChangeStatus::Modified: {
                const Row o = c.oldRow(ch), n = c.newRow(ch);
                sameKey(o, n, "NRSEQRECDESPIRPJ");
                const QVariant rate = checkRecDesp(n);
                long long changed = 0;
                guardDuplicate(
                    [&] {
                        changed = db_.exec("UPDATE RECDESPIRPJ SET NMRECDESPIRPJ = ?, NMRECDESPIRPJCHV = ?, IDRECDESPIRPJ = ?, IDRECDESPIRPJOP = ?, "
                                           "NRSEQALIQIRPJ = ?, VRALIQPRESIRPJ = ?, VRALIQPRESCSLL = ?, IDCONSVRDEB = ? "
                                           "WHERE NRSEQRECDESPIRPJ = ? AND CDEMPRESA {EQ} ? AND NMRECDESPIRPJ {EQ} ? AND IDRECDESPIRPJ {EQ} ? "
                                           "AND IDRECDESPIRPJOP {EQ} ? AND NRSEQALIQIRPJ {EQ} ? AND VRALIQPRESIRPJ {EQ} ? AND VRALIQPRESCSLL {EQ} ? "
                                           "AND IDCONSVRDEB {EQ} ?",
                                           {n.str("NMRECDESPIRPJ"), fold(n.text("NMRECDESPIRPJ")), n.str("IDRECDESPIRPJ"), n.str("IDRECDESPIRPJOP"), rate,
                                            n.number("VRALIQPRESIRPJ"), n.number("VRALIQPRESCSLL"), n.str("IDCONSVRDEB"), o.oldKey("NRSEQRECDESPIRPJ"),
                                            o.str("CDEMPRESA"), o.str("NMRECDESPIRPJ"), o.str("IDRECDESPIRPJ"), o.str("IDRECDESPIRPJOP"),
                                            o.oldKey("NRSEQALIQIRPJ"), o.number("VRALIQPRESIRPJ"), o.number("VRALIQPRESCSLL"), o.str("IDCONSVRDEB")});
                    },
                    dup);
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                break;
            }
            case ChangeStatus::Deleted: {
                const Row o = c.oldRow(ch);
                const QVariant seq = o.oldKey("NRSEQRECDESPIRPJ");
                const long long changed =
                    db_.exec("DELETE FROM RECDESPIRPJ WHERE NRSEQRECDESPIRPJ = ? AND CDEMPRESA {EQ} ? AND NMRECDESPIRPJ {EQ} ? "
                             "AND IDRECDESPIRPJ {EQ} ? AND IDRECDESPIRPJOP {EQ} ? AND NRSEQALIQIRPJ {EQ} ? AND VRALIQPRESIRPJ {EQ} ? "
                             "AND VRALIQPRESCSLL {EQ} ? AND IDCONSVRDEB {EQ} ?",
                             {seq, o.str("CDEMPRESA"), o.str("NMRECDESPIRPJ"), o.str("IDRECDESPIRPJ"), o.str("IDRECDESPIRPJOP"), o.oldKey("NRSEQALIQIRPJ"),
                              o.number("VRALIQPRESIRPJ"), o.number("VRALIQPRESCSLL"), o.str("IDCONSVRDEB")});
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                unregisterParent(seq);
                break;
            }
            }
            ++applied;
        }
        return commit(tx, saved(applied));
    }

    QJsonValue saveInfCtb(const Changes& c)
    {
        Transaction tx(db_, true);
        long long applied = 0;
        const QString dup = QStringLiteral("Informação Contábil já cadastrada.");
        for (const Change& ch : c.packet.changes) {
            switch (ch.status) {
            case ChangeStatus::Inserted: {
                const Row n = c.newRow(ch);
                const long long seq = newSequenceNumber(n.value("NRSEQINFCTBIRPJ"), Series::InfCtb);
                const QString key = checkInfCtb(n);
                requireParent(n.value("NRSEQPARAMAPU"));
                requireSource(n);
                if (!db_.query("SELECT 1 FROM INFCTBIRPJ WHERE NRSEQINFCTBIRPJ = ?", {qlonglong(seq)}).empty())
                    refuse(code::Duplicate, kSeqTaken);
                guardDuplicate(
                    [&] {
                        db_.exec("INSERT INTO INFCTBIRPJ (NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, CDTIPODEMO, "
                                 "CDINFCTBIRPJCHV, IDFORMAPURITEM) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                                 {qlonglong(seq), qlonglong(*wholeNumber(n.value("NRSEQPARAMAPU").toDouble())), n.str("IDINFCTBIRPJ"), n.str("CHAVE"),
                                  n.str("CDINFCTBIRPJ"), n.str("CDTIPODEMO"), key, n.str("IDFORMAPURITEM")});
                    },
                    dup);
                break;
            }
            case ChangeStatus::Modified: {
                const Row o = c.oldRow(ch), n = c.newRow(ch);
                sameKey(o, n, "NRSEQINFCTBIRPJ");
                if (n.value("NRSEQPARAMAPU") != o.value("NRSEQPARAMAPU"))
                    refuse(code::Validation, QStringLiteral("Uma informação contábil não pode passar para outro registro."));
                const QString key = checkInfCtb(n);
                // An unchanged origin and code is kept as loaded even if its account
                // or item has since been removed, as the screen does.
                if (n.value("IDINFCTBIRPJ") != o.value("IDINFCTBIRPJ") || n.value("CDINFCTBIRPJ") != o.value("CDINFCTBIRPJ") ||
                    n.value("CDTIPODEMO") != o.value("CDTIPODEMO"))
                    requireSource(n);
                long long changed = 0;
                guardDuplicate(
                    [&] {
                        changed = db_.exec("UPDATE INFCTBIRPJ SET IDINFCTBIRPJ = ?, CHAVE = ?, CDINFCTBIRPJ = ?, CDTIPODEMO = ?, CDINFCTBIRPJCHV = ?, "
                                           "IDFORMAPURITEM = ? WHERE NRSEQINFCTBIRPJ = ? AND NRSEQPARAMAPU {EQ} ? AND IDINFCTBIRPJ {EQ} ? "
                                           "AND CHAVE {EQ} ? AND CDINFCTBIRPJ {EQ} ? AND CDTIPODEMO {EQ} ? AND IDFORMAPURITEM {EQ} ?",
                                           {n.str("IDINFCTBIRPJ"), n.str("CHAVE"), n.str("CDINFCTBIRPJ"), n.str("CDTIPODEMO"), key, n.str("IDFORMAPURITEM"),
                                            o.oldKey("NRSEQINFCTBIRPJ"), o.oldKey("NRSEQPARAMAPU"), o.str("IDINFCTBIRPJ"), o.str("CHAVE"),
                                            o.str("CDINFCTBIRPJ"), o.str("CDTIPODEMO"), o.str("IDFORMAPURITEM")});
                    },
                    dup);
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                break;
            }
            case ChangeStatus::Deleted: {
                const Row o = c.oldRow(ch);
                const long long changed = db_.exec("DELETE FROM INFCTBIRPJ WHERE NRSEQINFCTBIRPJ = ? AND NRSEQPARAMAPU {EQ} ? AND IDINFCTBIRPJ {EQ} ? "
                                                   "AND CHAVE {EQ} ? AND CDINFCTBIRPJ {EQ} ? AND CDTIPODEMO {EQ} ? AND IDFORMAPURITEM {EQ} ?",
                                                   {o.oldKey("NRSEQINFCTBIRPJ"), o.oldKey("NRSEQPARAMAPU"), o.str("IDINFCTBIRPJ"), o.str("CHAVE"),
                                                    o.str("CDINFCTBIRPJ"), o.str("CDTIPODEMO"), o.str("IDFORMAPURITEM")});
                if (changed != 1)
                    refuse(code::Conflict, kConflict);
                break;
            }
            }
            ++applied;
        }
        return commit(tx, saved(applied));
    }

    QJsonValue deleteInfCtb(double parent)
    {
        Transaction tx(db_, true);
        const auto n = wholeNumber(parent);
        if (!n || db_.query("SELECT 1 FROM APURPAI WHERE NRSEQPARAMAPU = ?", {qlonglong(*n)}).empty())
            refuse(code::MissingReference, QStringLiteral("O registro informado não existe mais. Recarregue os dados e tente novamente."));
        // Held, not dropped: the parent's own delete, sent next, removes them in
        // its transaction; if that delete is refused they come back (restoreHeldInfCtb).
        db_.exec("INSERT INTO INFCTBIRPJREMOVIDA (" + std::string(kInfCtbColumns) + ", DTREMOCAO) SELECT " + kInfCtbColumns +
                     ", ? FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ?",
                 {qlonglong(QDateTime::currentSecsSinceEpoch()), qlonglong(*n)});
        const long long applied = db_.exec("DELETE FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ?", {qlonglong(*n)});
        return commit(tx, saved(applied));
    }

    // Accounting information held for a parent that still exists comes back:
    // the parent's delete was refused, or (held before `heldBefore`, long
    // past the moment the delete follows) never came. A row whose key was
    // entered again meanwhile stays as entered.
    void restoreHeldInfCtb(long long parent, long long heldBefore = std::numeric_limits<long long>::max())
    {
        if (db_.query("SELECT 1 FROM INFCTBIRPJREMOVIDA WHERE NRSEQPARAMAPU = ? AND DTREMOCAO < ? LIMIT 1", {qlonglong(parent), qlonglong(heldBefore)})
                .empty())
            return;
        Transaction tx(db_, true);
        if (!db_.query("SELECT 1 FROM APURPAI WHERE NRSEQPARAMAPU = ?", {qlonglong(parent)}).empty()) {
            const bool pg = db_.dialect() == Dialect::Postgres;
            db_.exec(std::string(pg ? "INSERT INTO INFCTBIRPJ (" : "INSERT OR IGNORE INTO INFCTBIRPJ (") + kInfCtbColumns + ") SELECT " +
                         kInfCtbColumns + " FROM INFCTBIRPJREMOVIDA WHERE NRSEQPARAMAPU = ? AND DTREMOCAO < ?" + (pg ? " ON CONFLICT DO NOTHING" : ""),
                     {qlonglong(parent), qlonglong(heldBefore)});
        }
        db_.exec("DELETE FROM INFCTBIRPJREMOVIDA WHERE NRSEQPARAMAPU = ? AND DTREMOCAO < ?", {qlonglong(parent), qlonglong(heldBefore)});
        tx.commit();
    }

    // A refused save that deleted parents gives them back their accounting
    // information, taken away just before by setDeleteInfCtb.
    QJsonValue keepingHeldOnRefusal(const Changes& c, const char* seqField, const std::function<QJsonValue()>& save)
    {
        try {
            return save();
        } catch (...) {
            for (const Change& ch : c.packet.changes) {
                if (ch.status != ChangeStatus::Deleted)
                    continue;
                const auto n = wholeNumber(c.oldRow(ch).value(QString::fromLatin1(seqField)).toDouble());
                try {
                    if (n)
                        restoreHeldInfCtb(*n);
                } catch (...) {
                    // The refusal is what the client must hear; the rows stay
                    // held and come back on a later read.
                }
            }
            throw;
        }
    }

private:
    QJsonValue commit(Transaction& tx, const QJsonValue& result)
    {
        if (beforeCommit_)
            beforeCommit_(result);
        tx.commit();
        return result;
    }

    // A new row's number: whole, in the client's 32-bit range and already
    // issued by its series, so a client can never take a number ahead of it.
    long long newSequenceNumber(const QVariant& v, Series s)
    {
        if (!v.isValid())
            refuse(code::Validation, QStringLiteral("Número de sequência deve ser informado."));
        const auto n = wholeNumber(v.toDouble());
        if (!n || *n < 1 || *n > kSeqMax)
            refuse(code::Validation, kSeqInvalid);
        // Parent numbers are checked as they are registered (registerParent).
        if (s == Series::InfCtb && *n > lastIssued(db_, s))
            refuse(code::Validation, kSeqNotIssued);
        return *n;
    }

    static void sameKey(const Row& o, const Row& n, const char* field)
    {
        if (n.value(field) != o.value(field))
            refuse(code::Validation, kSeqChanged);
        if (!n.isNull("CDEMPRESA") || !o.isNull("CDEMPRESA"))
            if (n.value("CDEMPRESA") != o.value("CDEMPRESA"))
                refuse(code::Validation, kCompanyChanged);
    }

    static void requireText(const Row& r, const char* field, const QString& message)
    {
        if (r.text(field).trimmed().isEmpty())
            refuse(code::Validation, message);
    }

    static void requireLetter(const Row& r, const char* field, const char* letters, const QString& missing, const QString& invalid)
    {
        const QString v = r.text(field);
        if (v.isEmpty())
            refuse(code::Validation, missing);
        if (v.size() != 1 || !QLatin1String(letters).contains(v[0]))
            refuse(code::Validation, invalid);
    }

    static void checkParamApu(const Row& n)
    {
        requireText(n, "CDEMPRESA", QStringLiteral("Empresa deve ser informada."));
        requireText(n, "NMPARAMAPU", QStringLiteral("Nome deve ser informado."));
        requireLetter(n, "IDPARAMAPU", "AEC", QStringLiteral("Tipo deve ser informado."), QStringLiteral("Tipo informado inválido."));
        requireLetter(n, "IDIMPOSTO", "IC", QStringLiteral("Imposto deve ser informado."), QStringLiteral("Imposto informado inválido."));
        if (n.isNull("VRPORCENTAGEM"))
            refuse(code::Validation, QStringLiteral("Porcentagem do valor deve ser informada."));
        const double pct = n.value("VRPORCENTAGEM").toDouble();
        if (!(pct > 0 && pct <= 100))
            refuse(code::Validation, QStringLiteral("Valor da porcentagem deve ser maior que zero e no máximo 100."));
    }

    // Returns the rate entry's code, which must exist.
    QVariant checkRecDesp(const Row& n)
    {
        requireText(n, "CDEMPRESA", QStringLiteral("Empresa deve ser informada."));
        requireText(n, "NMRECDESPIRPJ", QStringLiteral("Nome deve ser informado."));
        requireLetter(n, "IDRECDESPIRPJ", "RD", QStringLiteral("Receita ou Despesa deve ser selecionado."),
                      QStringLiteral("Identificador de Receita ou Despesa inválido."));
        requireLetter(n, "IDRECDESPIRPJOP", "SN", QStringLiteral("Operacional ou Não Operacional deve ser selecionado."),
                      QStringLiteral("Valor informado para Operacional inválido."));
        requireLetter(n, "IDCONSVRDEB", "SN", QStringLiteral("Considera Vr.Débito deve ser informado."),
                      QStringLiteral("Valor informado para Considera Vr.Débito inválido."));
        if (n.isNull("NRSEQALIQIRPJ"))
            refuse(code::Validation, QStringLiteral("Código da Alíquota de Presunção deve ser informada."));
        const auto rate = wholeNumber(n.value("NRSEQALIQIRPJ").toDouble());
        const SqlRows entry =
            rate ? db_.query("SELECT VRALIQPRESIRPJ, VRALIQPRESCSLL FROM ALIQIRPJ WHERE NRSEQALIQIRPJ = ?", {qlonglong(*rate)}) : SqlRows{};
        if (entry.empty())
            refuse(code::MissingReference, QStringLiteral("Alíquota de Presunção não cadastrada."));
        // The item carries copies of its entry's two rates: values of the
        // client's own would be stored beside a code that says otherwise.
        if (n.isNull("VRALIQPRESIRPJ") || n.isNull("VRALIQPRESCSLL") || n.value("VRALIQPRESIRPJ").toDouble() != entry[0][0].toDouble() ||
            n.value("VRALIQPRESCSLL").toDouble() != entry[0][1].toDouble())
            refuse(code::Validation, QStringLiteral("As alíquotas do item não correspondem às da Alíquota de Presunção cadastrada, que pode ter "
                                                    "sido alterada. Recarregue os dados (Verificar, F5) e tente novamente."));
        return qlonglong(*rate);
    }

    // Checks the coded fields and that the stored codes are the ones the key
    // gives; returns the case-folded key of the unique index.
    static QString checkInfCtb(const Row& n)
    {
        if (n.isNull("NRSEQPARAMAPU"))
            refuse(code::Validation, QStringLiteral("O registro da informação contábil deve ser informado."));
        requireLetter(n, "IDINFCTBIRPJ", "CI", QStringLiteral("Origem do valor deve ser informada."), QStringLiteral("Origem do valor inválida."));
        requireLetter(n, "IDFORMAPURITEM", "CP", QStringLiteral("Forma de apuração deve ser informada."), QStringLiteral("Forma de apuração inválida."));
        const QString key = n.text("CHAVE"), cd = n.text("CDINFCTBIRPJ"), type = n.text("CDTIPODEMO");
        const QString mismatch = QStringLiteral("O código da informação contábil não corresponde à chave informada.");
        if (n.text("IDINFCTBIRPJ") == QLatin1String("C")) {
            if (key.trimmed().isEmpty())
                refuse(code::Validation, QStringLiteral("Conta Contábil deve ser informada."));
            if (cd != key || !type.isEmpty())
                refuse(code::Validation, mismatch);
        } else {
            if (key.trimmed().isEmpty())
                refuse(code::Validation, QStringLiteral("Item de Estrutura deve ser informado."));
            if (type != key.left(2) || cd != key.mid(2, 4))
                refuse(code::Validation, mismatch);
        }
        return fold(type) + QLatin1Char('/') + fold(cd);
    }

    void requireSource(const Row& n)
    {
        if (n.text("IDINFCTBIRPJ") == QLatin1String("C")) {
            if (db_.query("SELECT 1 FROM CONTCTBL WHERE CDCONTCTBL = ?", {n.str("CDINFCTBIRPJ")}).empty())
                refuse(code::MissingReference, QStringLiteral("Conta Contábil não cadastrada."));
        } else if (db_.query("SELECT 1 FROM ITEMESTRUDRE WHERE CDTIPODEMO = ? AND CDITEMSTRU = ?", {n.str("CDTIPODEMO"), n.str("CDINFCTBIRPJ")}).empty()) {
            refuse(code::MissingReference, QStringLiteral("Item de Estrutura não cadastrado."));
        }
    }

    void requireParent(const QVariant& parent)
    {
        const auto n = wholeNumber(parent.toDouble());
        if (!n || db_.query("SELECT 1 FROM APURPAI WHERE NRSEQPARAMAPU = ?", {qlonglong(*n)}).empty())
            refuse(code::MissingReference, QStringLiteral("O registro desta informação contábil não existe mais. Recarregue os dados e tente novamente."));
    }


    // Registers a new parent number, which its series must already have issued;
    // one statement does both, one round trip less on PostgreSQL.
    void registerParent(long long seq)
    {
        const char* sql = db_.dialect() == Dialect::Postgres
                              ? "INSERT INTO APURPAI (NRSEQPARAMAPU) SELECT CAST(? AS BIGINT) WHERE CAST(? AS BIGINT) <= "
                                "(SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM SQPARAMIRPJ)"
                              : "INSERT INTO APURPAI (NRSEQPARAMAPU) SELECT CAST(? AS BIGINT) WHERE CAST(? AS BIGINT) <= "
                                "(SELECT VRULTIMO FROM SEQUENCIA WHERE NMSEQUENCIA = 'PARAMIRPJ')";
        long long inserted = 0;
        try {
            inserted = db_.exec(sql, {qlonglong(seq), qlonglong(seq)});
        } catch (const DbError& e) {
            if (e.kind() == DbError::Kind::Unique)
                refuse(code::Duplicate, kSeqTaken);
            throw;
        }
        if (inserted != 1)
            refuse(code::Validation, kSeqNotIssued);
    }

    // Runs after the parent row is gone: its accounting information must go first.
    void unregisterParent(const QVariant& seq)
    {
        db_.exec("DELETE FROM INFCTBIRPJREMOVIDA WHERE NRSEQPARAMAPU = ?", {seq});
        if (!db_.query("SELECT 1 FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ? LIMIT 1", {seq}).empty())
            refuse(code::Validation, QStringLiteral("Exclua antes as informações contábeis deste registro."));
        db_.exec("DELETE FROM APURPAI WHERE NRSEQPARAMAPU = ?", {seq});
    }

    // A new row of a company: its parent number was registered just before and
    // its rate entry (if any) checked, so a missing reference can only be the
    // company. The foreign key decides, which also holds against a racing delete.
    static void guardInsert(const std::function<void()>& write, const QString& duplicate)
    {
        try {
            write();
        } catch (const DbError& e) {
            if (e.kind() == DbError::Kind::Unique)
                refuse(code::Duplicate, duplicate);
            if (e.kind() == DbError::Kind::ForeignKey)
                refuse(code::MissingReference, QStringLiteral("Empresa não cadastrada."));
            throw;
        }
    }

    static void guardDuplicate(const std::function<void()>& write, const QString& message)
    {
        try {
            write();
        } catch (const DbError& e) {
            if (e.kind() == DbError::Kind::Unique)
                refuse(code::Duplicate, message);
            throw;
        }
    }

    Db& db_;
    const ParamService::BeforeCommit& beforeCommit_;
};

using Handler = std::function<QJsonValue(Methods&, const QJsonArray&)>;

const QHash<QString, Handler>& handlers()
{
    static const QHash<QString, Handler> table{
        {m::getItensDRE, [](Methods& s, const QJsonArray& p) { return noParams(p, m::getItensDRE), s.itensDRE(); }},
        {m::getAliquotas, [](Methods& s, const QJsonArray& p) { return noParams(p, m::getAliquotas), s.aliquotas(); }},
        {m::GetParamIRPJ, [](Methods& s, const QJsonArray& p) { return s.paramApu(companyParam(p, m::GetParamIRPJ), QStringLiteral("I")); }},
        {m::GetParamCSLL, [](Methods& s, const QJsonArray& p) { return s.paramApu(companyParam(p, m::GetParamCSLL), QStringLiteral("C")); }},
        {m::getRecDesp, [](Methods& s, const QJsonArray& p) { return s.recDesp(companyParam(p, m::getRecDesp)); }},
        {m::getInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return s.infCtb(numberParam(p, m::getInfCtbIRPJ)); }},
        {m::prxSeqParamIRPJ, [](Methods& s, const QJsonArray& p) { return noParams(p, m::prxSeqParamIRPJ), s.sequence(Series::Param); }},
        {m::prxInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return noParams(p, m::prxInfCtbIRPJ), s.sequence(Series::InfCtb); }},
        {m::SetParamIRPJ,
         [](Methods& s, const QJsonArray& p) {
             const Changes c = decodeChanges(p, m::SetParamIRPJ, contract::paramApuLayout());
             return s.keepingHeldOnRefusal(c, "NRSEQPARAMAPU", [&] { return s.saveParamApu(c); });
         }},
        {m::SetInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return s.saveInfCtb(decodeChanges(p, m::SetInfCtbIRPJ, contract::infCtbLayout())); }},
        {m::setRecDesp,
         [](Methods& s, const QJsonArray& p) {
             const Changes c = decodeChanges(p, m::setRecDesp, contract::recDespLayout());
             return s.keepingHeldOnRefusal(c, "NRSEQRECDESPIRPJ", [&] { return s.saveRecDesp(c); });
         }},
        {m::setDeleteInfCtb, [](Methods& s, const QJsonArray& p) { return s.deleteInfCtb(numberParam(p, m::setDeleteInfCtb)); }},
    };
    return table;
}

} // namespace

QJsonValue ParamService::call(const QString& method, const QJsonArray& params, const BeforeCommit& beforeCommit)
{
    const auto& table = handlers();
    const auto it = table.find(method);
    if (it == table.end())
        refuse(code::MethodNotFound, QStringLiteral("Método desconhecido: %1.").arg(method.left(100)));
    Methods methods(db_, beforeCommit);
    try {
        return it.value()(methods, params);
    } catch (const DbError& e) {
        switch (e.kind()) {
        case DbError::Kind::Unique: throw RpcError(code::Duplicate, QStringLiteral("Registro já cadastrado."), e.what());
        case DbError::Kind::ForeignKey: throw RpcError(code::MissingReference, QStringLiteral("Um registro referenciado não existe."), e.what());
        case DbError::Kind::Check: throw RpcError(code::Validation, QStringLiteral("Um valor informado é inválido."), e.what());
        case DbError::Kind::Busy:
            throw RpcError(code::Storage, QStringLiteral("O banco de dados está ocupado. Tente novamente em instantes."), e.what());
        case DbError::Kind::CommitUncertain:
            // Never "try again" after a save: the change may already be
            // stored. A read or a number asked again is harmless (a number
            // drawn twice is only a gap), so those stay ordinary failures.
            if (!contract::changesParameters(method))
                throw RpcError(code::Storage, QStringLiteral("Não foi possível acessar o banco de dados. Tente novamente em instantes."), e.what());
            throw RpcError(code::Uncertain,
                           QStringLiteral("A gravação foi interrompida por uma falha do banco de dados e não é possível saber se a alteração "
                                          "foi mantida. Os registros serão recarregados para mostrar o que está gravado."),
                           e.what());
        default: throw RpcError(code::Storage, QStringLiteral("Não foi possível acessar o banco de dados. Tente novamente em instantes."), e.what());
        }
    }
}

} // namespace erp::server
