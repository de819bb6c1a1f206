// SPDX-License-Identifier: MIT
#include "storage.h"

#include <QLocale>

#include <libpq-fe.h>

#include <cstring>
#include <unordered_map>

namespace erp::server {

namespace {

// Type oids of the columns the service reads (pg_type.h is not a client header).
constexpr Oid kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;

DbError::Kind kindOf(const char* sqlstate)
{
    const std::string s = sqlstate ? sqlstate : "";
    if (s == "23505")
        return DbError::Kind::Unique;
    if (s == "23503")
        return DbError::Kind::ForeignKey;
    if (s == "23514" || s == "23502")
        return DbError::Kind::Check;
    if (s == "40001" || s == "40P01" || s == "55P03")
        return DbError::Kind::Busy;
    if (s.rfind("08", 0) == 0 || s == "57P01" || s == "57P03")
        return DbError::Kind::Unavailable;
    return DbError::Kind::Other;
}

// `?` becomes `$n`, `{EQ}` the NULL-safe comparison. The service never puts
// a question mark inside a literal.
std::string dialectSql(const std::string& sql, int& count)
{
    std::string out;
    out.reserve(sql.size() + 16);
    count = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] == '?') {
            out += '$' + std::to_string(++count);
        } else if (sql.compare(i, 4, "{EQ}") == 0) {
            out += "IS NOT DISTINCT FROM";
            i += 3;
        } else {
            out += sql[i];
        }
    }
    return out;
}

struct ResultGuard {
    PGresult* r;
    ~ResultGuard() { PQclear(r); }
};

class PgDb final : public Db {
public:
    explicit PgDb(const std::string& conninfo)
    {
        conn_ = PQconnectdb(conninfo.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) {
            const std::string detail = std::string("postgresql: ") + PQerrorMessage(conn_);
            PQfinish(conn_);
            conn_ = nullptr;
            throw DbError(DbError::Kind::Unavailable, detail);
        }
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
        script("SET client_encoding TO 'UTF8'");
    }

    ~PgDb() override { PQfinish(conn_); }

    Dialect dialect() const override { return Dialect::Postgres; }

    void begin(bool) override
    {
        // A dropped connection is re-established between transactions, never inside one.
        if (PQstatus(conn_) != CONNECTION_OK)
            reconnect();
        try {
            script("BEGIN");
        } catch (const DbError&) {
            // A connection the database dropped (a restart) is only noticed
            // when used; nothing has run in this transaction yet.
            if (PQstatus(conn_) == CONNECTION_OK)
                throw;
            reconnect();
            script("BEGIN");
        }
    }
    void commit() override
    {
        ResultGuard g{PQexec(conn_, "COMMIT")};
        // The connection died around the COMMIT: whether the server received
        // it and committed before going away cannot be told from here.
        if (PQresultStatus(g.r) != PGRES_COMMAND_OK && PQstatus(conn_) != CONNECTION_OK)
            throw DbError(DbError::Kind::CommitUncertain, std::string("postgresql: connection lost during COMMIT: ") + PQerrorMessage(conn_));
        check(g.r);
        // A transaction that failed earlier answers COMMIT with ROLLBACK.
        if (std::strcmp(PQcmdStatus(g.r), "COMMIT") != 0)
            throw DbError(DbError::Kind::Other, std::string("postgresql: COMMIT answered ") + PQcmdStatus(g.r));
    }
    void rollback() noexcept override
    {
        if (PQtransactionStatus(conn_) != PQTRANS_IDLE)
            PQclear(PQexec(conn_, "ROLLBACK"));
    }

