// SPDX-License-Identifier: MIT
// The ECF dynamic tables a new database gets from the migration, on both
// engines: exactly the repository's data file, the counts the Receita's
// spreadsheet has, and where they came from; a version 4 database gains them
// and keeps every row.
#include "ecf/ecfdata.h"
#include "support/databasetest.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>

#include <filesystem>
#include <map>

using namespace erp;
using namespace erp::testing;

namespace {

class EcfTablesTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        createDatabase("ecft", false);
    }
};

// Lines per sheet and per kind (the Parte B tax on its sheet), as the
// Receita's spreadsheet has them.
TEST_P(EcfTablesTest, ANewDatabaseHoldsEveryLineOfLayout12)
{
    const std::map<std::string, std::map<std::string, int>> expected{
        {"M300A", {{"E", 374}, {"CNA", 7}, {"R", 4}, {"CA", 1}}},
        {"M350A", {{"E", 342}, {"CNA", 7}, {"R", 4}}},
        {"N500", {{"E", 1}, {"CNA", 1}}},
        {"N630A", {{"E", 26}, {"CNA", 15}, {"R", 2}, {"CA", 2}}},
        {"N670", {{"E", 26}, {"CNA", 5}, {"CA", 5}, {"R", 2}}},
        {"PARTEB_PADRAO", {{"A", 120}, {"I", 4}, {"C", 2}}},
    };
    std::map<std::string, std::map<std::string, int>> counted;
    for (const server::SqlRow& r :
         db_->query("SELECT NMTABELAECF, COALESCE(TPECF, IDTRIBUTOECF), COUNT(*) FROM TABELAECF WHERE CDLEIAUTEECF = '0012' GROUP BY 1, 2"))
        counted[r[0].toString().toStdString()][r[1].toString().toStdString()] = r[2].toInt();
    EXPECT_EQ(counted, expected);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM TABELAECF").at(0).at(0).toInt(), 950);

    // Every line as the data file has it, in the sheet's order.
    const ecf::Sheets file = ecf::expectedSheets();
    ASSERT_EQ(file.size(), 6u);
    for (const auto& [sheet, lines] : file) {
        SCOPED_TRACE(sheet.toStdString());
        const std::vector<ecf::Line> stored = ecf::storedLines(*db_, sheet);
        EXPECT_TRUE(stored == lines) << ecf::firstDifference(stored, lines);
    }

    // A code may repeat within a sheet: both lines are kept.
    const server::SqlRows thirteen = db_->query("SELECT DSECF FROM TABELAECF WHERE NMTABELAECF = 'M350A' AND CDECF = '13' ORDER BY NRLINHAECF");
    ASSERT_EQ(thirteen.size(), 2u);
    EXPECT_NE(thirteen[0][0], thirteen[1][0]);
}

// Each sheet records the spreadsheet it was transcribed from.
TEST_P(EcfTablesTest, EachSheetRecordsItsSource)
{
    const server::SqlRows sources = db_->query("SELECT CDLEIAUTEECF, NMTABELAECF, NMARQUIVOECF, DSRESUMOECF, DSFONTEECF, DTCARGAECF FROM FONTEECF");
    ASSERT_EQ(sources.size(), 6u);
    const QJsonObject file = ecf::dataFile();
    for (const server::SqlRow& s : sources) {
        SCOPED_TRACE(s[1].toString().toStdString());
        EXPECT_EQ(s[0].toString(), "0012");
        EXPECT_EQ(s[2].toString(), "RFB-Tabelas-Dinamicas-ECF-Leiaute-12.xlsx");
        EXPECT_EQ(s[3].toString(), "366b8d9030a04e9f6203b6ae29ace49d3ffa3fa0c1f5a7a18b0c967b9a5a3cac");
        EXPECT_EQ(s[4].toString(), file.value("fonte").toString());
        EXPECT_GT(s[5].toLongLong(), 0);
    }
}

// A database of the previous version keeps every row and gains the tables.
TEST_P(EcfTablesTest, AVersion4DatabaseGainsTheTablesAndKeepsItsData)
{
    server::fillDemo(*db_);
    db_->exec("DELETE FROM PARAMAPUECF"); // the demo's codes, which a version 4 database cannot have
    const std::vector<std::string> before = snapshot(testDb_->url);
    db_->script("DROP TABLE PARAMAPUECF; DROP TABLE FONTEECF; DROP TABLE TABELAECF");
    db_->exec("UPDATE ERP_SCHEMA SET VERSION = 4");
    EXPECT_EQ(server::migrate(*db_), 5);
    EXPECT_EQ(server::schemaVersion(), 5);
    EXPECT_EQ(snapshot(testDb_->url), before);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM TABELAECF").at(0).at(0).toInt(), 950);
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM PARAMAPUECF").at(0).at(0).toInt(), 0);
    EXPECT_EQ(server::migrate(*db_), 5) << "an up-to-date database is left as it is";
    EXPECT_EQ(db_->query("SELECT COUNT(*) FROM TABELAECF").at(0).at(0).toInt(), 950);
}

INSTANTIATE_TEST_SUITE_P(Engines, EcfTablesTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

// The repository's file carries the shared transcription's rows unchanged,
// and the script that makes it gives it byte for byte. Only where the
// shared file exists beside the checkout (not on a fresh clone).
TEST(EcfDataFile, IsTheSharedTranscriptionAsTheScriptWritesIt)
{
    const std::string shared = std::string(ERP_SOURCE_DIR) + "/../shared/ecf/tabelas-dinamicas-ecf-leiaute12.json";
    if (!std::filesystem::exists(shared))
        GTEST_SKIP() << shared << " is not on this machine";
    QFile f(QString::fromStdString(shared));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const QJsonObject source = QJsonDocument::fromJson(bytes).object();
    const QJsonObject ours = ecf::dataFile();
    EXPECT_EQ(ours.value("tabelas"), source.value("tabelas"));
    EXPECT_EQ(ours.value("fonte"), source.value("fonte"));
    EXPECT_EQ(ours.value("leiaute"), source.value("leiaute"));
    EXPECT_EQ(ours.value("origem").toObject().value("sha256").toString(),
              QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));

    if (!std::filesystem::exists("/usr/bin/python3"))
        GTEST_SKIP() << "python3 is not installed: scripts/ecf-data.py not run";
    TempDir dir;
    const std::string regenerated = dir.path() + "/leiaute12.json";
    const RunResult r = runProgram({"/usr/bin/python3", std::string(ERP_SOURCE_DIR) + "/scripts/ecf-data.py", shared, regenerated});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QFile a(QString::fromStdString(regenerated)), b(QString::fromStdString(ecf::dataFilePath()));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll()) << "run scripts/ecf-data.py and commit its output";
}

} // namespace
