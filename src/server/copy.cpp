// SPDX-License-Identifier: MIT
#include "copy.h"

#include "history.h"
#include "schema.h"
#include "tablesql.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace erp::server {

namespace {

namespace f = contract::f;
namespace letter = contract::letter;

// The columns of a table as a statement lists them.
std::string columnList(const contract::TableDef& t, const char* prefix = "")
{
    std::string list;
    for (const FieldDef& c : t.columns)
        list += (list.empty() ? "" : ", ") + std::string(prefix) + c.name.toStdString();
    return list;
}

// A unique key as one text; no part can hold a NUL (the saves refuse it).
QString keyOf(std::initializer_list<QString> parts)
{
    QString key;
    for (const QString& p : parts)
        key += p + QChar(0);
    return key;
}

// The unique keys of the three tables, as their unique indexes see them:
// names by their folded form (the ...CHV columns), as stored or as an
// insert would store it.
QString paramApuKey(const QString& tax, const QString& kind, const QString& foldedName)
{
    return keyOf({tax, kind, foldedName});
}

QString recDespKey(const QString& foldedName, const QString& kind, const QString& operational, long long rate)
{
    return keyOf({foldedName, kind, operational, QString::number(rate)});
}

QString infCtbKey(const QString& origin, const QString& type, const QString& code)
{
    return keyOf({origin, caseKey(type) + u'/' + caseKey(code)});
}

long long whole(const QVariant& v)
{
    return wholeNumber(v.toDouble()).value_or(0);
}

CopyKind paramApuKind(const QString& tax, const QString& kind)
{
    const int base = tax == contract::letterText(letter::imposto::CSLL) ? int(CopyKind::AdicCSLL) : int(CopyKind::AdicIRPJ);
    const int offset = kind == contract::letterText(letter::tipo::Exclusao) ? 1 : kind == contract::letterText(letter::tipo::Compensacao) ? 2 : 0;
    return CopyKind(base + offset);
}

// Reads a packet's value by field name; the packets here are in layout order.
class Fields {
public:
    explicit Fields(const DataPacket& p) : p_(p) {}
    QVariant operator()(std::size_t row, const char* name) const { return p_.rows[row][p_.indexOf(QLatin1String(name))]; }

private:
    const DataPacket& p_;
};

} // namespace

bool companyExists(Db& db, const QString& company)
{
    static const std::string sql = empresaSql().exists({f::CDEMPRESA});
    return !db.query(sql, {company}).empty();
}

CompanyParameters readCompanyParameters(Db& db, const QString& company)
{
    static const std::string paramApu = paramApuSql().select({f::CDEMPRESA});
    static const std::string recDesp = recDespSql().select({f::CDEMPRESA});
    // The accounting information of every parent row of the company, by number.
    static const std::string infCtb = [] {
        const contract::TableDef& p = contract::paramApuTable();
        const contract::TableDef& r = contract::recDespTable();
        const contract::TableDef& i = contract::infCtbTable();
        return "SELECT " + columnList(i, "I.") + " FROM " + i.name + " I WHERE I." + i.parent + " IN (SELECT " + p.key.front() + " FROM " + p.name +
               " WHERE " + p.company + " = ? UNION ALL SELECT " + r.key.front() + " FROM " + r.name + " WHERE " + r.company + " = ?) ORDER BY I." +
               i.key.front();
    }();
    CompanyParameters c;
    c.paramApu = paramApuSql().rows(db.query(paramApu, {company}));
    c.recDesp = recDespSql().rows(db.query(recDesp, {company}));
    c.infCtb = infCtbSql().rows(db.query(infCtb, {company, company}));
    return c;
}