    SqlRows query(const std::string& sql, const SqlParams& params) override
    {
        ResultGuard g{run(sql, params)};
        const int nrows = PQntuples(g.r), ncols = PQnfields(g.r);
        SqlRows rows;
        rows.reserve(std::size_t(nrows));
        for (int r = 0; r < nrows; ++r) {
            SqlRow row;
            row.reserve(std::size_t(ncols));
            for (int c = 0; c < ncols; ++c) {
                if (PQgetisnull(g.r, r, c)) {
                    row.emplace_back();
                    continue;
                }
                const char* v = PQgetvalue(g.r, r, c);
                switch (PQftype(g.r, c)) {
                case kInt8:
                case kInt2:
                case kInt4: row.emplace_back(qlonglong(std::strtoll(v, nullptr, 10))); break;
                case kFloat4:
                case kFloat8:
                case kNumeric: row.emplace_back(std::strtod(v, nullptr)); break;
                default: row.emplace_back(QString::fromUtf8(v, PQgetlength(g.r, r, c))); break;
                }
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    long long exec(const std::string& sql, const SqlParams& params) override
    {
        ResultGuard g{run(sql, params)};
        const char* n = PQcmdTuples(g.r);
        return n && *n ? std::strtoll(n, nullptr, 10) : 0;
    }

    void script(const std::string& sql) override
    {
        ResultGuard g{PQexec(conn_, sql.c_str())};
        check(g.r);
    }

private:
    void reconnect()
    {
        PQreset(conn_);
        cache_.clear();
        if (PQstatus(conn_) != CONNECTION_OK)
            throw DbError(DbError::Kind::Unavailable, std::string("postgresql: ") + PQerrorMessage(conn_));
        script("SET client_encoding TO 'UTF8'");
    }

    void check(PGresult* r)
    {
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK)
            return;
        const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        DbError::Kind kind = kindOf(state);
        if (PQstatus(conn_) != CONNECTION_OK)
            kind = DbError::Kind::Unavailable;
        throw DbError(kind, std::string("postgresql: ") + (r ? PQresultErrorMessage(r) : PQerrorMessage(conn_)));
    }

    PGresult* run(const std::string& sql, const SqlParams& params)
    {
        // Outside a transaction a dropped connection is simply made again.
        if (PQstatus(conn_) != CONNECTION_OK)
            reconnect();
        // Only reads and sequence numbers run outside a transaction: when the
        // connection turns out dead (the database restarted since its last
        // use), sending them again on a new one is harmless.
        const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
        try {
            return runOnce(sql, params);
        } catch (const DbError&) {
            if (!idle || PQstatus(conn_) == CONNECTION_OK)
                throw;
        }
        reconnect();
        return runOnce(sql, params);
    }

    PGresult* runOnce(const std::string& sql, const SqlParams& params)
    {
        auto it = cache_.find(sql);
        if (it == cache_.end()) {
            int count = 0;
            const std::string text = dialectSql(sql, count);
            std::string name = "s";
            name += std::to_string(cache_.size() + 1); // not "s" + ...: GCC 12 -O3 reports a false -Wrestrict there
            ResultGuard g{PQprepare(conn_, name.c_str(), text.c_str(), count, nullptr)};
            check(g.r);
            it = cache_.emplace(sql, Prepared{std::move(name), count}).first;
        }
        if (int(params.size()) != it->second.count)
            throw DbError(DbError::Kind::Other, "postgresql: wrong parameter count for " + sql);
        std::vector<QByteArray> texts(params.size());
        std::vector<const char*> values(params.size(), nullptr);
        for (std::size_t i = 0; i < params.size(); ++i) {
            const QVariant& v = params[i];
            if (!v.isValid() || v.isNull())
                continue;
            if (v.typeId() == QMetaType::Double)
                texts[i] = QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                texts[i] = QByteArray::number(v.toLongLong());
            else
                texts[i] = v.toString().toUtf8();
            values[i] = texts[i].constData();
        }
        PGresult* r = PQexecPrepared(conn_, it->second.name.c_str(), int(params.size()), values.data(), nullptr, nullptr, 0);
        try {
            check(r);
        } catch (...) {
            PQclear(r);
            throw;
        }
        return r;
    }

    struct Prepared {
        std::string name;
        int count;
    };
    PGconn* conn_ = nullptr;
    std::unordered_map<std::string, Prepared> cache_;
};

} // namespace

std::unique_ptr<Db> openPostgres(const std::string& conninfo)
{
    return std::make_unique<PgDb>(conninfo);
}

} // namespace erp::server
