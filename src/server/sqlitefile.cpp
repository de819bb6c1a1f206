// SPDX-License-Identifier: MIT
#include "sqlitefile.h"

#include "log.h"
#include "options.h"
#include "schema.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace erp::server {

namespace {

// SQLite's own words about a failure, for the detail line.
class SqliteFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the operator must hear instead of the library's words.
class Refusal : public std::runtime_error {
public:
    Refusal(const std::string& sentence, int exitStatus) : std::runtime_error(sentence), status(exitStatus) {}
    int status;
};

class Connection {
public:
    Connection(const std::string& path, int flags)
    {
        const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close_v2(db_);
            throw SqliteFailure("sqlite: " + why + " (" + path + ")");
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Connection() { sqlite3_close_v2(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }
    void exec(const char* sql)
    {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw SqliteFailure(std::string("sqlite: ") + sqlite3_errmsg(db_));
    }
    // The first column of the first row as text; empty when there is none.
    std::string text(const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK)
            throw SqliteFailure(std::string("sqlite: ") + sqlite3_errmsg(db_));
        std::string out;
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW && sqlite3_column_text(st, 0))
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw SqliteFailure(std::string("sqlite: ") + sqlite3_errstr(rc));
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

// Every page in one step: one read transaction on the source, so the copy is
// one moment of it, whatever other connections write meanwhile (WAL lets
// them).
void copyInto(Connection& from, Connection& to)
{
    sqlite3_backup* b = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!b)
        throw SqliteFailure(std::string("sqlite: ") + sqlite3_errmsg(to.get()));
    int rc = SQLITE_OK;
    for (int attempt = 0;; ++attempt) {
        rc = sqlite3_backup_step(b, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && attempt < 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        break;
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw SqliteFailure(std::string("sqlite: ") + sqlite3_errstr(rc));
}

void checkWhole(Connection& c)
{
    const std::string verdict = c.text("PRAGMA quick_check");
    if (verdict != "ok")
        throw SqliteFailure("sqlite: quick_check: " + verdict);
}

// The schema version of a database of this system; 0 for any other database.
int schemaOf(Connection& c)
{
    if (c.text("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'ERP_SCHEMA'") != "1")
        return 0;
    return std::atoi(c.text("SELECT VERSION FROM ERP_SCHEMA").c_str());
}

void syncPath(const std::string& path, bool folder)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string folderOf(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// A new file readable by its owner only: copies hold every row.
void createPrivate(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw SqliteFailure(path + ": " + std::strerror(errno));
    ::fchmod(fd, 0600);
    ::close(fd);
}

// A copy that stands alone: one file in rollback-journal mode, checked.
void copyToNewFile(Connection& from, const std::string& path)
{
    createPrivate(path);
    {
        Connection to(path, SQLITE_OPEN_READWRITE);
        copyInto(from, to);
        to.exec("PRAGMA journal_mode=DELETE");
        checkWhole(to);
    }
    std::error_code ec;
    std::filesystem::remove(path + "-wal", ec);
    std::filesystem::remove(path + "-shm", ec);
    syncPath(path, false);
}

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

std::optional<std::string> sqlitePath(const std::string& url)
{
    if (url.rfind("sqlite:", 0) != 0)
        return std::nullopt;
    return url.substr(7);
}

void checkSqliteOwner(const std::string& path)
{
    if (::geteuid() != 0)
        return;
    struct stat st{};
    std::string what = "o banco " + path;
    if (::stat(path.c_str(), &st) != 0) {
        what = "a pasta do banco " + path;
        if (::stat(folderOf(path).c_str(), &st) != 0)
            return; // opening it will say what is wrong
    }
    if (st.st_uid == 0)
        return;
    const passwd* pw = ::getpwuid(st.st_uid);
    const std::string user = pw ? pw->pw_name : std::to_string(st.st_uid);
    throw StartError(what + " pertence ao usuário " + user + "; execute como ele (runuser -u " + user +
                     " -- erp-server ...), para que os arquivos que o SQLite cria ao lado do banco continuem dele");
}

std::optional<SqliteHold> SqliteHold::take(const std::string& path, Kind kind)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0)
        throw std::runtime_error(path + ": " + std::strerror(errno));
    if (::flock(fd, (kind == Kind::Serving ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return std::nullopt;
        throw std::runtime_error(path + ": flock: " + std::strerror(err));
    }
    return SqliteHold(fd);
}

SqliteHold::~SqliteHold()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int backupDatabase(const std::string& url, const std::string& file)
{
    const std::optional<std::string> path = sqlitePath(url);
    try {
        if (!path)
            throw Refusal("--backup copia bancos SQLite; um banco PostgreSQL se copia com pg_dump (veja o README)", 2);
        checkSqliteOwner(*path);
        struct stat st{};
        if (::stat(path->c_str(), &st) != 0)
            throw Refusal("o banco " + *path + " não existe: não há o que copiar", 1);
        if (sameFile(*path, file))
            throw Refusal("a cópia não pode ser gravada sobre o próprio banco", 2);
    } catch (const Refusal& e) {
        reportFailure(std::string(e.what()) + ".");
        return e.status;
    } catch (const StartError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    }

    // Written beside its place and renamed onto it once checked: an older
    // copy of the same name stays whole until the new one is.
    const std::string partial = file + ".parcial";
    int version = 0;
    try {
        Connection source(*path, SQLITE_OPEN_READWRITE);
        copyToNewFile(source, partial);
        Connection check(partial, SQLITE_OPEN_READONLY);
        version = schemaOf(check);
    } catch (const std::exception& e) {
        std::error_code ec;
        std::filesystem::remove(partial, ec);
        reportFailure("não foi possível copiar o banco " + *path + " para " + file + ".", e.what());
        return 1;
    }
    if (::rename(partial.c_str(), file.c_str()) != 0) {
        const int err = errno;
        std::error_code ec;
        std::filesystem::remove(partial, ec);
        reportFailure("não foi possível gravar a cópia em " + file + ".", std::strerror(err));
        return 1;
    }
    syncPath(folderOf(file), true);
    std::cout << "cópia de segurança de " << *path << " gravada em " << file << " (esquema versão " << version << ")" << std::endl;
    return 0;
}

int restoreDatabase(const std::string& url, const std::string& file)
{
    const std::optional<std::string> path = sqlitePath(url);
    std::optional<SqliteHold> hold;
    std::string previous;
    try {
        if (!path)
            throw Refusal("--restore devolve bancos SQLite; um banco PostgreSQL se restaura com pg_restore (veja o README)", 2);
        checkSqliteOwner(*path);
        if (::access(file.c_str(), R_OK) != 0)
            throw Refusal("a cópia " + file + " não existe ou não pode ser lida", 1);
        if (sameFile(*path, file))
            throw Refusal("a cópia e o banco são o mesmo arquivo", 2);
        try {
            hold = SqliteHold::take(*path, SqliteHold::Kind::Restoring);
        } catch (const std::exception& e) {
            reportFailure("não foi possível abrir o banco " + *path + ".", e.what());
            return 1;
        }
        if (!hold)
            throw Refusal("o banco " + *path +
                              " está em uso por um servidor em execução: pare o servidor (systemctl stop erp-server) e repita a restauração",
                          1);

        // Read-write when the file allows it, so SQLite tidies a copy that
        // came with a WAL file (merged, and the -wal and -shm files gone).
        Connection copy(file, SQLITE_OPEN_READWRITE);
        try {
            checkWhole(copy);
        } catch (const SqliteFailure& e) {
            reportFailure("a cópia " + file + " não é um banco SQLite íntegro; nada foi alterado.", e.what());
            return 1;
        }
        const int version = schemaOf(copy);
        if (version < 1)
            throw Refusal("a cópia " + file + " não é um banco deste sistema; nada foi alterado", 1);
        if (version > schemaVersion())
            throw Refusal("a cópia " + file + " vem de uma versão mais nova do erp-server (esquema " + std::to_string(version) +
                              "); atualize o programa antes de restaurá-la. Nada foi alterado",
                          1);

        Connection target(*path, SQLITE_OPEN_READWRITE);
        if (target.text("SELECT COUNT(*) FROM sqlite_schema") != "0") {
            previous = *path + ".anterior-" + now();
            copyToNewFile(target, previous);
        }
        // The copy brings its own page size; out of WAL mode the backup may
        // change it, and the server turns WAL on again when it opens the file.
        target.exec("PRAGMA journal_mode=DELETE");
        copyInto(copy, target);
        checkWhole(target);
    } catch (const Refusal& e) {
        reportFailure(std::string(e.what()) + ".");
        return e.status;
    } catch (const StartError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    } catch (const std::exception& e) {
        reportFailure("a restauração do banco " + *path + " falhou." +
                          (previous.empty() ? std::string() : " O banco anterior foi guardado em " + previous + "."),
                      e.what());
        return 1;
    }
    syncPath(*path, false);
    std::cout << "banco " << *path << " restaurado a partir de " << file;
    if (!previous.empty())
        std::cout << "; o banco anterior foi guardado em " << previous;
    std::cout << std::endl;
    return 0;
}

} // namespace erp::server
