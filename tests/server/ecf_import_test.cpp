// SPDX-License-Identifier: MIT
// erp-server --import-ecf, the real program: workbooks written here with
// libxlsxwriter from the repository's rows (shared or inline strings, dates
// as text or as numbers, the Parte B title row further down) and CSV files
// read back to exactly those rows; a malformed or unexpected file refused
// with nothing written; codes an import drops stay mapped.
#include "ecf/ecfdata.h"
#include "rpcclient.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"

#include "contract/paramirpj.h"
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <xlsxwriter.h>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>

#include <functional>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

// How a test workbook departs from the spreadsheet's shape.
struct Shape {
    bool inlineStrings = false; // libxlsxwriter's constant-memory mode writes no shared strings
    bool numericDates = false;  // DDMMAAAA as numbers (01012015 becomes 1012015)
    QString droppedColumn = {}; // a title left out of every sheet, with its cells
    std::function<void(ecf::Sheets&)> edit = {};
    QString foreignSheet = {};
};

// The cells of one line in the order of its sheet's titles.
QStringList titlesOf(const QString& sheet)
{
    if (sheet == "PARTEB_PADRAO")
        return {"CÓDIGO", "DESCRIÇÃO", "TRIBUTO", "DT_INI", "DT_FIM"};
    return {"CÓDIGO", "DESCRIÇÃO", "DT_INI", "DT_FIM", "TIPO", "TIPO LANÇ"};
}

QString ddmmyyyy(const QVariant& iso)
{
    const QString s = iso.toString();
    return s.isEmpty() ? QString() : s.mid(8, 2) + s.mid(5, 2) + s.left(4);
}

QStringList cellsOf(const QString& sheet, const ecf::Line& l)
{
    // Line: code, description, kind, entry type, tax, start, end.
    if (sheet == "PARTEB_PADRAO")
        return {l[0].toString(), l[1].toString(), l[4].toString(), ddmmyyyy(l[5]), ddmmyyyy(l[6])};
    return {l[0].toString(), l[1].toString(), ddmmyyyy(l[5]), ddmmyyyy(l[6]), l[2].toString(), l[3].toString()};
}

void writeWorkbook(const std::string& path, const Shape& shape = {})
{
    ecf::Sheets sheets = ecf::expectedSheets();
    if (shape.edit)
        shape.edit(sheets);
    lxw_workbook_options options{};
    options.constant_memory = shape.inlineStrings ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
    ASSERT_NE(book, nullptr);
    const auto text = [](lxw_worksheet* ws, int r, int c, const QString& s) {
        if (!s.isEmpty())
            worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), s.toUtf8().constData(), nullptr);
    };
    for (const QString& name : ecf::sheetOrder()) {
        lxw_worksheet* ws = workbook_add_worksheet(book, name.toUtf8().constData());
        int row = 0;
        if (name == "PARTEB_PADRAO") {
            // The standard Parte B sheet opens with its own title and a note.
            text(ws, row++, 0, "Tabela de Códigos Padrão da Parte B");
            text(ws, row++, 0, "Leiaute 12");
            ++row;
        }
        const QStringList titles = titlesOf(name);
        const auto write = [&](const QStringList& cells) {
            int column = 0;
            for (int i = 0; i < cells.size(); ++i) {
                if (titles[i] == shape.droppedColumn)
                    continue;
                const bool date = titles[i].startsWith("DT_") && row > 0 && cells[i] != titles[i];
                if (date && shape.numericDates && !cells[i].isEmpty())
                    worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(column), cells[i].toDouble(), nullptr);
                else
                    text(ws, row, column, cells[i]);
                ++column;
            }
            ++row;
        };
        write(titles);
        for (const ecf::Line& l : sheets.at(name))
            write(cellsOf(name, l));
    }
    if (!shape.foreignSheet.isEmpty()) {
        lxw_worksheet* ws = workbook_add_worksheet(book, shape.foreignSheet.toUtf8().constData());
        text(ws, 0, 0, "CÓDIGO");
        text(ws, 1, 0, "1");
    }
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
}

