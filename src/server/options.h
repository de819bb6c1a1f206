// SPDX-License-Identifier: MIT
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <exception>
#include <string>

// erp-server's command line and the start-up checks that depend on it only.
namespace erp::server {

struct Options {
    std::string db;
    bool defaultDb = true;
    std::string host = "127.0.0.1";
    int port = 8211;
    std::string tokenFile;
    std::string usersFile;
    // --new-user NAME COMPANIES: print a new token and its users-file line, then stop.
    bool newUser = false;
    std::string newUserName, newUserCompanies;
    bool demo = false;
    int workers = 16;
    int dbPool = 8;
    std::chrono::seconds dbWait{10};
    std::size_t maxBody = 1024 * 1024;
    int maxConnections = 1024;
    int maxConnectionsPerAddress = 512;
    std::chrono::seconds requestTimeout{10};
};

// Reads the command line; a bad option prints the problem and the usage on
// stderr and exits with 2.
Options parseOptions(int argc, char** argv);

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
