// SPDX-License-Identifier: MIT
// erp-server --export and --import, the real program on both engines: a
// company exported and imported into an empty one gives the same rows, an
// import again skips them all, and a file that is malformed, foreign, of a
// newer format or whose rows a save would refuse is refused with nothing written.
#include "support/companyrows.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/snapshot.h"

#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <fstream>
#include <functional>
#include <sstream>

using namespace erp;
using namespace erp::testing;

namespace {

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class TransferTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        createDatabase("t");
        if (IsSkipped())
            return;
        file_ = dir_.path() + "/parametros.json";
    }

    RunResult run(const char* mode, const std::string& company, const std::string& file)
    {
        return runProgram({ERP_SERVER_BINARY, mode, company, file, "--db", testDb_->url}, 60);
    }

    qlonglong count(const std::string& sql) { return db_->query(sql).at(0).at(0).toLongLong(); }

    TempDir dir_;
    std::string file_;
};

// Export then import into an empty company: every row and its accounting
// information, under new numbers, recorded as the import; imported again,
// everything is skipped.
TEST_P(TransferTest, ExportThenImportIntoAnEmptyCompanyRoundTripsEveryRow)
{
    const RunResult exported = run("--export", "01", file_);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.out.find("9 adições, exclusões e compensações, 5 itens do lucro líquido e 16 informações contábeis"), std::string::npos)
        << exported.out;
    const QJsonObject document = QJsonDocument::fromJson(QByteArray::fromStdString(readText(file_))).object();
    EXPECT_EQ(document.value("format").toString(), "erp-parametros-irpj");
    EXPECT_EQ(document.value("version").toInt(), 1);
    EXPECT_EQ(document.value("company").toString(), "01");
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)").match(document.value("date").toString()).hasMatch());
    EXPECT_EQ(document.value("GetParamIRPJ").toObject().value("rows").toArray().size(), 5);
    EXPECT_EQ(document.value("GetParamCSLL").toObject().value("rows").toArray().size(), 4);

    const qlonglong history = count("SELECT COUNT(*) FROM HISTORICOIRPJ");
    const RunResult imported = run("--import", "03", file_);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("total: gravados 30, ignorados 0"), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find("Informações contábeis: gravados 16, ignorados 0"), std::string::npos) << imported.out;
    EXPECT_EQ(companyContent(*db_, "03"), companyContent(*db_, "01"));
    // 30 rows and the ECF codes of its 9 additions rows.
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ WHERE NMUSUARIO = 'import' AND NMMETODO = 'import' AND CDEMPRESA = '03' AND IDOPERACAO = 'I'"),
              39);
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ"), history + 39);

    const std::vector<std::string> before = snapshot(testDb_->url);
    const RunResult again = run("--import", "03", file_);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("total: gravados 0, ignorados 30"), std::string::npos) << again.out;
    EXPECT_EQ(snapshot(testDb_->url), before);

    // A file naming one key twice (ignoring letter case): the first is written,
    // the second skipped with its accounting information.
    QJsonObject edited = QJsonDocument::fromJson(QByteArray::fromStdString(readText(file_))).object();
    QJsonObject irpj = edited.value("GetParamIRPJ").toObject();
    QJsonArray rows = irpj.value("rows").toArray();
    QJsonArray second = rows[1].toArray();
    second[2] = rows[0].toArray()[2].toString().toUpper();
    rows[1] = second;
    irpj["rows"] = rows;
    edited["GetParamIRPJ"] = irpj;
    writeText(file_, QJsonDocument(edited).toJson().toStdString());
    const RunResult twice = run("--import", "04", file_);
    ASSERT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_NE(twice.out.find("Adições IRPJ: gravados 2, ignorados 1"), std::string::npos) << twice.out;
    EXPECT_NE(twice.out.find("total: gravados 28, ignorados 2"), std::string::npos) << twice.out;
}

