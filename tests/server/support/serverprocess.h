// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Runs the real erp-server program for tests and benchmarks, and a throwaway
// PostgreSQL cluster for it to talk to.
namespace erp::testing {

// A temporary folder removed with everything in it.
class TempDir {
public:
    // Under TMPDIR (or /tmp), or under `base` when given.
    TempDir();
    explicit TempDir(const std::string& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

int freeTcpPort();

// Writes `token` to `path` readable by its owner only (mode 0600), as the
// server requires of a token file. Returns the path.
std::string writeTokenFile(const std::string& path, const std::string& token);

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program to its end (at most `timeoutSec`), capturing its output.
RunResult runProgram(const std::vector<std::string>& argv, int timeoutSec = 30);

class ServerProcess {
public:
    // Starts `binary` with `args` and waits for its `listening on` line.
    // Throws std::runtime_error (with the server's stderr) if it never comes.
    ServerProcess(const std::string& binary, const std::vector<std::string>& args);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    const std::string& host() const { return host_; }
    int pid() const { return pid_; }
    int port() const { return port_; }
    // Sends SIGTERM and waits; returns the exit status.
    int stop();
    // Sends a signal without waiting.
    void signal(int sig);
    std::string errorLog() const;

private:
    // Reads what the server wrote to stderr so far; false at its end.
    bool readErrors() const;

    int pid_ = -1;
    int exitCode_ = -1;
    std::string host_;
    int port_ = 0;
    int errFd_ = -1;
    std::thread drain_;
    mutable std::mutex errMutex_;
    mutable std::string errors_;
};

// A PostgreSQL cluster in a temporary folder, started as an unprivileged
// user when running as root, listening on a free loopback port.
class PgCluster {
public:
    // The folder of initdb/pg_ctl, or nothing when PostgreSQL is not installed.
    static std::optional<std::string> binDir();
    // `passwords`: connections over TCP must give their role's password
    // (SCRAM), as in an office; the superuser erp connects through the
    // socket (socketUrl) without one.
    explicit PgCluster(bool durable = false, bool passwords = false);
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // Creates an empty database and returns its URL.
    std::string createDatabase(const std::string& name);
    std::string url(const std::string& database) const;
    // The superuser through the cluster's socket folder, trusted.
    std::string socketUrl(const std::string& database) const;
    int port() const { return port_; }
    // Stops the cluster at once, as a crash or a lost host would, and starts
    // it again on the same port with the same data.
    void stop();
    void start();

private:
    std::vector<std::string> asOwner(std::vector<std::string> argv) const;
    std::unique_ptr<TempDir> dir_;
    std::string bin_;
    std::string options_;
    int port_ = 0;
    bool started_ = false;
};

} // namespace erp::testing
