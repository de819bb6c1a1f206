// SPDX-License-Identifier: MIT
#include "dynamictables.h"

#include "tablesql.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"
#include "wire/cp1252.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <map>

// Outside any namespace, as Qt requires: the data file compiled into the library.
static void initEcfResource()
{
    Q_INIT_RESOURCE(ecf);
}

namespace erp::server::ecf {

namespace {

namespace f = contract::f;

const TableSql& tabelaSql()
{
    static const TableSql t(contract::tabelaEcfTable());
    return t;
}

const TableSql& fonteSql()
{
    static const TableSql t(contract::fonteEcfTable());
    return t;
}

bool oneOf(const QString& v, std::initializer_list<const char*> letters)
{
    for (const char* l : letters)
        if (v == QLatin1String(l))
            return true;
    return false;
}

void requireFits(const QString& sheet, const QString& code, const QString& text, const char* field, const QString& what)
{
    const qsizetype size = contract::fieldDef(field).size;
    if (text.size() > size)
        throw InvalidLine(QStringLiteral("%1, código %2: %3 tem mais de %4 caracteres.").arg(sheet, code, what).arg(size));
    if (const qsizetype at = cp1252::firstUnrepresentable(text); at >= 0)
        throw InvalidLine(QStringLiteral("%1, código %2: %3 tem um caractere que o sistema não grava (%4).").arg(sheet, code, what, text.mid(at, 1)));
}

bool isoDate(const QString& s)
{
    static const QRegularExpression iso(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}$)"));
    return iso.match(s).hasMatch() && QDate::fromString(s, Qt::ISODate).isValid();
}

// Rows of one statement: a few round trips instead of hundreds on PostgreSQL.
constexpr std::size_t kRowsPerInsert = 100;

std::string multiRowInsert(const TableSql& t, std::size_t rows)
{
    std::string values;
    std::string marks;
    for (qsizetype i = 0; i < t.table().columns.size(); ++i)
        marks += i ? ", ?" : "?";
    for (std::size_t r = 0; r < rows; ++r)
        values += (r ? ", (" : "(") + marks + ")";
    return "INSERT INTO " + std::string(t.table().name) + " (" + t.storedColumns() + ") VALUES " + values;
}

QVariant orNull(const QString& s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

} // namespace

QStringList knownSheets()
{
    return {QLatin1String(kIrpj), QLatin1String(kCsll), QStringLiteral("N500"), QStringLiteral("N630A"), QStringLiteral("N670"), QLatin1String(kParteB)};
}

void checkLine(const QString& sheet, const Line& l)
{
    const QString code = l.code.left(30);
    if (l.code.trimmed().isEmpty())
        throw InvalidLine(QStringLiteral("%1: uma linha não tem código.").arg(sheet));
    if (l.description.trimmed().isEmpty())
        throw InvalidLine(QStringLiteral("%1, código %2: falta a descrição.").arg(sheet, code));
    requireFits(sheet, code, l.code, f::CDECF, QStringLiteral("o código"));
    requireFits(sheet, code, l.description, f::DSECF, QStringLiteral("a descrição"));
    if (sheet == QLatin1String(kParteB)) {
        if (!oneOf(l.tax, {"I", "C", "A"}))
            throw InvalidLine(QStringLiteral("%1, código %2: tributo \"%3\" inválido (use I, C ou A).").arg(sheet, code, l.tax.left(10)));
        if (!l.kind.isEmpty() || !l.entryType.isEmpty())
            throw InvalidLine(QStringLiteral("%1, código %2: a Parte B não tem tipo nem tipo de lançamento.").arg(sheet, code));
    } else {
        if (!oneOf(l.kind, {"R", "E", "CA", "CNA"}))
            throw InvalidLine(QStringLiteral("%1, código %2: tipo \"%3\" inválido (use R, E, CA ou CNA).").arg(sheet, code, l.kind.left(10)));
        if (!l.entryType.isEmpty() && !oneOf(l.entryType, {"A", "E", "P", "L", "R"}))
            throw InvalidLine(
                QStringLiteral("%1, código %2: tipo de lançamento \"%3\" inválido (use A, E, P, L, R ou nada).").arg(sheet, code, l.entryType.left(10)));
        if (!l.tax.isEmpty())
            throw InvalidLine(QStringLiteral("%1, código %2: só a Parte B tem tributo.").arg(sheet, code));
    }
    if (!isoDate(l.start))
        throw InvalidLine(QStringLiteral("%1, código %2: data inicial inválida.").arg(sheet, code));
    if (!l.end.isEmpty() && !isoDate(l.end))
        throw InvalidLine(QStringLiteral("%1, código %2: data final inválida.").arg(sheet, code));
    if (!l.end.isEmpty() && l.end < l.start)
        throw InvalidLine(QStringLiteral("%1, código %2: a data final é anterior à inicial.").arg(sheet, code));
}

void replaceSheets(Db& db, const QString& layout, const std::vector<Sheet>& sheets, long long when)
{
    static const std::string removeRows = tabelaSql().removeWhere({f::CDLEIAUTEECF, f::NMTABELAECF});
    static const std::string removeSource = fonteSql().removeWhere({f::CDLEIAUTEECF, f::NMTABELAECF});
    for (const Sheet& sheet : sheets) {
        for (const Line& l : sheet.lines)
            checkLine(sheet.name, l);
        db.exec(removeRows, {layout, sheet.name});
        db.exec(removeSource, {layout, sheet.name});
        for (std::size_t first = 0; first < sheet.lines.size(); first += kRowsPerInsert) {
            const std::size_t n = std::min(kRowsPerInsert, sheet.lines.size() - first);
            SqlParams params;
            params.reserve(n * std::size_t(tabelaSql().table().columns.size()));
            for (std::size_t i = first; i < first + n; ++i) {
                const Line& l = sheet.lines[i];
                for (const QVariant& v : {QVariant(layout), QVariant(sheet.name), QVariant(qlonglong(i + 1)), QVariant(l.code), QVariant(l.description),
                                          orNull(l.kind), orNull(l.entryType), orNull(l.tax), QVariant(l.start), orNull(l.end)})
                    params.push_back(v);
            }
            db.exec(multiRowInsert(tabelaSql(), n), params);
        }
        const Source& s = sheet.source;
        db.exec(fonteSql().insert(), {layout, sheet.name, s.file, s.sha256, s.description, qlonglong(when)});
    }
}

void removeLayout(Db& db, const QString& layout)
{
    static const std::string removeRows = tabelaSql().removeWhere({f::CDLEIAUTEECF});
    static const std::string removeSources = fonteSql().removeWhere({f::CDLEIAUTEECF});
    db.exec(removeRows, {layout});
    db.exec(removeSources, {layout});
}

std::optional<QString> currentLayout(Db& db, const QString& sheet)
{
    static const std::string sql = "SELECT MAX(" + std::string(f::CDLEIAUTEECF) + ") FROM " + contract::t::TABELAECF + " WHERE " + f::NMTABELAECF + " = ?";
    const SqlRows r = db.query(sql, {sheet});
    if (r.empty() || !r.front().front().isValid())
        return std::nullopt;
    return r.front().front().toString();
}

const Bundled& bundled()
{
    static const Bundled b = [] {
        initEcfResource();
        QFile file(QStringLiteral(":/ecf/leiaute12.json"));
        if (!file.open(QIODevice::ReadOnly))
            throw std::logic_error("the ECF data file is not compiled into the server");
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonObject spreadsheet = root.value(QLatin1String("planilha")).toObject();
        const Source source{spreadsheet.value(QLatin1String("arquivo")).toString(), spreadsheet.value(QLatin1String("sha256")).toString(),
                            root.value(QLatin1String("fonte")).toString()};
        Bundled out;
        out.layout = root.value(QLatin1String("leiaute")).toString();
        const QJsonObject tables = root.value(QLatin1String("tabelas")).toObject();
        // In the spreadsheet's order, which a JSON object does not keep.
        for (const QString& name : knownSheets()) {
            Sheet sheet{name, {}, source};
            for (const QJsonValue v : tables.value(name).toArray()) {
                const QJsonObject o = v.toObject();
                const auto text = [&](const char* key) { return o.value(QLatin1String(key)).toString(); };
                sheet.lines.push_back({text("codigo"), text("descricao"), text("tipo"), text("tipoLanc"), text("tributo"), text("dtIni"), text("dtFim")});
            }
            out.sheets.push_back(std::move(sheet));
        }
        if (out.layout.isEmpty() || tables.size() != qsizetype(out.sheets.size()))
            throw std::logic_error("the ECF data file does not hold the known sheets");
        return out;
    }();
    return b;
}

void loadBundled(Db& db)
{
    replaceSheets(db, bundled().layout, bundled().sheets, QDateTime::currentMSecsSinceEpoch());
}

} // namespace erp::server::ecf
