// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The small storage interface the service is written against. SQL uses `?`
// placeholders and the token `{EQ}` for a NULL-safe equality, so one text
// serves both engines; each back-end prepares a statement once per shape.
namespace erp::server {

enum class Dialect { Sqlite, Postgres };

// What went wrong, as far as the caller needs to react to it. The detail is
// for the operator's log only; it never reaches a client. CommitUncertain:
// the COMMIT was sent but its outcome never came back (the connection was
// lost, or the disk failed while the commit was written), so the change may
// be in the database or not.
class DbError : public std::runtime_error {
public:
    enum class Kind { Unique, ForeignKey, Check, Busy, Unavailable, CommitUncertain, Other };
    DbError(Kind kind, const std::string& detail) : std::runtime_error(detail), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// A NULL is an invalid QVariant; texts are QString, numbers qlonglong or double.
using SqlParams = std::vector<QVariant>;
using SqlRow = std::vector<QVariant>;
using SqlRows = std::vector<SqlRow>;

class Db {
public:
    virtual ~Db() = default;
    virtual Dialect dialect() const = 0;
    // A write transaction takes the write lock up front (SQLite: BEGIN IMMEDIATE),
    // so a read-then-write never fails half-way on a busy database.
    virtual void begin(bool write) = 0;
    // Throws DbError(CommitUncertain) when the outcome cannot be known.
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    virtual SqlRows query(const std::string& sql, const SqlParams& params = {}) = 0;
    // Returns the number of rows changed.
    virtual long long exec(const std::string& sql, const SqlParams& params = {}) = 0;
    // Several statements without parameters (schema scripts).
    virtual void script(const std::string& sql) = 0;
};

// Rolls back unless committed: every transaction goes through one of these.
class Transaction {
public:
    Transaction(Db& db, bool write) : db_(db) { db_.begin(write); }
    ~Transaction()
    {
        if (!done_)
            db_.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        db_.commit();
        done_ = true;
    }

private:
    Db& db_;
    bool done_ = false;
};

// `sqlite:PATH` or `postgresql://…` (also `postgres://…`). Throws DbError
// (Unavailable) when the database cannot be opened, std::invalid_argument
// for a URL of another kind.
std::unique_ptr<Db> openDatabase(const std::string& url);
std::unique_ptr<Db> openSqlite(const std::string& path);
std::unique_ptr<Db> openPostgres(const std::string& conninfo);

} // namespace erp::server
