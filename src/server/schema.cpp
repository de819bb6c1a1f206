// SPDX-License-Identifier: MIT
#include "schema.h"

#include "ecf/dynamictables.h"

#include <array>

namespace erp::server {

namespace {

// Tables common to both engines. Codes are stored as the client sends them;
// the ...CHV columns hold a case-folded key so the unique indexes refuse
// duplicates that differ only in letter case on either engine.
// APURPAI registers every parent number (an additions row or a net-profit
// item), so the accounting information can reference its parent with a
// foreign key whichever table the parent lives in.
constexpr char kV1Common[] = R"SQL(
CREATE TABLE EMPRESA (
  CDEMPRESA VARCHAR(2) NOT NULL PRIMARY KEY,
  NMEMPRESA VARCHAR(40) NOT NULL
);
CREATE TABLE CONTCTBL (
  CDCONTCTBL VARCHAR(20) NOT NULL PRIMARY KEY,
  NMCONTCTBL VARCHAR(40) NOT NULL
);
CREATE TABLE ITEMESTRUDRE (
  CDTIPODEMO VARCHAR(2) NOT NULL,
  CDITEMSTRU VARCHAR(4) NOT NULL,
  NMITEMSTRU VARCHAR(50) NOT NULL,
  PRIMARY KEY (CDTIPODEMO, CDITEMSTRU)
);
CREATE TABLE ALIQIRPJ (
  NRSEQALIQIRPJ BIGINT NOT NULL PRIMARY KEY,
  DSALIQIRPJCSLL VARCHAR(1000) NOT NULL,
  VRALIQPRESCSLL DOUBLE PRECISION NOT NULL,
  VRALIQPRESIRPJ DOUBLE PRECISION NOT NULL
);
CREATE TABLE APURPAI (
  NRSEQPARAMAPU BIGINT NOT NULL PRIMARY KEY
);
CREATE TABLE PARAMAPUIRPJ (
  NRSEQPARAMAPU BIGINT NOT NULL PRIMARY KEY REFERENCES APURPAI (NRSEQPARAMAPU),
  CDEMPRESA VARCHAR(2) NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  NMPARAMAPU VARCHAR(200) NOT NULL,
  NMPARAMAPUCHV VARCHAR(800) NOT NULL,
  IDPARAMAPU CHAR(1) NOT NULL CHECK (IDPARAMAPU IN ('A', 'E', 'C')),
  IDIMPOSTO CHAR(1) NOT NULL CHECK (IDIMPOSTO IN ('I', 'C')),
  VRPORCENTAGEM DOUBLE PRECISION NOT NULL CHECK (VRPORCENTAGEM > 0 AND VRPORCENTAGEM <= 100)
);
CREATE UNIQUE INDEX UXPARAMAPUIRPJ ON PARAMAPUIRPJ (CDEMPRESA, IDIMPOSTO, IDPARAMAPU, NMPARAMAPUCHV);
CREATE TABLE RECDESPIRPJ (
  NRSEQRECDESPIRPJ BIGINT NOT NULL PRIMARY KEY REFERENCES APURPAI (NRSEQPARAMAPU),
  CDEMPRESA VARCHAR(2) NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  NMRECDESPIRPJ VARCHAR(200) NOT NULL,
  NMRECDESPIRPJCHV VARCHAR(800) NOT NULL,
  IDRECDESPIRPJ CHAR(1) NOT NULL CHECK (IDRECDESPIRPJ IN ('R', 'D')),
  IDRECDESPIRPJOP CHAR(1) NOT NULL CHECK (IDRECDESPIRPJOP IN ('S', 'N')),
  NRSEQALIQIRPJ BIGINT NOT NULL REFERENCES ALIQIRPJ (NRSEQALIQIRPJ),
  VRALIQPRESIRPJ DOUBLE PRECISION,
  VRALIQPRESCSLL DOUBLE PRECISION,
  IDCONSVRDEB CHAR(1) NOT NULL CHECK (IDCONSVRDEB IN ('S', 'N'))
);
CREATE UNIQUE INDEX UXRECDESPIRPJ ON RECDESPIRPJ (CDEMPRESA, NMRECDESPIRPJCHV, IDRECDESPIRPJ, IDRECDESPIRPJOP, NRSEQALIQIRPJ);
CREATE INDEX IXRECDESPIRPJALIQ ON RECDESPIRPJ (NRSEQALIQIRPJ);
CREATE TABLE INFCTBIRPJ (
  NRSEQINFCTBIRPJ BIGINT NOT NULL PRIMARY KEY,
  NRSEQPARAMAPU BIGINT NOT NULL REFERENCES APURPAI (NRSEQPARAMAPU),
  IDINFCTBIRPJ CHAR(1) NOT NULL CHECK (IDINFCTBIRPJ IN ('C', 'I')),
  CHAVE VARCHAR(22) NOT NULL,
  CDINFCTBIRPJ VARCHAR(20) NOT NULL,
  CDTIPODEMO VARCHAR(2),
  CDINFCTBIRPJCHV VARCHAR(100) NOT NULL,
  IDFORMAPURITEM CHAR(1) NOT NULL CHECK (IDFORMAPURITEM IN ('C', 'P'))
);
CREATE UNIQUE INDEX UXINFCTBIRPJ ON INFCTBIRPJ (NRSEQPARAMAPU, IDINFCTBIRPJ, CDINFCTBIRPJCHV);
)SQL";

constexpr char kV1Sqlite[] = R"SQL(
CREATE TABLE SEQUENCIA (
  NMSEQUENCIA VARCHAR(30) NOT NULL PRIMARY KEY,
  VRULTIMO BIGINT NOT NULL
);
INSERT INTO SEQUENCIA (NMSEQUENCIA, VRULTIMO) VALUES ('PARAMIRPJ', 0), ('INFCTBIRPJ', 0);
)SQL";