QString copyKindName(CopyKind kind)
{
    switch (kind) {
    case CopyKind::AdicIRPJ: return QStringLiteral("Adições IRPJ");
    case CopyKind::ExclIRPJ: return QStringLiteral("Exclusões IRPJ");
    case CopyKind::CompIRPJ: return QStringLiteral("Compensações IRPJ");
    case CopyKind::AdicCSLL: return QStringLiteral("Adições CSLL");
    case CopyKind::ExclCSLL: return QStringLiteral("Exclusões CSLL");
    case CopyKind::CompCSLL: return QStringLiteral("Compensações CSLL");
    case CopyKind::RecDesp: return QStringLiteral("Itens do lucro líquido");
    case CopyKind::InfCtb: return QStringLiteral("Informações contábeis");
    }
    return {};
}

long long CopyCounts::totalApplied() const
{
    long long n = 0;
    for (const long long a : applied)
        n += a;
    return n;
}

long long CopyCounts::totalSkipped() const
{
    long long n = 0;
    for (const long long s : skipped)
        n += s;
    return n;
}

QJsonObject CopyCounts::result() const
{
    return {{QStringLiteral("status"), QStringLiteral("ok")}, {QStringLiteral("applied"), totalApplied()}, {QStringLiteral("skipped"), totalSkipped()}};
}

DataPacket CopyCounts::preview() const
{
    DataPacket p;
    p.fields = contract::previaCopiaLayout();
    for (std::size_t k = 0; k < kCopyKinds; ++k)
        p.rows.push_back({copyKindName(CopyKind(k)), qlonglong(applied[k]), qlonglong(skipped[k])});
    return p;
}

ParameterCopy::ParameterCopy(Db& db, const CompanyParameters& source, const QString& target) : db_(db), source_(source), target_(target)
{
    // The keys the target holds, read once; the rows this copy writes join them as they are planned.
    static const std::string paramApuKeys = "SELECT " + std::string(f::IDIMPOSTO) + ", " + f::IDPARAMAPU + ", " + f::NMPARAMAPUCHV + " FROM " +
                                            contract::t::PARAMAPUIRPJ + " WHERE " + f::CDEMPRESA + " = ?";
    static const std::string recDespKeys = "SELECT " + std::string(f::NMRECDESPIRPJCHV) + ", " + f::IDRECDESPIRPJ + ", " + f::IDRECDESPIRPJOP + ", " +
                                           f::NRSEQALIQIRPJ + " FROM " + contract::t::RECDESPIRPJ + " WHERE " + f::CDEMPRESA + " = ?";
    QSet<QString> taken;
    for (const SqlRow& r : db_.query(paramApuKeys, {target_}))
        taken.insert(paramApuKey(r[0].toString(), r[1].toString(), r[2].toString()));
    for (const SqlRow& r : db_.query(recDespKeys, {target_}))
        taken.insert(recDespKey(r[0].toString(), r[1].toString(), r[2].toString(), r[3].toLongLong()));

    // Each parent's accounting information, in the source's order.
    const Fields inf(source_.infCtb);
    QHash<long long, std::vector<std::size_t>> children;
    for (std::size_t i = 0; i < source_.infCtb.rows.size(); ++i)
        children[whole(inf(i, f::NRSEQPARAMAPU))].push_back(i);
    copyInfCtb_.assign(source_.infCtb.rows.size(), false);

    const auto plan = [&](long long parent, const QString& key, CopyKind kind) {
        const std::vector<std::size_t> own = children.value(parent);
        const bool copied = !taken.contains(key);
        if (!copied) {
            ++counts_.skipped[std::size_t(kind)];
            counts_.skipped[std::size_t(CopyKind::InfCtb)] += qsizetype(own.size());
            return false;
        }
        taken.insert(key);
        ++counts_.applied[std::size_t(kind)];
        QSet<QString> childKeys;
        for (const std::size_t i : own) {
            const QString childKey = infCtbKey(inf(i, f::IDINFCTBIRPJ).toString(), inf(i, f::CDTIPODEMO).toString(), inf(i, f::CDINFCTBIRPJ).toString());
            const bool childCopied = !childKeys.contains(childKey);
            childKeys.insert(childKey);
            copyInfCtb_[i] = childCopied;
            ++(childCopied ? counts_.applied : counts_.skipped)[std::size_t(CopyKind::InfCtb)];
        }
        return true;
    };

    const Fields adic(source_.paramApu);
    for (std::size_t i = 0; i < source_.paramApu.rows.size(); ++i) {
        const QString tax = adic(i, f::IDIMPOSTO).toString(), kind = adic(i, f::IDPARAMAPU).toString();
        copyParamApu_.push_back(
            plan(whole(adic(i, f::NRSEQPARAMAPU)), paramApuKey(tax, kind, caseKey(adic(i, f::NMPARAMAPU).toString())), paramApuKind(tax, kind)));
    }
    const Fields item(source_.recDesp);
    for (std::size_t i = 0; i < source_.recDesp.rows.size(); ++i)
        copyRecDesp_.push_back(plan(whole(item(i, f::NRSEQRECDESPIRPJ)),
                                    recDespKey(caseKey(item(i, f::NMRECDESPIRPJ).toString()), item(i, f::IDRECDESPIRPJ).toString(),
                                               item(i, f::IDRECDESPIRPJOP).toString(), whole(item(i, f::NRSEQALIQIRPJ))),
                                    CopyKind::RecDesp));
}