void writeFile(const std::string& path, const QByteArray& bytes)
{
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// One sheet as the CSV a spreadsheet program saves: ';', quotes where needed, CRLF.
QByteArray csvOf(const QString& sheet, const std::vector<ecf::Line>& lines)
{
    const auto quoted = [](const QString& s) {
        return s.contains(u';') || s.contains(u'"') ? u'"' + QString(s).replace(u'"', QStringLiteral("\"\"")) + u'"' : s;
    };
    QString out = titlesOf(sheet).join(u';') + "\r\n";
    for (const ecf::Line& l : lines) {
        QStringList cells;
        for (const QString& c : cellsOf(sheet, l))
            cells << quoted(c);
        out += cells.join(u';') + "\r\n";
    }
    return "\xEF\xBB\xBF" + out.toUtf8();
}

class EcfImportTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        createDatabase("ecfi", false);
    }

    RunResult runImport(const std::string& file, std::vector<std::string> more = {})
    {
        std::vector<std::string> argv{ERP_SERVER_BINARY, "--import-ecf", file, "--db", testDb_->url};
        argv.insert(argv.end(), more.begin(), more.end());
        return runProgram(argv, 60);
    }

    // What an import may change.
    std::vector<std::string> tables()
    {
        std::vector<std::string> out;
        for (const char* sql : {"SELECT * FROM TABELAECF ORDER BY 1, 2, 3", "SELECT * FROM FONTEECF ORDER BY 1, 2"})
            for (const server::SqlRow& r : db_->query(sql)) {
                std::string line;
                for (const QVariant& v : r)
                    line += v.toString().toStdString() + "|";
                out.push_back(line);
            }
        return out;
    }

    void expectTheFilesRows()
    {
        const ecf::Sheets stored = ecf::storedSheets(*db_), expected = ecf::expectedSheets();
        ASSERT_EQ(stored.size(), expected.size());
        for (const auto& [sheet, lines] : expected) {
            SCOPED_TRACE(sheet.toStdString());
            EXPECT_TRUE(stored.at(sheet) == lines) << ecf::firstDifference(stored.at(sheet), lines);
        }
    }

    TempDir dir_;
};

// The workbook replaces the layout's rows with exactly its own, and the run
// prints the lines per sheet and kind and records the file.
TEST_P(EcfImportTest, AWorkbookGivesBackExactlyItsRows)
{
    // What the import must put right: a sheet emptied, a description changed.
    db_->exec("DELETE FROM TABELAECF WHERE NMTABELAECF = 'M300A'");
    db_->exec("UPDATE TABELAECF SET DSECF = 'outra' WHERE NMTABELAECF = 'N670'");
    const std::string file = dir_.path() + "/RFB-Tabelas-Dinamicas-ECF-Leiaute-12.xlsx";
    writeWorkbook(file);
    const RunResult r = runImport(file);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectTheFilesRows();
    for (const char* line : {"leiaute 0012 importado de RFB-Tabelas-Dinamicas-ECF-Leiaute-12.xlsx", "  M300A: 386 linhas (E 374, CNA 7, R 4, CA 1)\n",
                             "  M350A: 353 linhas (E 342, CNA 7, R 4)\n", "  N500: 2 linhas (", "  N630A: 45 linhas (E 26, CNA 15, ",
                             "  N670: 38 linhas (E 26, ", "  PARTEB_PADRAO: 126 linhas (tributo A 120, I 4, C 2)\n", "  total: 950 linhas\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
    const server::SqlRows sources = db_->query("SELECT DISTINCT CDLEIAUTEECF, NMARQUIVOECF, DSRESUMOECF FROM FONTEECF");
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0][0].toString(), "0012");
    EXPECT_EQ(sources[0][1].toString(), "RFB-Tabelas-Dinamicas-ECF-Leiaute-12.xlsx");
    EXPECT_EQ(sources[0][2].toString(), sha);
}

