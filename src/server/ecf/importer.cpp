// SPDX-License-Identifier: MIT
#include "importer.h"

#include "contract/names.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <map>

namespace erp::server::ecf {

namespace {

namespace f = contract::f;

constexpr qint64 kMaxCsvBytes = 64 * 1024 * 1024;
// The title row is looked for in the first rows of a sheet only.
constexpr std::size_t kHeaderSearchRows = 50;

// A column's title as the spreadsheet writes it, and the form compared:
// upper case, no accents, '_' as a space.
struct Column {
    const char* title;
    const char* key;
};
constexpr Column kCode{"CÓDIGO", "CODIGO"}, kDescription{"DESCRIÇÃO", "DESCRICAO"}, kStart{"DT_INI", "DT INI"}, kEnd{"DT_FIM", "DT FIM"},
    kKind{"TIPO", "TIPO"}, kEntryType{"TIPO LANÇ", "TIPO LANC"}, kTax{"TRIBUTO", "TRIBUTO"};

QString titleKey(const QString& text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        out += c == u'_' ? QChar(u' ') : c.toUpper();
    }
    return out.simplified();
}

std::vector<Column> columnsOf(const QString& sheet)
{
    if (sheet == QLatin1String(kParteB))
        return {kCode, kDescription, kStart, kEnd, kTax};
    return {kCode, kDescription, kStart, kEnd, kKind, kEntryType};
}

QString cell(const CellRow& row, int column)
{
    return column < row.cells.size() ? row.cells[column] : QString();
}

// DDMMAAAA (a number cell may have lost its leading zero), DD/MM/AAAA or
// AAAA-MM-DD; an empty text is no date. Nothing for anything else.
std::optional<QString> isoDate(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral(R"(^\d{7,8}$)"));
    static const QRegularExpression slashes(QStringLiteral(R"(^(\d{1,2})/(\d{1,2})/(\d{4})$)"));
    static const QRegularExpression iso(QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})$)"));
    const QString s = text.trimmed();
    if (s.isEmpty())
        return QString();
    QDate d;
    if (digits.match(s).hasMatch()) {
        const QString p = s.rightJustified(8, u'0');
        d = QDate(p.mid(4, 4).toInt(), p.mid(2, 2).toInt(), p.left(2).toInt());
    } else if (const auto m = slashes.match(s); m.hasMatch()) {
        d = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    } else if (const auto i = iso.match(s); i.hasMatch()) {
        d = QDate(i.captured(1).toInt(), i.captured(2).toInt(), i.captured(3).toInt());
    }
    if (!d.isValid())
        return std::nullopt;
    return d.toString(Qt::ISODate);
}

// The known sheet a name stands for ("M300A", "m300a ", "Leiaute-12-M300A"), or empty.
QString knownSheet(const QString& name, bool allowPrefix)
{
    const QString upper = name.trimmed().toUpper();
    for (const QString& known : knownSheets()) {
        if (upper == known)
            return known;
        if (allowPrefix && upper.endsWith(known)) {
            const QChar before = upper.at(upper.size() - known.size() - 1);
            if (before == u'-' || before == u'_' || before == u' ' || before == u'.')
                return known;
        }
    }
    return {};
}

QString knownList()
{
    return knownSheets().join(QStringLiteral(", "));
}

// A CSV's records as rows of cells: ';' between cells, '"' around a cell that
// holds ';', '"' (doubled) or a line break. Row numbers are the lines records start on.
SheetCells csvCells(const QString& text, const QString& sheet)
{
    SheetCells out{sheet, {}};
    CellRow row{1, {}};
    QString value;
    bool quoted = false, any = false;
    int line = 1;
    const auto endCell = [&] {
        row.cells << value;
        value.clear();
        any = false;
    };
    const auto endRow = [&] {
        endCell();
        bool blank = true;
        for (const QString& c : row.cells)
            blank = blank && c.trimmed().isEmpty();
        if (!blank)
            out.rows.push_back(row);
        row = CellRow{line, {}};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                value += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                if (c == u'\n')
                    ++line;
                value += c;
            }
        } else if (c == u'"' && !any) {
            quoted = any = true;
        } else if (c == u';') {
            endCell();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRow();
        } else {
            value += c;
            any = true;
        }
    }
    if (quoted)
        throw ImportError(QStringLiteral("O arquivo CSV termina dentro de um texto entre aspas (aberto perto da linha %1).").arg(row.number));
    if (!value.isEmpty() || !row.cells.isEmpty())
        endRow();
    return out;
}