// The client turns a number into a 32-bit integer: the series stop there.
constexpr char kV1Postgres[] = R"SQL(
CREATE SEQUENCE SQPARAMIRPJ AS INTEGER START 1 MAXVALUE 2147483647 NO CYCLE;
CREATE SEQUENCE SQINFCTBIRPJ AS INTEGER START 1 MAXVALUE 2147483647 NO CYCLE;
)SQL";

// Version 2: accounting information removed ahead of its parent's delete is
// held here until that delete commits, so a refused delete loses nothing.
constexpr char kV2Common[] = R"SQL(
CREATE TABLE INFCTBIRPJREMOVIDA (
  NRSEQINFCTBIRPJ BIGINT NOT NULL PRIMARY KEY,
  NRSEQPARAMAPU BIGINT NOT NULL,
  IDINFCTBIRPJ CHAR(1) NOT NULL,
  CHAVE VARCHAR(22) NOT NULL,
  CDINFCTBIRPJ VARCHAR(20) NOT NULL,
  CDTIPODEMO VARCHAR(2),
  CDINFCTBIRPJCHV VARCHAR(100) NOT NULL,
  IDFORMAPURITEM CHAR(1) NOT NULL,
  DTREMOCAO BIGINT NOT NULL
);
CREATE INDEX IXINFCTBIRPJREMOVIDA ON INFCTBIRPJREMOVIDA (NRSEQPARAMAPU);
)SQL";

// Version 3: the saves applied under an Idempotency-Key, each stored in the
// save's own transaction with the answer it got (DSRESUMO: SHA-256 of the
// server object and body, in hex). Kept at least a day (DTAPLICACAO, seconds
// since the epoch), then purged a few at a time by later saves.
constexpr char kV3Common[] = R"SQL(
CREATE TABLE REQUISICAOAPLICADA (
  CDCHAVE VARCHAR(64) NOT NULL PRIMARY KEY,
  DSRESUMO CHAR(64) NOT NULL,
  DSRESPOSTA TEXT NOT NULL,
  DTAPLICACAO BIGINT NOT NULL
);
CREATE INDEX IXREQUISICAOAPLICADA ON REQUISICAOAPLICADA (DTAPLICACAO);
)SQL";

// Version 4: the history of every applied change, appended in the change's
// own transaction (DTHISTORICO: UTC, milliseconds since the epoch; the rows
// before and after as JSON objects). The database itself refuses to change
// or remove it. An existing database starts with an empty history. The two
// engines differ in how the serial number is drawn and the refusal written;
// on PostgreSQL the primary key leads with the company and parent row
// getHistorico looks up, so each change updates one index instead of two.
constexpr char kV4Sqlite[] = R"SQL(
CREATE TABLE HISTORICOIRPJ (
  NRSEQHISTORICO INTEGER PRIMARY KEY,
  DTHISTORICO BIGINT NOT NULL,
  NMUSUARIO VARCHAR(40) NOT NULL,
  NMMETODO VARCHAR(30) NOT NULL,
  NMTABELA VARCHAR(30) NOT NULL,
  NRSEQREGISTRO BIGINT NOT NULL,
  NRSEQPARAMAPU BIGINT NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL,
  IDOPERACAO CHAR(1) NOT NULL CHECK (IDOPERACAO IN ('I', 'A', 'E')),
  DSREGANTERIOR TEXT,
  DSREGNOVO TEXT,
  CDCHAVE VARCHAR(64)
);
CREATE INDEX IXHISTORICOIRPJ ON HISTORICOIRPJ (CDEMPRESA, NRSEQPARAMAPU);
CREATE TRIGGER TRHISTORICOIRPJALT BEFORE UPDATE ON HISTORICOIRPJ BEGIN SELECT RAISE(ABORT, 'o histórico não pode ser alterado'); END;
CREATE TRIGGER TRHISTORICOIRPJEXC BEFORE DELETE ON HISTORICOIRPJ BEGIN SELECT RAISE(ABORT, 'o histórico não pode ser alterado'); END;
)SQL";

