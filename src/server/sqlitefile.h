// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <utility>

// The SQLite file as the operator handles it: which process holds it, who
// may open it, and its backup and restore.
namespace erp::server {

// The file of a `sqlite:` URL; nothing for another engine.
std::optional<std::string> sqlitePath(const std::string& url);

// Root opening a database that belongs to another user would leave files
// beside it (the -wal and -shm files SQLite creates) that the owner cannot
// write, and the service would fail on its next start. Throws StartError
// naming the owner when root is about to do so; the owner is the file's, or
// its folder's while the file does not exist yet.
void checkSqliteOwner(const std::string& path);

// A serving process holds its database file with a shared advisory lock
// (flock) on the file itself, for as long as it runs; a restore takes it
// exclusively, so neither starts while the other runs. SQLite's own locks
// are of another kind (fcntl) and do not see this one.
class SqliteHold {
public:
    enum class Kind { Serving, Restoring };
    // Creates the file when missing (empty, which SQLite takes as a new
    // database). Throws std::runtime_error with the reason when it cannot be
    // opened; returns nothing when the other kind holds it now.
    static std::optional<SqliteHold> take(const std::string& path, Kind kind);
    SqliteHold(SqliteHold&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    SqliteHold& operator=(SqliteHold&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~SqliteHold();

private:
    explicit SqliteHold(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// --backup: a consistent copy of the database at `url`, taken with SQLite's
// online backup API in one read transaction while servers go on writing.
// The copy is a single file (no WAL), readable by its owner only, written
// beside `file` and renamed onto it once checked. Returns the exit status.
int backupDatabase(const std::string& url, const std::string& file);

// --restore: puts the copy `file` in place of the database at `url`, in
// place (the same file, so its owner and mode stay), after checking that it
// is a database of this system no newer than this program. Refused while a
// server holds the file. What it replaces is first copied beside it as
// `<database>.anterior-<date and time>`. Returns the exit status.
int restoreDatabase(const std::string& url, const std::string& file);

} // namespace erp::server
