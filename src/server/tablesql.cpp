// SPDX-License-Identifier: MIT
#include "tablesql.h"

#include "schema.h"

#include <algorithm>
#include <stdexcept>

namespace erp::server {

namespace {

std::string name(const FieldDef& f)
{
    return f.name.toStdString();
}

bool in(const std::vector<const char*>& names, const QString& column)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return column == QLatin1String(n); });
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty())
            out += separator;
        out += p;
    }
    return out;
}

} // namespace

TableSql::TableSql(const contract::TableDef& table) : table_(table)
{
    const FieldDefs& columns = table.columns;
    const auto fixed = [&](const QString& c) {
        return in(table.key, c) || (table.company && c == QLatin1String(table.company)) || (table.parent && c == QLatin1String(table.parent));
    };
    std::vector<std::string> stored, written, set, match;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const FieldDef& c = columns[i];
        const bool whole = table.isWholeNumber(c.name) || c.type == FieldType::Integer;
        kinds_.push_back(whole ? Kind::Whole : c.type == FieldType::String ? Kind::Text : Kind::Number);
        stored.push_back(name(c));
        if (table.serial && c.name == QLatin1String(table.serial))
            serialColumn_ = i;
        else
            written.push_back(name(c));
        if (!fixed(c.name)) {
            set_.push_back(i);
            set.push_back(name(c) + " = ?");
        }
    }
    // The key names the row; every other old value must still be as the client read it.
    for (const bool key : {true, false}) {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (in(table.key, columns[i].name) != key)
                continue;
            match_.push_back(i);
            match.push_back(name(columns[i]) + (key ? " = ?" : " {EQ} ?"));
        }
    }
    for (const contract::FoldedColumn& f : table.folded) {
        stored.push_back(f.name);
        written.push_back(f.name);
        set.push_back(std::string(f.name) + " = ?");
    }
    keyColumn_ = column(table.key.front());
    keyExists_ = exists({table.key.front()});
    stored_ = joined(stored, ", ");
    const std::string matchSql = " WHERE " + joined(match, " AND ");
    insert_ = "INSERT INTO " + std::string(table.name) + " (" + joined(written, ", ") + ") VALUES (" +
              joined(std::vector<std::string>(written.size(), "?"), ", ") + ")";
    update_ = "UPDATE " + std::string(table.name) + " SET " + joined(set, ", ") + matchSql;
    remove_ = "DELETE FROM " + std::string(table.name) + matchSql;
}

qsizetype TableSql::column(const char* columnName) const
{
    for (qsizetype i = 0; i < table_.columns.size(); ++i)
        if (table_.columns[i].name == QLatin1String(columnName))
            return i;
    throw std::logic_error(std::string("no column ") + columnName + " in " + table_.name);
}

std::string TableSql::where(std::initializer_list<const char*> columns) const
{
    std::vector<std::string> terms;
    for (const char* c : columns)
        terms.push_back(std::string(c) + " = ?");
    return terms.empty() ? std::string() : " WHERE " + joined(terms, " AND ");
}

std::string TableSql::select(std::initializer_list<const char*> whereColumns) const
{
    std::vector<std::string> read;
    for (const FieldDef& c : table_.columns)
        read.push_back(name(c));
    return "SELECT " + joined(read, ", ") + " FROM " + table_.name + where(whereColumns) + " ORDER BY " +
           joined(std::vector<std::string>(table_.key.begin(), table_.key.end()), ", ");
}

std::string TableSql::exists(std::initializer_list<const char*> whereColumns) const
{
    return "SELECT 1 FROM " + std::string(table_.name) + where(whereColumns) + " LIMIT 1";
}

std::string TableSql::removeWhere(std::initializer_list<const char*> whereColumns) const
{
    return "DELETE FROM " + std::string(table_.name) + where(whereColumns);
}

// A new whole number has passed the table's checks; a NULL stays NULL.
QVariant TableSql::newValue(const Row& n, qsizetype column) const
{
    const QVariant v = n.at(column);
    if (!v.isValid())
        return {};
    switch (kinds_[std::size_t(column)]) {
    case Kind::Text: return v.toString();
    case Kind::Number: return v.toDouble();
    case Kind::Whole: {
        const auto w = wholeNumber(v.toDouble());
        return w ? QVariant(qlonglong(*w)) : QVariant();
    }
    }
    return {};
}

QVariant TableSql::oldValue(const Row& o, qsizetype column) const
{
    if (kinds_[std::size_t(column)] != Kind::Whole)
        return newValue(o, column);
    const QVariant v = o.at(column);
    const auto w = v.isValid() ? wholeNumber(v.toDouble()) : std::nullopt;
    if (!w)
        refuseConflict();
    return qlonglong(*w);
}

void TableSql::appendFolded(SqlParams& params, const Row& n) const
{
    for (const contract::FoldedColumn& f : table_.folded) {
        QString key;
        for (std::size_t i = 0; i < f.from.size(); ++i) {
            if (i > 0)
                key += u'/';
            key += caseKey(n.text(f.from[i]));
        }
        params.push_back(key);
    }
}

void TableSql::appendWhere(SqlParams& params, const Row& o) const
{
    for (const qsizetype i : match_)
        params.push_back(oldValue(o, i));
}

SqlParams TableSql::insertParams(const Row& n) const
{
    SqlParams params;
    params.reserve(kinds_.size() + table_.folded.size());
    for (qsizetype i = 0; i < qsizetype(kinds_.size()); ++i)
        if (i != serialColumn_)
            params.push_back(newValue(n, i));
    appendFolded(params, n);
    return params;
}

SqlParams TableSql::updateParams(const Row& o, const Row& n) const
{
    SqlParams params;
    params.reserve(set_.size() + table_.folded.size() + match_.size());
    for (const qsizetype i : set_)
        params.push_back(newValue(n, i));
    appendFolded(params, n);
    appendWhere(params, o);
    return params;
}

SqlParams TableSql::removeParams(const Row& o) const
{
    SqlParams params;
    params.reserve(match_.size());
    appendWhere(params, o);
    return params;
}

DataPacket TableSql::rows(SqlRows rows) const
{
    DataPacket p;
    p.fields = table_.columns;
    p.rows.reserve(rows.size());
    for (SqlRow& r : rows) {
        RowValues v;
        v.reserve(qsizetype(r.size()));
        for (std::size_t i = 0; i < r.size(); ++i)
            v.append(kinds_[i] == Kind::Whole ? QVariant(double(r[i].toLongLong())) : std::move(r[i]));
        p.rows.push_back(std::move(v));
    }
    return p;
}

namespace {
template <const contract::TableDef& (*describe)()>
const TableSql& generated()
{
    static const TableSql t(describe());
    return t;
}
} // namespace

const TableSql& empresaSql() { return generated<contract::empresaTable>(); }
const TableSql& contCtblSql() { return generated<contract::contCtblTable>(); }
const TableSql& itensDRESql() { return generated<contract::itensDRETable>(); }
const TableSql& aliquotasSql() { return generated<contract::aliquotasTable>(); }
const TableSql& apurPaiSql() { return generated<contract::apurPaiTable>(); }
const TableSql& paramApuSql() { return generated<contract::paramApuTable>(); }
const TableSql& recDespSql() { return generated<contract::recDespTable>(); }
const TableSql& infCtbSql() { return generated<contract::infCtbTable>(); }
const TableSql& historicoSql() { return generated<contract::historicoTable>(); }

} // namespace erp::server
