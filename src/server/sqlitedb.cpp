// SPDX-License-Identifier: MIT
#include "storage.h"

#include <sqlite3.h>

#include <map>
#include <mutex>
#include <unordered_map>

namespace erp::server {

namespace {

DbError errorOf(sqlite3* db, int rc)
{
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    const std::string detail = std::string("sqlite: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    switch (ext) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: return {DbError::Kind::Unique, detail};
    case SQLITE_CONSTRAINT_FOREIGNKEY: return {DbError::Kind::ForeignKey, detail};
    case SQLITE_CONSTRAINT_CHECK:
    case SQLITE_CONSTRAINT_NOTNULL: return {DbError::Kind::Check, detail};
    default: break;
    }
    switch (ext & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return {DbError::Kind::Busy, detail};
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB: return {DbError::Kind::Unavailable, detail};
    default: return {DbError::Kind::Other, detail};
    }
}

std::string dialectSql(const std::string& sql)
{
    std::string out;
    out.reserve(sql.size());
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql.compare(i, 4, "{EQ}") == 0) {
            out += "IS";
            i += 3;
        } else {
            out += sql[i];
        }
    }
    return out;
}

// SQLite lets one writer in at a time. Writers of this process queue on a
// mutex per file instead of polling the file lock, whose busy handler sleeps
// for growing intervals and starves a crowd of writers. The busy timeout
// still covers writers from other processes.
std::mutex& writerMutex(const std::string& path)
{
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<std::mutex>> byPath;
    std::lock_guard lock(guard);
    auto& m = byPath[path];
    if (!m)
        m = std::make_unique<std::mutex>();
    return *m;
}

class SqliteDb final : public Db {
public:
    explicit SqliteDb(const std::string& path) : writer_(writerMutex(path))
    {
        const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            DbError e(DbError::Kind::Unavailable, std::string("sqlite: ") + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) + " (" + path + ")");
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw e;
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 10000);
        // WAL keeps readers off the writer's way; FULL makes a commit durable.
        script("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
    }

    ~SqliteDb() override
    {
        for (auto& [sql, stmt] : cache_)
            sqlite3_finalize(stmt);
        sqlite3_close_v2(db_);
    }

    Dialect dialect() const override { return Dialect::Sqlite; }

    void begin(bool write) override
    {
        if (!write) {
            script("BEGIN");
            return;
        }
        std::unique_lock lock(writer_);
        script("BEGIN IMMEDIATE");
        writing_ = std::move(lock);
    }
    void commit() override
    {
        if (const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            DbError e = errorOf(db_, rc);
            // An I/O error while the commit is written (a failed fsync, say)
            // may leave a whole commit record in the WAL file, which the next
            // recovery replays: the change may be kept or not. Other failures
            // (a full disk, a busy lock) happen before the record is complete.
            if ((sqlite3_extended_errcode(db_) & 0xff) == SQLITE_IOERR)
                throw DbError(DbError::Kind::CommitUncertain, e.what());
            throw e;
        }
        if (writing_.owns_lock())
            writing_.unlock();
    }
    void rollback() noexcept override
    {
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        if (writing_.owns_lock())
            writing_.unlock();
    }

    SqlRows query(const std::string& sql, const SqlParams& params) override
    {
        sqlite3_stmt* st = prepare(sql, params);
        SqlRows rows;
        for (;;) {
            const int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW) {
                DbError e = errorOf(db_, rc);
                sqlite3_reset(st);
                throw e;
            }
            const int n = sqlite3_column_count(st);
            SqlRow row;
            row.reserve(std::size_t(n));
            for (int i = 0; i < n; ++i) {
                switch (sqlite3_column_type(st, i)) {
                case SQLITE_INTEGER: row.emplace_back(qlonglong(sqlite3_column_int64(st, i))); break;
                case SQLITE_FLOAT: row.emplace_back(sqlite3_column_double(st, i)); break;
                case SQLITE_NULL: row.emplace_back(); break;
                default:
                    row.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i)));
                    break;
                }
            }
            rows.push_back(std::move(row));
        }
        sqlite3_reset(st);
        return rows;
    }

    long long exec(const std::string& sql, const SqlParams& params) override
    {
        sqlite3_stmt* st = prepare(sql, params);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            DbError e = errorOf(db_, rc);
            sqlite3_reset(st);
            throw e;
        }
        sqlite3_reset(st);
        return sqlite3_changes64(db_);
    }

    void script(const std::string& sql) override
    {
        char* msg = nullptr;
        const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
        sqlite3_free(msg);
        if (rc != SQLITE_OK)
            throw errorOf(db_, rc);
    }

private:
    sqlite3_stmt* prepare(const std::string& sql, const SqlParams& params)
    {
        sqlite3_stmt*& st = cache_[sql];
        if (!st) {
            const std::string text = dialectSql(sql);
            const int rc = sqlite3_prepare_v3(db_, text.c_str(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
            if (rc != SQLITE_OK) {
                cache_.erase(sql);
                throw errorOf(db_, rc);
            }
        }
        sqlite3_clear_bindings(st);
        if (int(params.size()) != sqlite3_bind_parameter_count(st))
            throw DbError(DbError::Kind::Other, "sqlite: wrong parameter count for " + sql);
        for (int i = 0; i < int(params.size()); ++i) {
            const QVariant& v = params[std::size_t(i)];
            int rc = SQLITE_OK;
            if (!v.isValid() || v.isNull()) {
                rc = sqlite3_bind_null(st, i + 1);
            } else if (v.typeId() == QMetaType::Double) {
                rc = sqlite3_bind_double(st, i + 1, v.toDouble());
            } else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
                rc = sqlite3_bind_int64(st, i + 1, v.toLongLong());
            } else {
                const QByteArray utf8 = v.toString().toUtf8();
                rc = sqlite3_bind_text(st, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK)
                throw errorOf(db_, rc);
        }
        return st;
    }

    sqlite3* db_ = nullptr;
    std::mutex& writer_;
    std::unique_lock<std::mutex> writing_;
    std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

} // namespace

std::unique_ptr<Db> openSqlite(const std::string& path)
{
    return std::make_unique<SqliteDb>(path);
}

std::unique_ptr<Db> openDatabase(const std::string& url)
{
    if (url.rfind("sqlite:", 0) == 0) {
        std::string path = url.substr(7);
        if (path.empty())
            throw std::invalid_argument("empty sqlite path");
        return openSqlite(path);
    }
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0)
        return openPostgres(url);
    throw std::invalid_argument("unknown database URL");
}

} // namespace erp::server
