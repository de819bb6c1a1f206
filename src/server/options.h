// SPDX-License-Identifier: MIT
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <exception>
#include <string>

// erp-server's command line and the start-up checks that depend on it only.
namespace erp::server {

// What the program was asked to do: serve, or one of the operator's tasks.
enum class Mode { Serve, SetupPostgres, Backup, Restore, NewUser, Export, Import, ImportEcf };

struct Options {
    Mode mode = Mode::Serve;
    std::string db;
    bool defaultDb = true;
    std::string host = "127.0.0.1";
    int port = 8211;
    std::string tokenFile;
    std::string usersFile;
    // --new-user NAME COMPANIES: a new token and its users-file line.
    std::string newUserName, newUserCompanies;
    bool demo = false;
    int workers = 16;
    int dbPool = 8;
    std::chrono::seconds dbWait{10};
    std::size_t maxBody = 1024 * 1024;
    int maxConnections = 1024;
    int maxConnectionsPerAddress = 512;
    std::chrono::seconds requestTimeout{10};
    // --setup-postgres: the administrator's connection, the name of the
    // database and its owner role (the read-only role is NAME_leitura), and
    // the folder that receives the password files.
    std::string setupUrl;
    std::string setupName = "erp";
    std::string setupDir;
    // --backup / --restore: the copy written or read; --export / --import:
    // the parameters' file.
    std::string copyFile;
    // --import-ecf: the Receita's spreadsheet (or a sheet of it as CSV), and
    // the layout it holds when not the one its name gives ("0012").
    std::string importFile;
    std::string ecfLayout;
    // --export / --import COMPANY FILE: the company whose parameters go to or come from the file.
    std::string transferCompany;
};

// Reads the command line. --help prints the help on stdout and exits with 0;
// a bad option prints the problem on stderr and exits with 2.
Options parseOptions(int argc, char** argv);

// The help --help prints.
std::string helpText();

// The database used without --db: the checkout's data/erp.db when the
// program runs from its build folder; once installed, var/lib/erp/erp.db
// under the root it was installed into (/var/lib/erp/erp.db for
// /usr/bin/erp-server, ROOT/var/lib/erp/erp.db for ROOT/usr/bin/erp-server).
std::string defaultDatabasePath();

// A problem found before anything starts: the message names it for the
// operator, and the program exits with 2.
class StartError : public std::exception {
public:
    explicit StartError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The token of --token-file, trimmed. Throws StartError when the file cannot
// be read, is empty, or may be read or changed by its group or by others.
std::string readTokenFile(const std::string& path);

struct ListenAddress {
    sockaddr_storage addr{};
    socklen_t length = 0;
    bool loopback = false;
};

// The address --listen names, resolved as the server will bind it. Loopback
// is decided on that address (127.0.0.0/8, ::1; an IPv4-mapped address is
// taken as the IPv4 address it holds), never on
// how the name is spelt. Throws StartError when the name does not resolve.
ListenAddress resolveListenAddress(const std::string& host, int port);

} // namespace erp::server