INSTANTIATE_TEST_SUITE_P(Engines, EcfImportTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

class EcfImportSqliteTest : public EcfImportTest {};

// Inline strings and dates stored as numbers read the same; a file whose
// name gives no layout replaces the newest one.
TEST_P(EcfImportSqliteTest, InlineStringsAndNumericDatesReadTheSame)
{
    db_->exec("UPDATE TABELAECF SET DTINIECF = '2000-01-01'");
    const std::string file = dir_.path() + "/tabelas.xlsx";
    writeWorkbook(file, Shape{.inlineStrings = true, .numericDates = true});
    const RunResult r = runImport(file);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("leiaute 0012"), std::string::npos) << r.out;
    expectTheFilesRows();
}

// A CSV replaces its own sheet: quotes, semicolons and accents as written.
TEST_P(EcfImportSqliteTest, ACsvReplacesItsSheetOnly)
{
    ecf::Sheets sheets = ecf::expectedSheets();
    std::vector<ecf::Line>& csll = sheets.at("M350A");
    csll[5][1] = QStringLiteral("Descrição com \"aspas\"; e ponto e vírgula");
    csll.pop_back();
    const std::string file = dir_.path() + "/M350A.csv";
    writeFile(file, csvOf("M350A", csll));
    db_->exec("UPDATE TABELAECF SET DSECF = 'intocada' WHERE NMTABELAECF = 'M300A' AND CDECF = '6'");
    const std::vector<ecf::Line> irpj = ecf::storedLines(*db_, "M300A");
    const RunResult r = runImport(file);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  M350A: 352 linhas (E "), std::string::npos) << r.out;
    EXPECT_TRUE(ecf::storedLines(*db_, "M350A") == csll) << ecf::firstDifference(ecf::storedLines(*db_, "M350A"), csll);
    EXPECT_TRUE(ecf::storedLines(*db_, "M300A") == irpj);
    EXPECT_EQ(db_->query("SELECT NMARQUIVOECF FROM FONTEECF WHERE NMTABELAECF = 'M350A'").at(0).at(0).toString(), "M350A.csv");
}

// A file that is not what it should be is refused, says why, and writes nothing.
TEST_P(EcfImportSqliteTest, AMalformedOrUnexpectedFileIsRefusedWithNothingWritten)
{
    const std::vector<std::string> before = tables();
    struct Case {
        const char* what;
        std::function<std::string()> make; // the file's path
        const char* said;
    };
    const auto workbook = [&](const char* name, Shape shape) {
        return [this, name, shape] {
            const std::string path = dir_.path() + "/" + name;
            writeWorkbook(path, shape);
            return path;
        };
    };
    const auto bytes = [&](const char* name, QByteArray content) {
        return [this, name, content] {
            const std::string path = dir_.path() + "/" + name;
            writeFile(path, content);
            return path;
        };
    };
    const auto editLine = [](const char* sheet, std::size_t line, std::size_t field, const char* value) {
        return [=](ecf::Sheets& s) { s.at(sheet).at(line)[field] = QString::fromUtf8(value); };
    };
    const std::vector<Case> cases{
        {"a missing column", workbook("sem-coluna.xlsx", Shape{.droppedColumn = "DT_FIM"}), "falta DT_FIM"},
        {"a bad date", workbook("data.xlsx", Shape{.edit = editLine("M350A", 40, 5, "2020-02-31")}), "linha 42: a data \"31022020\" em DT_INI"},
        {"a date that is no date", workbook("data2.xlsx", Shape{.edit = editLine("N670", 3, 6, "2026-13-01")}), "em DT_FIM não é uma data válida"},
        {"a foreign sheet", workbook("estranha.xlsx", Shape{.foreignSheet = "Plano Referencial"}), "\"Plano Referencial\" não é uma das tabelas"},
        {"an unknown kind", workbook("tipo.xlsx", Shape{.edit = editLine("M300A", 10, 2, "X")}), "tipo \"X\" inválido"},
        {"an end before the start", workbook("fim.xlsx", Shape{.edit = editLine("M300A", 10, 6, "2014-12-31")}), "data final é anterior"},
        {"a line without a code", workbook("codigo.xlsx", Shape{.edit = editLine("M300A", 10, 0, "")}), "não tem código"},
        {"text that is no workbook", bytes("falsa.xlsx", "CÓDIGO;DESCRIÇÃO\n"), "não é uma planilha XLSX válida"},
        {"a damaged workbook", bytes("quebrada.xlsx", QByteArray("PK\x03\x04", 4) + QByteArray(200, 'x')), "não é um arquivo ZIP válido"},
        {"a CSV named after no sheet", bytes("codigos.csv", csvOf("M300A", ecf::expectedSheets().at("M300A"))), "O nome do arquivo CSV"},
        {"a CSV not in UTF-8", bytes("M300A.csv", "C\xD3" "DIGO;DESCRI\xC7\xC3O\r\n"), "não está em UTF-8"},
        {"a CSV with a quote left open", bytes("N500.csv", csvOf("N500", ecf::expectedSheets().at("N500")) + "\"1;sem fim\r\n"), "entre aspas"},
        {"a CSV without lines", bytes("N500.csv", csvOf("N500", {})), "não tem linhas"},
        {"a missing file", [this] { return dir_.path() + "/nao-existe.xlsx"; }, "Não foi possível abrir"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = runImport(c.make());
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Nada foi gravado."), std::string::npos) << r.err;
        EXPECT_EQ(tables(), before);
    }
    const RunResult option = runImport(dir_.path() + "/x.xlsx", {"--ecf-layout", "abc"});
    EXPECT_EQ(option.exitCode, 2) << option.err;
}

// A newer layout imported beside the old one becomes the one read; a mapped
// code it no longer has stays mapped, without description, and the run says so.
TEST_P(EcfImportSqliteTest, ANewerLayoutIsReadAndKeepsCodesItDropped)
{
    server::fillDemo(*db_);
    const RowValues row{double(server::nextSequence(*db_, server::Series::Param)), "02", "Multas", "A", "I", 100.0};
    const auto rpc = [&](const char* method, const QJsonArray& params) {
        return QJsonDocument::fromJson(server::handleRpc(contract::kServerObject, rpcRequest(method, params), *db_).body).object();
    };
    ASSERT_TRUE(rpc(m::SetParamIRPJ, {insertJson(contract::paramApuLayout(), row)}).contains("result"));
    const FieldDefs mapL{contract::fieldDef(f::NRSEQPARAMAPU), contract::fieldDef(f::CDECF)};
    ASSERT_TRUE(rpc(m::setCodECF, {insertJson(mapL, {row[0], "8.60"})}).contains("result"));

    std::vector<ecf::Line> irpj = ecf::expectedSheets().at("M300A");
    std::erase_if(irpj, [](const ecf::Line& l) { return l[0] == QStringLiteral("8.60"); });
    const std::string file = dir_.path() + "/M300A.csv";
    writeFile(file, csvOf("M300A", irpj));
    const RunResult r = runImport(file, {"--ecf-layout", "13"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("leiaute 0013"), std::string::npos) << r.out;
    // This row and the demo company's IRPJ fines.
    EXPECT_NE(r.out.find("aviso: 2 registro(s)"), std::string::npos) << r.out;

    const QJsonObject table = rpc(m::getTabelaECF, {"I"});
    EXPECT_EQ(table.value("result").toObject().value("rows").toArray().size(), 385);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM TABELAECF WHERE CDLEIAUTEECF = '0012'").at(0).at(0).toInt(), 950) << "the older layout is kept";
    const QJsonArray codes = rpc(m::getCodECF, {"02", "I"}).value("result").toObject().value("rows").toArray();
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0].toArray(), (QJsonArray{row[0].toDouble(), "8.60", QJsonValue::Null, QJsonValue::Null, QJsonValue::Null}));

    // An older layout is stored, and the run says it is not the one read.
    const RunResult older = runImport(file, {"--ecf-layout", "11"});
    ASSERT_EQ(older.exitCode, 0) << older.err;
    EXPECT_NE(older.out.find("aviso: o leiaute 0011 é mais antigo que o 0013"), std::string::npos) << older.out;
    EXPECT_EQ(rpc(m::getTabelaECF, {"I"}).value("result").toObject().value("rows").toArray().size(), 385);
}

INSTANTIATE_TEST_SUITE_P(Engines, EcfImportSqliteTest, ::testing::Values(Engine::Sqlite), engineName);

} // namespace
