// SPDX-License-Identifier: MIT
#include "paramservice.h"

#include "changes.h"
#include "ecf/codes.h"
#include "copy.h"
#include "heldinfctb.h"
#include "history.h"
#include "lawchecks.h"
#include "schema.h"
#include "tablesql.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"

#include <QHash>
#include <QDateTime>
#include <QJsonObject>

#include <array>
#include <functional>

namespace erp::server {

namespace {

namespace m = contract::method;
namespace f = contract::f;
namespace letter = contract::letter;

const QString kSeqInvalid = QStringLiteral("Número de sequência inválido.");
const QString kSeqNotIssued = QStringLiteral("Número de sequência não emitido pelo servidor de aplicação.");
const QString kSeqTaken = QStringLiteral("Já existe um registro com este número de sequência.");

constexpr long long kSeqMax = 2147483647;

[[noreturn]] void refuse(int c, const QString& message)
{
    throw RpcError(c, message);
}

QString companyParam(const QJsonArray& params, const char* method)
{
    if (params.size() != 1 || !params[0].isString())
        refuse(code::InvalidParams, QStringLiteral("O método %1 espera o código da empresa.").arg(QLatin1String(method)));
    if (params[0].toString().contains(QChar(0)))
        refuse(code::InvalidParams, QStringLiteral("O código da empresa contém o caractere nulo."));
    return params[0].toString();
}

// getHistorico: the company and the number of a parameter row.
std::pair<QString, double> companyAndNumberParams(const QJsonArray& params, const char* method)
{
    if (params.size() != 2 || !params[0].isString() || !params[1].isDouble())
        refuse(code::InvalidParams,
               QStringLiteral("O método %1 espera o código da empresa e o número de sequência do registro.").arg(QLatin1String(method)));
    return {params[0].toString(), params[1].toDouble()};
}

// copiaParamIRPJ and its preview: the source and the target company.
std::pair<QString, QString> twoCompanyParams(const QJsonArray& params, const char* method)
{
    if (params.size() != 2 || !params[0].isString() || !params[1].isString())
        refuse(code::InvalidParams, QStringLiteral("O método %1 espera o código da empresa de origem e o da empresa de destino.").arg(QLatin1String(method)));
    for (const QJsonValue& v : params)
        if (v.toString().contains(QChar(0)))
            refuse(code::InvalidParams, QStringLiteral("O código da empresa contém o caractere nulo."));
    return {params[0].toString(), params[1].toString()};
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

QJsonObject saved(long long applied)
{
    return {{QStringLiteral("status"), QStringLiteral("ok")}, {QStringLiteral("applied"), applied}};
}

// --- each table's own checks, in the order the client hears of them ---

void requireText(const Row& r, const char* field, const QString& message)
{
    if (r.text(field).trimmed().isEmpty())
        refuse(code::Validation, message);
}

void requireLetter(const Row& r, const char* field, const char* letters, const QString& missing, const QString& invalid)
{
    const QString v = r.text(field);
    if (v.isEmpty())
        refuse(code::Validation, missing);
    if (!contract::holdsLetter(v, letters))
        refuse(code::Validation, invalid);
}

void checkParamApu(const Row& n)
{
    requireText(n, f::CDEMPRESA, QStringLiteral("Empresa deve ser informada."));
    requireText(n, f::NMPARAMAPU, QStringLiteral("Nome deve ser informado."));
    requireLetter(n, f::IDPARAMAPU, letter::tipo::all, QStringLiteral("Tipo deve ser informado."), QStringLiteral("Tipo informado inválido."));
    requireLetter(n, f::IDIMPOSTO, letter::imposto::all, QStringLiteral("Imposto deve ser informado."), QStringLiteral("Imposto informado inválido."));
    if (n.isNull(f::VRPORCENTAGEM))
        refuse(code::Validation, QStringLiteral("Porcentagem do valor deve ser informada."));
    const double pct = n.value(f::VRPORCENTAGEM).toDouble();
    if (!(pct > 0 && pct <= 100))
        refuse(code::Validation, QStringLiteral("Valor da porcentagem deve ser maior que zero e no máximo 100."));
}

// The rate entry must exist, and the item carries copies of its two rates.
void checkRecDesp(Db& db, const Row& n)
{
    requireText(n, f::CDEMPRESA, QStringLiteral("Empresa deve ser informada."));
    requireText(n, f::NMRECDESPIRPJ, QStringLiteral("Nome deve ser informado."));
    requireLetter(n, f::IDRECDESPIRPJ, letter::recDesp::all, QStringLiteral("Receita ou Despesa deve ser selecionado."),
                  QStringLiteral("Identificador de Receita ou Despesa inválido."));
    requireLetter(n, f::IDRECDESPIRPJOP, letter::simNao::all, QStringLiteral("Operacional ou Não Operacional deve ser selecionado."),
                  QStringLiteral("Valor informado para Operacional inválido."));
    requireLetter(n, f::IDCONSVRDEB, letter::simNao::all, QStringLiteral("Considera Vr.Débito deve ser informado."),
                  QStringLiteral("Valor informado para Considera Vr.Débito inválido."));
    if (n.isNull(f::NRSEQALIQIRPJ))
        refuse(code::Validation, QStringLiteral("Código da Alíquota de Presunção deve ser informada."));
    static const std::string entrySql = aliquotasSql().select({f::NRSEQALIQIRPJ});
    const auto rate = wholeNumber(n.value(f::NRSEQALIQIRPJ).toDouble());
    const SqlRows entry = rate ? db.query(entrySql, {qlonglong(*rate)}) : SqlRows{};
    if (entry.empty())
        refuse(code::MissingReference, QStringLiteral("Alíquota de Presunção não cadastrada."));
    // Values of the client's own would be stored beside a code that says otherwise.
    for (const char* rateField : {f::VRALIQPRESIRPJ, f::VRALIQPRESCSLL})
        if (n.isNull(rateField) || n.value(rateField).toDouble() != entry[0][std::size_t(aliquotasSql().column(rateField))].toDouble())
            refuse(code::Validation, QStringLiteral("As alíquotas do item não correspondem às da Alíquota de Presunção cadastrada, que pode ter "
                                                    "sido alterada. Recarregue os dados (Verificar, F5) e tente novamente."));
}

// The coded fields, and that the stored codes are the ones the key gives.
void checkInfCtb(const Row& n)
{
    if (n.isNull(f::NRSEQPARAMAPU))
        refuse(code::Validation, QStringLiteral("O registro da informação contábil deve ser informado."));
    requireLetter(n, f::IDINFCTBIRPJ, letter::origem::all, QStringLiteral("Origem do valor deve ser informada."),
                  QStringLiteral("Origem do valor inválida."));
    requireLetter(n, f::IDFORMAPURITEM, letter::apuracao::all, QStringLiteral("Forma de apuração deve ser informada."),
                  QStringLiteral("Forma de apuração inválida."));
    const QString key = n.text(f::CHAVE), cd = n.text(f::CDINFCTBIRPJ), type = n.text(f::CDTIPODEMO);
    const QString mismatch = QStringLiteral("O código da informação contábil não corresponde à chave informada.");
    if (n.text(f::IDINFCTBIRPJ) == contract::letterText(letter::origem::Conta)) {
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
}

void requireSource(Db& db, const Row& n)
{
    static const std::string account = contCtblSql().exists({f::CDCONTCTBL});
    static const std::string item = itensDRESql().exists({f::CDTIPODEMO, f::CDITEMSTRU});
    if (n.text(f::IDINFCTBIRPJ) == contract::letterText(letter::origem::Conta)) {
        if (db.query(account, {n.str(f::CDINFCTBIRPJ)}).empty())
            refuse(code::MissingReference, QStringLiteral("Conta Contábil não cadastrada."));
    } else if (db.query(item, {n.str(f::CDTIPODEMO), n.str(f::CDINFCTBIRPJ)}).empty()) {
        refuse(code::MissingReference, QStringLiteral("Item de Estrutura não cadastrado."));
    }
}

bool parentExists(Db& db, long long parent)
{
    return !db.query(apurPaiSql().keyExists(), {qlonglong(parent)}).empty();
}

void requireParent(Db& db, const Row& n)
{
    const auto parent = wholeNumber(n.value(f::NRSEQPARAMAPU).toDouble());
    if (!parent || !parentExists(db, *parent))
        refuse(code::MissingReference, QStringLiteral("O registro desta informação contábil não existe mais. Recarregue os dados e tente novamente."));
}

// How one table's rows are saved: its statements and its own checks.
struct SaveRules {
    const TableSql& table;
    Series series;
    // What the client hears of a row its unique index refuses.
    QString duplicate;
    // Rows of the table are parents of accounting information: their numbers
    // are registered, and a refused save gives back what setDeleteInfCtb held.
    bool parents;
    std::function<void(Db&, const Row& n)> checkNew;
    std::function<void(Db&, const Row& o, const Row& n)> checkChanged;
    // What goes with a row in its delete, before the row itself.
    std::function<void(Db&, History&, long long number, const QString& company)> beforeDelete;
};

const SaveRules& paramApuRules()
{
    static const SaveRules r{paramApuSql(), Series::Param, QStringLiteral("Item já cadastrado para o imposto selecionado."), true,
                             [](Db&, const Row& n) { checkParamApu(n); }, [](Db&, const Row&, const Row& n) { checkParamApu(n); },
                             ecf::removeCodeOf};
    return r;
}

const SaveRules& recDespRules()
{
    static const SaveRules r{recDespSql(), Series::Param, QStringLiteral("Informação já cadastrada para apuração do Lucro Líquido."), true, checkRecDesp,
                             [](Db& db, const Row&, const Row& n) { checkRecDesp(db, n); }, {}};
    return r;
}

const SaveRules& infCtbRules()
{
    static const SaveRules r{infCtbSql(), Series::InfCtb, QStringLiteral("Informação Contábil já cadastrada."), false,
                             [](Db& db, const Row& n) {
                                 checkInfCtb(n);
                                 requireParent(db, n);
                                 requireSource(db, n);
                             },
                             [](Db& db, const Row& o, const Row& n) {
                                 if (n.value(f::NRSEQPARAMAPU) != o.value(f::NRSEQPARAMAPU))
                                     refuse(code::Validation, QStringLiteral("Uma informação contábil não pode passar para outro registro."));
                                 checkInfCtb(n);
                                 // An unchanged origin and code is kept as loaded even if its
                                 // account or item has since been removed, as the screen does.
                                 for (const char* source : {f::IDINFCTBIRPJ, f::CDINFCTBIRPJ, f::CDTIPODEMO})
                                     if (n.value(source) != o.value(source))
                                         return requireSource(db, n);
                             },
                             {}};
    return r;
}

// Whose a changed row is: the company whose access it needs and the history
// records, and the parameter row it belongs to.
struct Owner {
    QString company;
    long long parent = 0;
};

class Methods {
public:
    Methods(Db& db, const ParamService::BeforeCommit& beforeCommit, const Caller& caller, History history)
        : db_(db), beforeCommit_(beforeCommit), caller_(caller), history_(std::move(history))
    {
    }

    QJsonValue readItensDRE()
    {
        static const std::string sql = itensDRESql().select();
        return packet::toJson(itensDRESql().rows(db_.query(sql)));
    }

    // The packet adds each entry's number as text, which the client searches.
    QJsonValue readAliquotas()
    {
        static const std::string sql = aliquotasSql().select();
        const DataPacket stored = aliquotasSql().rows(db_.query(sql));
        DataPacket p;
        p.fields = contract::aliquotasLayout();
        std::vector<int> from;
        for (const FieldDef& field : p.fields)
            from.push_back(stored.indexOf(field.name));
        const int seq = stored.indexOf(QString::fromLatin1(f::NRSEQALIQIRPJ));
        const int search = p.indexOf(QString::fromLatin1(f::NRSEQALIQIRPJPESQ));
        for (const RowValues& r : stored.rows) {
            RowValues v;
            for (std::size_t i = 0; i < from.size(); ++i)
                v.append(int(i) == search ? QVariant(QString::number(qlonglong(r[seq].toDouble()))) : r[from[i]]);
            p.rows.push_back(std::move(v));
        }
        return packet::toJson(p);
    }

    QJsonValue readParamApu(const QString& company, char tax)
    {
        requireAccess(company);
        static const std::string sql = paramApuSql().select({f::CDEMPRESA, f::IDIMPOSTO});
        return packet::toJson(paramApuSql().rows(db_.query(sql, {company, contract::letterText(tax)})));
    }

    QJsonValue readRecDesp(const QString& company)
    {
        requireAccess(company);
        static const std::string sql = recDespSql().select({f::CDEMPRESA});
        return packet::toJson(recDespSql().rows(db_.query(sql, {company})));
    }

    QJsonValue readInfCtb(double parent)
    {
        static const std::string sql = infCtbSql().select({f::NRSEQPARAMAPU});
        SqlRows rows;
        if (const auto n = wholeNumber(parent)) {
            requireParentAccess(*n);
            HeldInfCtb(db_, &history_).restore(*n, QDateTime::currentSecsSinceEpoch() - HeldInfCtb::kHoldSeconds);
            rows = db_.query(sql, {qlonglong(*n)});
        }
        return packet::toJson(infCtbSql().rows(std::move(rows)));
    }

    QJsonValue sequence(Series s) { return qint64(nextSequence(db_, s)); }

    QJsonValue save(const SaveRules& rules, const QJsonArray& params, const char* method)
    {
        const Changes c = decodeChanges(params, method, rules.table.table().columns);
        if (!rules.parents)
            return apply(rules, c);
        try {
            return apply(rules, c);
        } catch (...) {
            // A refused save that deleted parents gives them back their
            // accounting information, taken away just before by setDeleteInfCtb.
            for (const Change& ch : c.packet.changes)
                if (ch.status == ChangeStatus::Deleted)
                    if (const auto n = wholeNumber(rules.table.key(c.oldRow(ch)).toDouble()))
                        HeldInfCtb(db_, &history_).restoreQuietly(*n);
            throw;
        }
    }

    QJsonValue deleteInfCtb(double parent)
    {
        Transaction tx(db_, true);
        const auto n = wholeNumber(parent);
        if (n)
            requireParentAccess(*n);
        if (!n || !parentExists(db_, *n))
            refuse(code::MissingReference, QStringLiteral("O registro informado não existe mais. Recarregue os dados e tente novamente."));
        // Held, not dropped: the parent's own delete, sent next, removes them
        // in its transaction; if that delete is refused they come back.
        const long long applied = HeldInfCtb(db_).hold(*n, QDateTime::currentSecsSinceEpoch());
        return commit(tx, saved(applied));
    }

    ecf::Codes ecfCodes()
    {
        return ecf::Codes(
            db_, history_, [this](const QString& company) { requireAccess(company); },
            [this](Transaction& tx, const QJsonValue& result) { return commit(tx, result); });
    }

    QJsonValue readHistory(const QString& company, double number)
    {
        requireAccess(company);
        const auto n = wholeNumber(number);
        DataPacket p = n ? History::read(db_, company, *n) : DataPacket{contract::historicoLayout(), {}};
        return packet::toJson(p);
    }

    // The copy decides what it writes inside its own write transaction,
    // so nothing written meanwhile can make the counts wrong.
    QJsonValue copy(const QString& source, const QString& target)
    {
        requireCopy(source, target);
        Transaction tx(db_, true);
        const CompanyParameters rows = readCopySource(source, target);
        ParameterCopy plan(db_, rows, target);
        plan.apply(history_);
        return commit(tx, plan.counts().result());
    }

    // The copy's own plan, in a read transaction that writes nothing.
    QJsonValue previewCopy(const QString& source, const QString& target)
    {
        requireCopy(source, target);
        Transaction tx(db_, false);
        const CompanyParameters rows = readCopySource(source, target);
        return packet::toJson(ParameterCopy(db_, rows, target).counts().preview());
    }

    QJsonValue verify(const QString& company)
    {
        requireAccess(company);
        Transaction tx(db_, false);
        requireCompany(company);
        return packet::toJson(verifyParameters(db_, company));
    }

private:
    // Refused before anything is read: the same company, or one the user may not see.
    void requireCopy(const QString& source, const QString& target)
    {
        if (source == target)
            refuse(code::Validation, QStringLiteral("A empresa de origem e a de destino devem ser diferentes."));
        requireAccess(source);
        requireAccess(target);
    }

    void requireCompany(const QString& company)
    {
        if (!companyExists(db_, company))
            refuse(code::MissingReference, QStringLiteral("Empresa %1 não cadastrada.").arg(company.left(20)));
    }

    CompanyParameters readCopySource(const QString& source, const QString& target)
    {
        requireCompany(source);
        requireCompany(target);
        return readCompanyParameters(db_, source);
    }

    [[noreturn]] void refuseAccess(const QString& company)
    {
        throw RpcError(code::NoAccess, QStringLiteral("Usuário sem acesso à empresa %1.").arg(company.left(20)),
                       "usuário " + caller_.name.toStdString());
    }

    void requireAccess(const QString& company)
    {
        if (!caller_.sees(company))
            refuseAccess(company);
    }

    // A parent that does not exist belongs to no company: what the call does
    // with it (nothing, or a refusal) is the same for every caller.
    void requireParentAccess(long long parent)
    {
        if (caller_.allCompanies)
            return;
        if (const auto company = companyOfParent(db_, parent))
            requireAccess(*company);
    }

    // Settled for every row a change names, old and new, before anything is written.
    Owner ownerOf(const SaveRules& rules, const Changes& c, const Change& ch)
    {
        const contract::TableDef& t = rules.table.table();
        Owner owner;
        for (const bool old : {true, false}) {
            if ((old && ch.status == ChangeStatus::Inserted) || (!old && ch.status == ChangeStatus::Deleted))
                continue;
            const Row r = old ? c.oldRow(ch) : c.newRow(ch);
            if (t.company) {
                owner.company = r.text(t.company);
                owner.parent = wholeNumber(rules.table.key(r).toDouble()).value_or(0);
                requireAccess(owner.company);
            } else if (const auto parent = wholeNumber(r.value(t.parent).toDouble())) {
                owner.parent = *parent;
                // A parent that is missing fails the change later, for every caller alike.
                owner.company = companyOfParent(db_, *parent).value_or(QString());
                if (!owner.company.isEmpty())
                    requireAccess(owner.company);
            }
        }
        return owner;
    }

    QJsonValue apply(const SaveRules& rules, const Changes& c)
    {
        Transaction tx(db_, true);
        std::vector<Owner> owners;
        owners.reserve(c.packet.changes.size());
        for (const Change& ch : c.packet.changes)
            owners.push_back(ownerOf(rules, c, ch));
        long long applied = 0;
        for (std::size_t i = 0; i < c.packet.changes.size(); ++i) {
            const Change& ch = c.packet.changes[i];
            const Owner& owner = owners[i];
            const Row o = c.oldRow(ch), n = c.newRow(ch);
            switch (ch.status) {
            case ChangeStatus::Inserted:
                insertRow(rules, n);
                history_.record(rules.table, ch.status, owner.company, owner.parent, nullptr, &n);
                break;
            case ChangeStatus::Modified:
                updateRow(rules, o, n);
                history_.record(rules.table, ch.status, owner.company, owner.parent, &o, &n);
                break;
            case ChangeStatus::Deleted:
                deleteRow(rules, o, owner.company);
                history_.record(rules.table, ch.status, owner.company, owner.parent, &o, nullptr);
                break;
            }
            ++applied;
        }
        return commit(tx, saved(applied));
    }

    void insertRow(const SaveRules& rules, const Row& n)
    {
        const TableSql& t = rules.table;
        const long long seq = newSequenceNumber(t.key(n), rules.series);
        rules.checkNew(db_, n);
        if (rules.parents) {
            registerParent(seq);
        } else if (!db_.query(t.keyExists(), {qlonglong(seq)}).empty()) {
            refuse(code::Duplicate, kSeqTaken);
        }
        write(rules, t.insert(), t.insertParams(n), true);
    }

    void updateRow(const SaveRules& rules, const Row& o, const Row& n)
    {
        const TableSql& t = rules.table;
        if (t.key(n) != t.key(o))
            refuse(code::Validation, QStringLiteral("O número de sequência de um registro não pode ser alterado."));
        if (const char* company = t.table().company; company && n.value(company) != o.value(company))
            refuse(code::Validation, QStringLiteral("A empresa de um registro não pode ser alterada."));
        rules.checkChanged(db_, o, n);
        if (write(rules, t.update(), t.updateParams(o, n), false) != 1)
            refuseConflict();
    }

    void deleteRow(const SaveRules& rules, const Row& o, const QString& company)
    {
        const TableSql& t = rules.table;
        if (rules.beforeDelete)
            rules.beforeDelete(db_, history_, t.oldKey(o).toLongLong(), company);
        if (db_.exec(t.remove(), t.removeParams(o)) != 1)
            refuseConflict();
        if (rules.parents)
            unregisterParent(t.oldKey(o), company);
    }

    // A row the unique index refuses is the table's duplicate. A new row's
    // parent number was registered just before and its rate entry (if any)
    // checked, so a missing reference can only be its company: the foreign
    // key decides, which also holds against a racing delete.
    long long write(const SaveRules& rules, const std::string& sql, const SqlParams& params, bool inserting)
    {
        try {
            return db_.exec(sql, params);
        } catch (const DbError& e) {
            if (e.kind() == DbError::Kind::Unique)
                refuse(code::Duplicate, rules.duplicate);
            if (inserting && e.kind() == DbError::Kind::ForeignKey && rules.table.table().company)
                refuse(code::MissingReference, QStringLiteral("Empresa não cadastrada."));
            throw;
        }
    }

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

    // Registers a new parent number, which its series must already have issued;
    // one statement does both, one round trip less on PostgreSQL.
    void registerParent(long long seq)
    {
        static const std::array<std::string, 2> sql = [] {
            std::array<std::string, 2> s;
            for (const Dialect d : {Dialect::Sqlite, Dialect::Postgres})
                s[std::size_t(d)] = "INSERT INTO " + std::string(contract::t::APURPAI) + " (" + f::NRSEQPARAMAPU +
                                    ") SELECT CAST(? AS BIGINT) WHERE CAST(? AS BIGINT) <= (" + lastIssuedSql(d, Series::Param) + ")";
            return s;
        }();
        long long inserted = 0;
        try {
            inserted = db_.exec(sql[std::size_t(db_.dialect())], {qlonglong(seq), qlonglong(seq)});
        } catch (const DbError& e) {
            if (e.kind() == DbError::Kind::Unique)
                refuse(code::Duplicate, kSeqTaken);
            throw;
        }
        if (inserted != 1)
            refuse(code::Validation, kSeqNotIssued);
    }

    // Runs after the parent row is gone: its accounting information must go first.
    void unregisterParent(const QVariant& seq, const QString& company)
    {
        static const std::string children = infCtbSql().exists({f::NRSEQPARAMAPU});
        static const std::string remove = apurPaiSql().removeWhere({f::NRSEQPARAMAPU});
        HeldInfCtb(db_, &history_).purge(seq.toLongLong(), company);
        if (!db_.query(children, {seq}).empty())
            refuse(code::Validation, QStringLiteral("Exclua antes as informações contábeis deste registro."));
        db_.exec(remove, {seq});
    }

    Db& db_;
    const ParamService::BeforeCommit& beforeCommit_;
    const Caller& caller_;
    History history_;
};

using Handler = std::function<QJsonValue(Methods&, const QJsonArray&)>;

const QHash<QString, Handler>& handlers()
{
    static const QHash<QString, Handler> table{
        {m::getItensDRE, [](Methods& s, const QJsonArray& p) { return noParams(p, m::getItensDRE), s.readItensDRE(); }},
        {m::getAliquotas, [](Methods& s, const QJsonArray& p) { return noParams(p, m::getAliquotas), s.readAliquotas(); }},
        {m::GetParamIRPJ, [](Methods& s, const QJsonArray& p) { return s.readParamApu(companyParam(p, m::GetParamIRPJ), letter::imposto::IRPJ); }},
        {m::GetParamCSLL, [](Methods& s, const QJsonArray& p) { return s.readParamApu(companyParam(p, m::GetParamCSLL), letter::imposto::CSLL); }},
        {m::getRecDesp, [](Methods& s, const QJsonArray& p) { return s.readRecDesp(companyParam(p, m::getRecDesp)); }},
        {m::getInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return s.readInfCtb(numberParam(p, m::getInfCtbIRPJ)); }},
        {m::prxSeqParamIRPJ, [](Methods& s, const QJsonArray& p) { return noParams(p, m::prxSeqParamIRPJ), s.sequence(Series::Param); }},
        {m::prxInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return noParams(p, m::prxInfCtbIRPJ), s.sequence(Series::InfCtb); }},
        {m::SetParamIRPJ, [](Methods& s, const QJsonArray& p) { return s.save(paramApuRules(), p, m::SetParamIRPJ); }},
        {m::SetInfCtbIRPJ, [](Methods& s, const QJsonArray& p) { return s.save(infCtbRules(), p, m::SetInfCtbIRPJ); }},
        {m::setRecDesp, [](Methods& s, const QJsonArray& p) { return s.save(recDespRules(), p, m::setRecDesp); }},
        {m::setDeleteInfCtb, [](Methods& s, const QJsonArray& p) { return s.deleteInfCtb(numberParam(p, m::setDeleteInfCtb)); }},
        {m::getHistorico,
         [](Methods& s, const QJsonArray& p) {
             const auto [company, number] = companyAndNumberParams(p, m::getHistorico);
             return s.readHistory(company, number);
         }},
        {m::getTabelaECF, [](Methods& s, const QJsonArray& p) { return s.ecfCodes().table(p); }},
        {m::getCodECF, [](Methods& s, const QJsonArray& p) { return s.ecfCodes().codes(p); }},
        {m::setCodECF, [](Methods& s, const QJsonArray& p) { return s.ecfCodes().save(p); }},
        {m::copiaParamIRPJ,
         [](Methods& s, const QJsonArray& p) {
             const auto [source, target] = twoCompanyParams(p, m::copiaParamIRPJ);
             return s.copy(source, target);
         }},
        {m::previaCopiaParamIRPJ,
         [](Methods& s, const QJsonArray& p) {
             const auto [source, target] = twoCompanyParams(p, m::previaCopiaParamIRPJ);
             return s.previewCopy(source, target);
         }},
        {m::verificaParamIRPJ, [](Methods& s, const QJsonArray& p) { return s.verify(companyParam(p, m::verificaParamIRPJ)); }},
    };
    return table;
}

} // namespace

void checkNewRowContent(Db& db, const contract::TableDef& table, const Row& n)
{
    if (&table == &contract::paramApuTable()) {
        checkParamApu(n);
    } else if (&table == &contract::recDespTable()) {
        checkRecDesp(db, n);
    } else {
        checkInfCtb(n);
        requireSource(db, n);
    }
}

QJsonValue ParamService::call(const QString& method, const QJsonArray& params, const BeforeCommit& beforeCommit)
{
    const auto& table = handlers();
    const auto it = table.find(method);
    if (it == table.end())
        refuse(code::MethodNotFound, QStringLiteral("Método desconhecido: %1.").arg(method.left(100)));
    Methods methods(db_, beforeCommit, caller_, History(db_, Author{caller_.name, method.left(30), key_}));
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
