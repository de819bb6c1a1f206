// SPDX-License-Identifier: MIT
#include "codes.h"

#include "dynamictables.h"
#include "paramservice.h"

#include "contract/letters.h"
#include "contract/paramirpj.h"
#include "contract/tables.h"

#include <QJsonObject>

#include <map>

namespace erp::server::ecf {

namespace {

namespace f = contract::f;
namespace letter = contract::letter;

[[noreturn]] void refuse(int c, const QString& message)
{
    throw RpcError(c, message);
}

// "I" reads M300A, "C" M350A.
QString sheetOfTax(const QJsonValue& tax)
{
    if (!tax.isString())
        refuse(code::InvalidParams, QStringLiteral("O imposto deve ser informado como texto (\"I\" ou \"C\")."));
    if (tax.toString() == contract::letterText(letter::imposto::IRPJ))
        return QLatin1String(kIrpj);
    if (tax.toString() == contract::letterText(letter::imposto::CSLL))
        return QLatin1String(kCsll);
    refuse(code::Validation, QStringLiteral("Imposto informado inválido: use \"I\" (IRPJ) ou \"C\" (CSLL)."));
}

// The lines of a sheet in the newest layout, in the sheet's order.
SqlRows sheetLines(Db& db, const QString& sheet, std::initializer_list<const char*> columns, const char* where = nullptr, const QString& value = {})
{
    const std::optional<QString> layout = currentLayout(db, sheet);
    if (!layout)
        return {};
    std::string sql = "SELECT ";
    for (const char* c : columns)
        sql += std::string(sql.size() > 7 ? ", " : "") + c;
    sql += std::string(" FROM ") + contract::t::TABELAECF + " WHERE " + f::CDLEIAUTEECF + " = ? AND " + f::NMTABELAECF + " = ?";
    SqlParams params{*layout, sheet};
    if (where) {
        sql += std::string(" AND ") + where + " = ?";
        params.push_back(value);
    }
    return db.query(sql + " ORDER BY " + f::NRLINHAECF, params);
}

// What a line's entry type or a row's type is called in a message.
QString entryTypeName(const QString& t)
{
    static const std::map<QString, QString> names{{"A", "adição"}, {"E", "exclusão"}, {"P", "compensação de prejuízo"},
                                                  {"L", "lucro"},  {"R", "título"}};
    const auto it = names.find(t);
    return it == names.end() ? QStringLiteral("tipo não informado") : it->second;
}

// The entry type of the dynamic tables that fits a row's type.
QString entryTypeOf(const QString& rowType)
{
    if (rowType == contract::letterText(letter::tipo::Compensacao))
        return QStringLiteral("P");
    return rowType; // A and E are the same letters
}

// The additions row a code belongs to.
struct ParamRow {
    QString company, type, tax;
};

std::optional<ParamRow> paramRow(Db& db, long long number)
{
    static const std::string sql = "SELECT " + std::string(f::CDEMPRESA) + ", " + f::IDPARAMAPU + ", " + f::IDIMPOSTO + " FROM " +
                                   contract::t::PARAMAPUIRPJ + " WHERE " + f::NRSEQPARAMAPU + " = ?";
    const SqlRows r = db.query(sql, {qlonglong(number)});
    if (r.empty())
        return std::nullopt;
    return ParamRow{r[0][0].toString(), r[0][1].toString(), r[0][2].toString()};
}

// The code must be an entry line ("E") of the row's tax sheet whose entry
// type fits the row's type; one such line is enough where a code repeats.
void checkCode(Db& db, const ParamRow& row, const QString& cd)
{
    if (cd.trimmed().isEmpty())
        refuse(code::Validation, QStringLiteral("Código da ECF deve ser informado."));
    const QString sheet = row.tax == contract::letterText(letter::imposto::CSLL) ? QLatin1String(kCsll) : QLatin1String(kIrpj);
    const SqlRows lines = sheetLines(db, sheet, {f::TPECF, f::TPLANCECF}, f::CDECF, cd);
    if (lines.empty())
        refuse(code::MissingReference, QStringLiteral("O código %1 não existe na tabela %2 da ECF.").arg(cd, sheet));
    const QString wanted = entryTypeOf(row.type);
    bool entry = false;
    QString found;
    for (const SqlRow& l : lines) {
        if (l[0].toString() != QLatin1String("E"))
            continue;
        entry = true;
        found = l[1].toString();
        if (found == wanted)
            return;
    }
    if (!entry)
        refuse(code::Validation,
               QStringLiteral("O código %1 da tabela %2 não é de lançamento (tipo \"E\") e não pode ser usado num registro.").arg(cd, sheet));
    refuse(code::Validation,
           QStringLiteral("O código %1 da tabela %2 é de %3, e o registro é de %4.").arg(cd, sheet, entryTypeName(found), entryTypeName(wanted)));
}

QJsonObject saved(long long applied)
{
    return {{QStringLiteral("status"), QStringLiteral("ok")}, {QStringLiteral("applied"), applied}};
}

const QString kRowGone = QStringLiteral("O registro deste código da ECF não existe mais. Recarregue os dados e tente novamente.");

} // namespace

const TableSql& paramApuEcfSql()
{
    static const TableSql t(contract::paramApuEcfTable());
    return t;
}

QJsonValue Codes::table(const QJsonArray& params)
{
    if (params.size() != 1)
        refuse(code::InvalidParams, QStringLiteral("O método getTabelaECF espera o imposto (\"I\" ou \"C\")."));
    const QString sheet = sheetOfTax(params[0]);
    DataPacket p;
    p.fields = contract::tabelaEcfLayout();
    for (SqlRow& r : sheetLines(db_, sheet, {f::CDECF, f::DSECF, f::TPECF, f::TPLANCECF, f::DTINIECF, f::DTFIMECF}))
        p.rows.push_back(RowValues(std::make_move_iterator(r.begin()), std::make_move_iterator(r.end())));
    return packet::toJson(p);
}

// A code on several lines of the sheet (M350A's 13) shows every description,
// joined by " / " in the sheet's order, and the validity they span: the
// earliest start, and no end if any line is still valid. A code no longer in
// the sheet (a newer layout dropped it) keeps its row, without description
// or dates.
QJsonValue Codes::codes(const QJsonArray& params)
{
    if (params.size() != 2 || !params[0].isString())
        refuse(code::InvalidParams, QStringLiteral("O método getCodECF espera o código da empresa e o imposto (\"I\" ou \"C\")."));
    const QString company = params[0].toString();
    const QString sheet = sheetOfTax(params[1]);
    requireAccess_(company);
    static const std::string mapped = "SELECT E." + std::string(f::NRSEQPARAMAPU) + ", E." + f::CDECF + " FROM " + contract::t::PARAMAPUECF + " E JOIN " +
                                      contract::t::PARAMAPUIRPJ + " P ON P." + f::NRSEQPARAMAPU + " = E." + f::NRSEQPARAMAPU + " WHERE P." +
                                      f::CDEMPRESA + " = ? AND P." + f::IDIMPOSTO + " = ? ORDER BY E." + f::NRSEQPARAMAPU;
    const SqlRows rows = db_.query(mapped, {company, params[1].toString()});
    struct Span {
        QString description, start, end;
        bool open = false;
    };
    std::map<QString, Span> spans;
    if (!rows.empty()) {
        for (const SqlRow& l : sheetLines(db_, sheet, {f::CDECF, f::DSECF, f::DTINIECF, f::DTFIMECF})) {
            Span& s = spans[l[0].toString()];
            const QString start = l[2].toString(), end = l[3].toString();
            s.description += (s.description.isEmpty() ? QString() : QStringLiteral(" / ")) + l[1].toString();
            if (s.start.isEmpty() || start < s.start)
                s.start = start;
            s.open = s.open || end.isEmpty();
            if (end > s.end)
                s.end = end;
        }
    }
    DataPacket p;
    p.fields = contract::codEcfLayout();
    const qsizetype descriptionSize = contract::fieldDef(f::DSECF).size;
    for (const SqlRow& r : rows) {
        const QString cd = r[1].toString();
        const auto it = spans.find(cd);
        RowValues v{double(r[0].toLongLong()), cd};
        if (it == spans.end()) {
            v << QVariant() << QVariant() << QVariant();
        } else {
            const Span& s = it->second;
            v << s.description.left(descriptionSize) << s.start << (s.open ? QVariant() : QVariant(s.end));
        }
        p.rows.push_back(std::move(v));
    }
    return packet::toJson(p);
}

QJsonValue Codes::save(const QJsonArray& params)
{
    const TableSql& t = paramApuEcfSql();
    const FieldDefs accepted = contract::codEcfLayout();
    const Changes c = decodeChanges(params, contract::method::setCodECF, t.table().columns, &accepted);
    Transaction tx(db_, true);
    // Whose every named row is, settled before anything is written.
    std::vector<std::optional<ParamRow>> rows;
    for (const Change& ch : c.packet.changes) {
        std::optional<ParamRow> row;
        for (const bool old : {true, false}) {
            if ((old && ch.status == ChangeStatus::Inserted) || (!old && ch.status == ChangeStatus::Deleted))
                continue;
            const auto number = wholeNumber((old ? c.oldRow(ch) : c.newRow(ch)).value(f::NRSEQPARAMAPU).toDouble());
            row = number ? paramRow(db_, *number) : std::nullopt;
            if (row)
                requireAccess_(row->company);
        }
        rows.push_back(row);
    }
    static const std::string exists = t.keyExists();
    long long applied = 0;
    for (std::size_t i = 0; i < c.packet.changes.size(); ++i) {
        const Change& ch = c.packet.changes[i];
        const Row o = c.oldRow(ch), n = c.newRow(ch);
        if (ch.status == ChangeStatus::Modified && n.value(f::NRSEQPARAMAPU) != o.value(f::NRSEQPARAMAPU))
            refuse(code::Validation, QStringLiteral("O registro de um código da ECF não pode ser trocado; exclua o código e informe-o no outro registro."));
        if (!rows[i])
            refuse(code::MissingReference, kRowGone);
        const ParamRow& row = *rows[i];
        const Row& named = ch.status == ChangeStatus::Deleted ? o : n;
        const long long number = *wholeNumber(named.value(f::NRSEQPARAMAPU).toDouble());
        if (ch.status != ChangeStatus::Deleted)
            checkCode(db_, row, n.text(f::CDECF));
        long long written = 0;
        switch (ch.status) {
        case ChangeStatus::Inserted:
            // A code someone else gave the row meanwhile is theirs to keep.
            if (!db_.query(exists, {qlonglong(number)}).empty())
                refuseConflict();
            try {
                written = db_.exec(t.insert(), t.insertParams(n));
            } catch (const DbError& e) {
                if (e.kind() == DbError::Kind::Unique)
                    refuseConflict();
                throw;
            }
            history_.record(t, ch.status, row.company, number, nullptr, &n);
            break;
        case ChangeStatus::Modified:
            written = db_.exec(t.update(), t.updateParams(o, n));
            if (written == 1)
                history_.record(t, ch.status, row.company, number, &o, &n);
            break;
        case ChangeStatus::Deleted:
            written = db_.exec(t.remove(), t.removeParams(o));
            if (written == 1)
                history_.record(t, ch.status, row.company, number, &o, nullptr);
            break;
        }
        if (written != 1)
            refuseConflict();
        ++applied;
    }
    return commit_(tx, saved(applied));
}

void removeCodeOf(Db& db, History& history, long long number, const QString& company)
{
    const TableSql& t = paramApuEcfSql();
    static const std::string sql = t.select({f::NRSEQPARAMAPU});
    const DataPacket stored = t.rows(db.query(sql, {qlonglong(number)}));
    for (const RowValues& values : stored.rows) {
        const Row o(stored.fields, values);
        if (db.exec(t.remove(), t.removeParams(o)) == 1)
            history.record(t, ChangeStatus::Deleted, company, number, &o, nullptr);
    }
}

} // namespace erp::server::ecf