constexpr char kV4Postgres[] = R"SQL(
CREATE TABLE HISTORICOIRPJ (
  NRSEQHISTORICO BIGINT GENERATED ALWAYS AS IDENTITY,
  DTHISTORICO BIGINT NOT NULL,
  NMUSUARIO VARCHAR(40) NOT NULL,
  NMMETODO VARCHAR(30) NOT NULL,
  NMTABELA VARCHAR(30) NOT NULL,
  NRSEQREGISTRO BIGINT NOT NULL,
  NRSEQPARAMAPU BIGINT NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL,
  IDOPERACAO CHAR(1) NOT NULL CHECK (IDOPERACAO IN ('I', 'A', 'E')),
  DSREGANTERIOR TEXT,
  DSREGNOVO TEXT,
  CDCHAVE VARCHAR(64),
  PRIMARY KEY (CDEMPRESA, NRSEQPARAMAPU, NRSEQHISTORICO)
);
CREATE OR REPLACE FUNCTION FNHISTORICOIRPJ() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION 'o histórico não pode ser alterado';
END
$$;
CREATE TRIGGER TRHISTORICOIRPJ BEFORE UPDATE OR DELETE ON HISTORICOIRPJ FOR EACH ROW EXECUTE FUNCTION FNHISTORICOIRPJ();
CREATE TRIGGER TRHISTORICOIRPJTRUNC BEFORE TRUNCATE ON HISTORICOIRPJ FOR EACH STATEMENT EXECUTE FUNCTION FNHISTORICOIRPJ();
)SQL";

// Version 5: the Receita's ECF dynamic tables, a row per line of each sheet
// in the sheet's order (a code may repeat within a sheet, so it is no key),
// loaded from the data file compiled into the server; where each sheet's
// rows came from; and the ECF code of an additions row, keyed by the row.
// Dates are ISO texts, the end NULL while the line is valid.
constexpr char kV5Common[] = R"SQL(
CREATE TABLE TABELAECF (
  CDLEIAUTEECF VARCHAR(4) NOT NULL,
  NMTABELAECF VARCHAR(20) NOT NULL,
  NRLINHAECF BIGINT NOT NULL,
  CDECF VARCHAR(20) NOT NULL,
  DSECF VARCHAR(1000) NOT NULL,
  TPECF VARCHAR(3),
  TPLANCECF CHAR(1),
  IDTRIBUTOECF CHAR(1),
  DTINIECF CHAR(10) NOT NULL,
  DTFIMECF CHAR(10),
  PRIMARY KEY (CDLEIAUTEECF, NMTABELAECF, NRLINHAECF)
);
CREATE INDEX IXTABELAECFCOD ON TABELAECF (NMTABELAECF, CDECF, CDLEIAUTEECF);
CREATE TABLE FONTEECF (
  CDLEIAUTEECF VARCHAR(4) NOT NULL,
  NMTABELAECF VARCHAR(20) NOT NULL,
  NMARQUIVOECF VARCHAR(255) NOT NULL,
  DSRESUMOECF CHAR(64) NOT NULL,
  DSFONTEECF VARCHAR(1000),
  DTCARGAECF BIGINT NOT NULL,
  PRIMARY KEY (CDLEIAUTEECF, NMTABELAECF)
);
CREATE TABLE PARAMAPUECF (
  NRSEQPARAMAPU BIGINT NOT NULL PRIMARY KEY REFERENCES PARAMAPUIRPJ (NRSEQPARAMAPU),
  CDECF VARCHAR(20) NOT NULL
);
)SQL";

struct Migration {
    const char* common;
    const char* sqlite;
    const char* postgres;
    // Data the version brings, written after its statements.
    void (*fill)(Db&) = nullptr;
};
constexpr std::array kMigrations{Migration{kV1Common, kV1Sqlite, kV1Postgres}, Migration{kV2Common, "", ""}, Migration{kV3Common, "", ""},
                                 Migration{"", kV4Sqlite, kV4Postgres}, Migration{kV5Common, "", "", ecf::loadBundled}};