Spreadsheet readCsv(const QString& path, const QByteArray& bytes, const Source& source)
{
    const QString sheet = knownSheet(QFileInfo(path).completeBaseName(), true);
    if (sheet.isEmpty())
        throw ImportError(QStringLiteral("O nome do arquivo CSV deve dizer qual tabela ele contém, como M300A.csv ou Leiaute-12-M300A.csv "
                                         "(tabelas: %1).")
                              .arg(knownList()));
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(body);
    if (utf8.hasError())
        throw ImportError(QStringLiteral("O arquivo CSV não está em UTF-8."));
    return Spreadsheet{{sheetFromCells(csvCells(text, sheet), source)}, false, {}};
}

Spreadsheet readWorkbook(const QString& path, const Source& source)
{
    Spreadsheet out;
    out.wholeLayout = true;
    for (const SheetCells& cells : readXlsx(path)) {
        const QString sheet = knownSheet(cells.name, false);
        if (sheet.isEmpty())
            throw ImportError(
                QStringLiteral("A planilha \"%1\" não é uma das tabelas dinâmicas da ECF que o sistema conhece (%2).").arg(cells.name.left(40), knownList()));
        SheetCells named = cells;
        named.name = sheet;
        out.sheets.push_back(sheetFromCells(named, source));
    }
    for (const char* needed : {kIrpj, kCsll}) {
        bool found = false;
        for (const Sheet& s : out.sheets)
            found = found || s.name == QLatin1String(needed);
        if (!found)
            throw ImportError(QStringLiteral("A pasta de trabalho não tem a planilha %1.").arg(QLatin1String(needed)));
    }
    return out;
}

QString layoutInName(const QString& path)
{
    static const QRegularExpression layout(QStringLiteral(R"(leiaute[\s_-]*(\d{1,4})(?!\d))"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = layout.match(QFileInfo(path).fileName());
    return m.hasMatch() ? layoutCode(m.captured(1)) : QString();
}

long long codesNotFound(Db& db)
{
    static const std::string sql = [] {
        using namespace contract;
        const std::string sheetOf = std::string("CASE P.") + f::IDIMPOSTO + " WHEN 'C' THEN '" + kCsll + "' ELSE '" + kIrpj + "' END";
        return std::string("SELECT COUNT(*) FROM ") + t::PARAMAPUECF + " E JOIN " + t::PARAMAPUIRPJ + " P ON P." + f::NRSEQPARAMAPU + " = E." +
               f::NRSEQPARAMAPU + " WHERE NOT EXISTS (SELECT 1 FROM " + t::TABELAECF + " T WHERE T." + f::NMTABELAECF + " = " + sheetOf + " AND T." +
               f::CDECF + " = E." + f::CDECF + " AND T." + f::CDLEIAUTEECF + " = (SELECT MAX(L." + f::CDLEIAUTEECF + ") FROM " + t::TABELAECF +
               " L WHERE L." + f::NMTABELAECF + " = " + sheetOf + "))";
    }();
    return db.query(sql).at(0).at(0).toLongLong();
}

} // namespace

QString layoutCode(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > 9999)
        return {};
    return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0'));
}