void ParameterCopy::apply(History& history)
{
    std::size_t parents = 0, infs = 0;
    for (const std::vector<bool>* planned : {&copyParamApu_, &copyRecDesp_})
        parents += std::size_t(std::count(planned->begin(), planned->end(), true));
    infs = std::size_t(std::count(copyInfCtb_.begin(), copyInfCtb_.end(), true));
    const std::vector<long long> parentNumbers = takeSequences(db_, Series::Param, qlonglong(parents));
    const std::vector<long long> infNumbers = takeSequences(db_, Series::InfCtb, qlonglong(infs));
    auto nextParent = parentNumbers.begin();
    auto nextInf = infNumbers.begin();

    const Fields inf(source_.infCtb);
    QHash<long long, std::vector<std::size_t>> children;
    for (std::size_t i = 0; i < source_.infCtb.rows.size(); ++i)
        if (copyInfCtb_[i])
            children[whole(inf(i, f::NRSEQPARAMAPU))].push_back(i);

    const TableSql& infSql = infCtbSql();
    const qsizetype infKey = infSql.column(f::NRSEQINFCTBIRPJ), infParent = infSql.column(f::NRSEQPARAMAPU);
    const auto write = [&](const TableSql& t, const DataPacket& rows, const std::vector<bool>& planned) {
        const qsizetype key = t.column(t.table().key.front()), company = t.column(t.table().company);
        for (std::size_t i = 0; i < rows.rows.size(); ++i) {
            if (!planned[i])
                continue;
            const long long number = *nextParent++;
            RowValues values = rows.rows[i];
            values[key] = double(number);
            values[company] = target_;
            db_.exec(apurPaiSql().insert(), {qlonglong(number)});
            const Row row(t.table().columns, values);
            db_.exec(t.insert(), t.insertParams(row));
            history.record(t, ChangeStatus::Inserted, target_, number, nullptr, &row);
            for (const std::size_t c : children.value(whole(rows.rows[i][key]))) {
                RowValues child = source_.infCtb.rows[c];
                const long long childNumber = *nextInf++;
                child[infKey] = double(childNumber);
                child[infParent] = double(number);
                const Row childRow(infSql.table().columns, child);
                db_.exec(infSql.insert(), infSql.insertParams(childRow));
                history.record(infSql, ChangeStatus::Inserted, target_, number, nullptr, &childRow);
            }
        }
    };
    write(paramApuSql(), source_.paramApu, copyParamApu_);
    write(recDespSql(), source_.recDesp, copyRecDesp_);
}

} // namespace erp::server