constexpr long long kSequenceMax = 2147483647;

} // namespace

int schemaVersion()
{
    return int(kMigrations.size());
}

int migrate(Db& db)
{
    const bool pg = db.dialect() == Dialect::Postgres;
    for (;;) {
        Transaction tx(db, true);
        // Several server processes may start together on one PostgreSQL database.
        if (pg)
            db.query("SELECT pg_advisory_xact_lock(47300)");
        db.script("CREATE TABLE IF NOT EXISTS ERP_SCHEMA (VERSION INTEGER NOT NULL)");
        const SqlRows rows = db.query("SELECT VERSION FROM ERP_SCHEMA");
        int version = 0;
        if (rows.empty())
            db.exec("INSERT INTO ERP_SCHEMA (VERSION) VALUES (0)");
        else
            version = rows.front().front().toInt();
        if (version > schemaVersion())
            throw DbError(DbError::Kind::Other, "database schema version " + std::to_string(version) + " is newer than this server (" +
                                                    std::to_string(schemaVersion()) + ")");
        if (version == schemaVersion()) {
            tx.commit();
            return version;
        }
        const Migration& m = kMigrations[std::size_t(version)];
        if (*m.common)
            db.script(m.common);
        if (const char* own = pg ? m.postgres : m.sqlite; *own)
            db.script(own);
        if (m.fill)
            m.fill(db);
        db.exec("UPDATE ERP_SCHEMA SET VERSION = ?", {qlonglong(version + 1)});
        tx.commit();
    }
}

namespace {

// A series' PostgreSQL sequence, and its row of SEQUENCIA on SQLite.
struct SeriesNames {
    const char* sequence;
    const char* row;
};

SeriesNames namesOf(Series s)
{
    return s == Series::Param ? SeriesNames{"SQPARAMIRPJ", "PARAMIRPJ"} : SeriesNames{"SQINFCTBIRPJ", "INFCTBIRPJ"};
}

} // namespace

long long takeSequence(Db& db, Series s)
{
    const SeriesNames n = namesOf(s);
    if (db.dialect() == Dialect::Postgres)
        return db.query(std::string("SELECT nextval('") + n.sequence + "')").at(0).at(0).toLongLong();
    const SqlRows r = db.query("UPDATE SEQUENCIA SET VRULTIMO = VRULTIMO + 1 WHERE NMSEQUENCIA = ? AND VRULTIMO < ? RETURNING VRULTIMO",
                               {QString::fromLatin1(n.row), qlonglong(kSequenceMax)});
    if (r.empty())
        throw DbError(DbError::Kind::Other, "sequence exhausted");
    return r.front().front().toLongLong();
}

std::vector<long long> takeSequences(Db& db, Series s, long long count)
{
    std::vector<long long> numbers;
    if (count <= 0)
        return numbers;
    numbers.reserve(std::size_t(count));
    const SeriesNames n = namesOf(s);
    if (db.dialect() == Dialect::Postgres) {
        for (const SqlRow& r : db.query(std::string("SELECT nextval('") + n.sequence + "') FROM generate_series(1, CAST(? AS BIGINT))", {qlonglong(count)}))
            numbers.push_back(r.front().toLongLong());
        return numbers;
    }
    const SqlRows r = db.query("UPDATE SEQUENCIA SET VRULTIMO = VRULTIMO + ? WHERE NMSEQUENCIA = ? AND VRULTIMO <= ? RETURNING VRULTIMO",
                               {qlonglong(count), QString::fromLatin1(n.row), qlonglong(kSequenceMax - count)});
    if (r.empty())
        throw DbError(DbError::Kind::Other, "sequence exhausted");
    for (long long last = r.front().front().toLongLong(), i = last - count + 1; i <= last; ++i)
        numbers.push_back(i);
    return numbers;
}

long long nextSequence(Db& db, Series s)
{
    if (db.dialect() == Dialect::Postgres)
        return takeSequence(db, s);
    Transaction tx(db, true);
    const long long n = takeSequence(db, s);
    tx.commit();
    return n;
}

std::string lastIssuedSql(Dialect d, Series s)
{
    const SeriesNames n = namesOf(s);
    if (d == Dialect::Postgres)
        return std::string("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM ") + n.sequence;
    return std::string("SELECT VRULTIMO FROM SEQUENCIA WHERE NMSEQUENCIA = '") + n.row + "'";
}

long long lastIssued(Db& db, Series s)
{
    return db.query(lastIssuedSql(db.dialect(), s)).at(0).at(0).toLongLong();
}

} // namespace erp::server
