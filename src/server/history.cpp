// SPDX-License-Identifier: MIT
#include "history.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <atomic>

namespace erp::server {

namespace {

namespace f = contract::f;
namespace operacao = contract::letter::operacao;

std::atomic<bool> historyWritten{true};

char operationLetter(ChangeStatus kind)
{
    switch (kind) {
    case ChangeStatus::Inserted: return operacao::Inclusao;
    case ChangeStatus::Modified: return operacao::Alteracao;
    case ChangeStatus::Deleted: return operacao::Exclusao;
    }
    return operacao::Alteracao;
}

// The row as the change packet carried it: each field by name, a NULL as null.
QVariant rowJson(const Row* r)
{
    if (!r)
        return {};
    QJsonObject o;
    const FieldDefs& layout = r->layout();
    for (qsizetype i = 0; i < layout.size(); ++i) {
        const QVariant v = r->at(i);
        if (!v.isValid())
            o.insert(layout[i].name, QJsonValue::Null);
        else if (v.typeId() == QMetaType::QString)
            o.insert(layout[i].name, v.toString());
        else
            o.insert(layout[i].name, v.toDouble());
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QJsonObject parsed(const QVariant& stored)
{
    return stored.isValid() ? QJsonDocument::fromJson(stored.toString().toUtf8()).object() : QJsonObject();
}

// A value as the history shows it: texts and letters as stored, numbers in
// their shortest exact form (the screen formats them in the user's locale).
QVariant valueText(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return {};
}

const contract::TableDef* tableNamed(const QString& name)
{
    for (const contract::TableDef* t : {&contract::paramApuTable(), &contract::recDespTable(), &contract::infCtbTable(), &contract::paramApuEcfTable()})
        if (name == QLatin1String(t->name))
            return t;
    return nullptr;
}

// The key, the company and the parent name the row; they are not its changes.
bool namesTheRow(const contract::TableDef& t, const QString& field)
{
    for (const char* n : {t.company, t.parent})
        if (n && field == QLatin1String(n))
            return true;
    return std::any_of(t.key.begin(), t.key.end(), [&](const char* k) { return field == QLatin1String(k); });
}

} // namespace

History::History(Db& db, Author author) : db_(db), author_(std::move(author)), now_(QDateTime::currentMSecsSinceEpoch()) {}

void History::record(const TableSql& table, ChangeStatus kind, const QString& company, long long parent, const Row* o, const Row* n)
{
    if (!historyWritten.load(std::memory_order_relaxed))
        return;
    const TableSql& h = historicoSql();
    const Row& named = n ? *n : *o;
    const auto number = wholeNumber(table.key(named).toDouble());
    const RowValues values{QVariant(),
                           qlonglong(now_),
                           author_.user,
                           author_.method,
                           QString::fromLatin1(table.table().name),
                           number ? QVariant(qlonglong(*number)) : QVariant(),
                           qlonglong(parent),
                           company,
                           contract::letterText(operationLetter(kind)),
                           rowJson(o),
                           rowJson(n),
                           author_.key.isEmpty() ? QVariant() : QVariant(author_.key)};
    db_.exec(h.insert(), h.insertParams(Row(h.table().columns, values)));
}

DataPacket History::read(Db& db, const QString& company, long long parent)
{
    static const std::string sql = historicoSql().select({f::CDEMPRESA, f::NRSEQPARAMAPU});
    const TableSql& h = historicoSql();
    SqlRows rows = db.query(sql, {company, qlonglong(parent)});
    const auto at = [&](const SqlRow& r, const char* column) { return r[std::size_t(h.column(column))]; };
    // Newest first: by the moment, then by the order the rows were written.
    std::stable_sort(rows.begin(), rows.end(), [&](const SqlRow& a, const SqlRow& b) {
        const qlonglong ta = at(a, f::DTHISTORICO).toLongLong(), tb = at(b, f::DTHISTORICO).toLongLong();
        return ta != tb ? ta > tb : at(a, f::NRSEQHISTORICO).toLongLong() > at(b, f::NRSEQHISTORICO).toLongLong();
    });
    DataPacket p;
    p.fields = contract::historicoLayout();
    for (const SqlRow& r : rows) {
        const contract::TableDef* table = tableNamed(at(r, f::NMTABELA).toString());
        if (!table)
            continue;
        const QString when = QDateTime::fromMSecsSinceEpoch(at(r, f::DTHISTORICO).toLongLong(), Qt::UTC).toString(Qt::ISODateWithMs);
        const QString kind = at(r, f::IDOPERACAO).toString();
        const QJsonObject before = parsed(at(r, f::DSREGANTERIOR)), after = parsed(at(r, f::DSREGNOVO));
        const auto line = [&](const QVariant& field, const QVariant& was, const QVariant& is) {
            p.rows.push_back({when, at(r, f::NMUSUARIO), kind, at(r, f::NMTABELA), double(at(r, f::NRSEQREGISTRO).toLongLong()), field, was, is});
        };
        bool any = false;
        for (const FieldDef& column : table->columns) {
            if (namesTheRow(*table, column.name))
                continue;
            const QVariant was = valueText(before.value(column.name)), is = valueText(after.value(column.name));
            if (was == is || (!was.isValid() && !is.isValid()))
                continue;
            line(column.name, was, is);
            any = true;
        }
        // A change that changed no field is still a change someone made.
        if (!any)
            line({}, {}, {});
    }
    return p;
}

std::optional<QString> companyOfParent(Db& db, long long parent)
{
    static const std::string sql = [] {
        std::string s;
        for (const contract::TableDef* t : {&contract::paramApuTable(), &contract::recDespTable()})
            s += (s.empty() ? "SELECT " : " UNION ALL SELECT ") + std::string(t->company) + " FROM " + t->name + " WHERE " + t->key.front() + " = ?";
        return s;
    }();
    const SqlRows rows = db.query(sql, {qlonglong(parent), qlonglong(parent)});
    if (rows.empty())
        return std::nullopt;
    return rows.front().front().toString();
}

void setHistoryWrittenForBenchmark(bool written)
{
    historyWritten.store(written, std::memory_order_relaxed);
}

} // namespace erp::server