// Every file that is not a whole, valid export of this format, and every
// target that cannot take it, is refused with a Portuguese sentence and
// status 1, and nothing is written.
TEST_P(TransferTest, FilesAndTargetsThatCannotBeImportedAreRefusedWithNothingWritten)
{
    ASSERT_EQ(run("--export", "01", file_).exitCode, 0);
    const std::string good = readText(file_);
    const QJsonObject document = QJsonDocument::fromJson(QByteArray::fromStdString(good)).object();
    const auto edited = [&](const std::function<void(QJsonObject&)>& edit) {
        QJsonObject d = document;
        edit(d);
        return QJsonDocument(d).toJson().toStdString();
    };
    // The rows of a packet, edited one value at a time.
    const auto withRowValues = [&](const char* member, int row, const std::vector<std::pair<int, QJsonValue>>& values) {
        return edited([&](QJsonObject& d) {
            QJsonObject p = d.value(member).toObject();
            QJsonArray rows = p.value("rows").toArray();
            QJsonArray r = rows[row].toArray();
            for (const auto& [column, value] : values)
                r[column] = value;
            rows[row] = r;
            p["rows"] = rows;
            d[member] = p;
        });
    };
    const auto withRowValue = [&](const char* member, int row, int column, const QJsonValue& value) { return withRowValues(member, row, {{column, value}}); };
    struct Case {
        const char* what;
        std::string text;
        const char* company;
        const char* said;
    };
    const std::vector<Case> cases{
        {"an empty file", "", "03", "não é um JSON válido"},
        {"a file cut short", good.substr(0, good.size() / 2), "03", "não é um JSON válido"},
        {"a file that is not UTF-8", "{\"format\":\"\xff\"}", "03", "UTF-8"},
        {"foreign JSON", R"({"fields":[],"rows":[]})", "03", "não é uma exportação de parâmetros"},
        {"a JSON array", "[1,2,3]", "03", "não é uma exportação de parâmetros"},
        {"a newer format", edited([](QJsonObject& d) { d["version"] = 2; }), "03", "versão 2, mais novo"},
        {"no version", edited([](QJsonObject& d) { d.remove("version"); }), "03", "versão de formato válida"},
        {"a packet missing", edited([](QJsonObject& d) { d.remove("getRecDesp"); }), "03", "não traz o pacote getRecDesp"},
        {"a CSLL row among the IRPJ rows", withRowValue("GetParamIRPJ", 0, 4, "C"), "03", "é de outro imposto"},
        {"a text over its size", withRowValue("GetParamIRPJ", 0, 2, QString(201, u'x')), "03", "GetParamIRPJ do arquivo é inválido"},
        {"a percentage out of range", withRowValue("GetParamCSLL", 1, 5, 150.0), "03", "porcentagem"},
        {"an unknown account", withRowValues("getInfCtbIRPJ", 0, {{4, "999999999"}, {5, "999999999"}}), "03", "999999999"},
        {"accounting information of no row in the file", withRowValue("getInfCtbIRPJ", 0, 1, 987654.0), "03", "não está no arquivo"},
        {"two rows with one number",
         withRowValue("GetParamIRPJ", 1, 0, document.value("GetParamIRPJ").toObject().value("rows").toArray()[0].toArray()[0]), "03",
         "mais de um registro"},
        {"an unknown company", good, "99", "empresa 99 não está cadastrada"},
    };
    const std::vector<std::string> before = snapshot(testDb_->url);
    const qlonglong history = count("SELECT COUNT(*) FROM HISTORICOIRPJ");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(file_, c.text);
        const RunResult r = run("--import", c.company, file_);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nada foi gravado"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(snapshot(testDb_->url), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORICOIRPJ"), history);

    const RunResult missing = run("--import", "03", dir_.path() + "/nenhum.json");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("não pode ser lido"), std::string::npos) << missing.err;
    const std::string none = dir_.path() + "/nada.json";
    const RunResult unknown = run("--export", "99", none);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("empresa 99 não está cadastrada"), std::string::npos) << unknown.err;
    EXPECT_FALSE(std::ifstream(none).good()) << "no file for a refused export";
    EXPECT_EQ(runProgram({ERP_SERVER_BINARY, "--import", "03"}).exitCode, 2);
    EXPECT_EQ(runProgram({ERP_SERVER_BINARY, "--import", "03", file_, "--db", "mysql://x"}).exitCode, 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, TransferTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