Sheet sheetFromCells(const SheetCells& cells, const Source& source)
{
    const std::vector<Column> columns = columnsOf(cells.name);
    // The first row that names every column is the title row; what is above
    // it (the sheet's own title, notes) is not data.
    std::vector<int> at;
    std::size_t header = 0, bestFound = 0;
    std::vector<int> best;
    bool found = false;
    for (; header < cells.rows.size() && header < kHeaderSearchRows && !found; ++header) {
        std::vector<int> positions(columns.size(), -1);
        std::size_t matched = 0;
        for (int c = 0; c < cells.rows[header].cells.size(); ++c) {
            const QString key = titleKey(cells.rows[header].cells[c]);
            for (std::size_t k = 0; k < columns.size(); ++k)
                if (positions[k] < 0 && key == QLatin1String(columns[k].key)) {
                    positions[k] = c;
                    ++matched;
                }
        }
        if (matched > bestFound || best.empty()) {
            bestFound = matched;
            best = positions;
        }
        found = matched == columns.size();
    }
    if (!found) {
        QStringList missing;
        for (std::size_t k = 0; k < columns.size(); ++k)
            if (best.empty() || best[k] < 0)
                missing << QString::fromUtf8(columns[k].title);
        throw ImportError(QStringLiteral("A tabela %1 não tem a linha de títulos das colunas: falta %2.").arg(cells.name, missing.join(QStringLiteral(", "))));
    }
    at = best;
    Sheet sheet{cells.name, {}, source};
    for (std::size_t r = header; r < cells.rows.size(); ++r) {
        const CellRow& row = cells.rows[r];
        const auto value = [&](const Column& c) {
            for (std::size_t k = 0; k < columns.size(); ++k)
                if (columns[k].key == c.key)
                    return cell(row, at[k]).trimmed();
            return QString();
        };
        bool blank = true;
        for (const QString& c : row.cells)
            blank = blank && c.trimmed().isEmpty();
        if (blank)
            continue;
        const QString where = QStringLiteral("Tabela %1, linha %2: ").arg(cells.name).arg(row.number);
        Line l;
        l.code = value(kCode);
        l.description = value(kDescription);
        if (cells.name == QLatin1String(kParteB)) {
            l.tax = value(kTax).toUpper();
        } else {
            l.kind = value(kKind).toUpper();
            l.entryType = value(kEntryType).toUpper();
        }
        for (const auto& [column, target] : {std::pair{kStart, &l.start}, std::pair{kEnd, &l.end}}) {
            const std::optional<QString> date = isoDate(value(column));
            if (!date)
                throw ImportError(where + QStringLiteral("a data \"%1\" em %2 não é uma data válida no formato DDMMAAAA.")
                                              .arg(value(column).left(20), QString::fromUtf8(column.title)));
            *target = *date;
        }
        try {
            checkLine(cells.name, l);
        } catch (const InvalidLine& e) {
            throw ImportError(where + e.message());
        }
        sheet.lines.push_back(std::move(l));
    }
    if (sheet.lines.empty())
        throw ImportError(QStringLiteral("A tabela %1 não tem linhas abaixo dos títulos.").arg(cells.name));
    return sheet;
}

Spreadsheet readSpreadsheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ImportError(QStringLiteral("Não foi possível abrir o arquivo %1: %2.").arg(path, file.errorString()));
    if (file.size() > kMaxCsvBytes)
        throw ImportError(QStringLiteral("O arquivo %1 é grande demais para uma tabela da ECF.").arg(path));
    const QByteArray bytes = file.readAll();
    const Source source{QFileInfo(path).fileName(), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
                        QStringLiteral("Importado com erp-server --import-ecf")};
    // A workbook is a ZIP file, whatever its name says.
    Spreadsheet s;
    if (bytes.startsWith("PK\x03\x04"))
        s = readWorkbook(path, source);
    else if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0)
        throw ImportError(QStringLiteral("O arquivo %1 não é uma planilha XLSX válida.").arg(path));
    else
        s = readCsv(path, bytes, source);
    s.layoutInName = layoutInName(path);
    return s;
}

Imported importSpreadsheet(Db& db, const QString& path, const QString& layout)
{
    Imported out;
    out.spreadsheet = readSpreadsheet(path);
    Transaction tx(db, true);
    out.layout = !layout.isEmpty() ? layout : out.spreadsheet.layoutInName;
    if (out.layout.isEmpty())
        out.layout = currentLayout(db, out.spreadsheet.sheets.front().name).value_or(QString());
    if (out.layout.isEmpty())
        throw ImportError(QStringLiteral("Informe o leiaute com --ecf-layout N: o nome do arquivo não diz qual é, e o banco ainda não tem tabelas da ECF."));
    if (out.spreadsheet.wholeLayout)
        removeLayout(db, out.layout);
    replaceSheets(db, out.layout, out.spreadsheet.sheets, QDateTime::currentMSecsSinceEpoch());
    out.codesNotFound = codesNotFound(db);
    tx.commit();
    return out;
}

} // namespace erp::server::ecf
