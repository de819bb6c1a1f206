// SPDX-License-Identifier: MIT
#include "serverprocess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace erp::testing {

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<char*> cArgs(const std::vector<std::string>& argv)
{
    std::vector<char*> v;
    for (const std::string& a : argv)
        v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

int exitStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Waits for a child with a deadline; kills it when the deadline passes.
int waitFor(int pid, int timeoutSec)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
    for (;;) {
        int status = 0;
        const int r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return exitStatus(status);
        if (r < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path().string())
{
}

TempDir::TempDir(const std::string& base)
{
    std::string tmpl = (std::filesystem::path(base) / "erp-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

namespace {

// Binds a loopback socket to `port` (0: any) and lets it go: the port it got, or 0.
int bindLoopback(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t len = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

} // namespace

// Below the kernel's ephemeral range: a port found free there cannot be taken
// meanwhile by an outgoing connection or a `:0` listener of a test running
// beside this one, which would make the program given the port fail to bind.
int freeTcpPort()
{
    int low = 32768;
    if (std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range"); range)
        range >> low;
    constexpr int kFrom = 20000;
    if (low - kFrom >= 1000) {
        static std::mt19937 pick{std::random_device{}()};
        std::uniform_int_distribution<int> within(kFrom, low - 1);
        for (int attempt = 0; attempt < 50; ++attempt)
            if (const int port = bindLoopback(within(pick)))
                return port;
    }
    if (const int port = bindLoopback(0))
        return port;
    throw std::runtime_error("no free port");
}

std::string writeTokenFile(const std::string& path, const std::string& token)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0 || ::write(fd, token.data(), token.size()) != ssize_t(token.size())) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot write the token file " + path);
    }
    ::close(fd);
    return path;
}

RunResult runProgram(const std::vector<std::string>& argv, int timeoutSec)
{
    TempDir dir;
    const std::string outPath = dir.path() + "/out", errPath = dir.path() + "/err";
    // Only async-signal-safe calls between fork and exec: the caller may have threads.
    auto args = cArgs(argv);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    ::close(in);
    RunResult r;
    r.exitCode = waitFor(pid, timeoutSec);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

ServerProcess::ServerProcess(const std::string& binary, const std::vector<std::string>& args)
{
    // The server's stderr goes through a pipe, as to a service manager's
    // journal: its log lines cost it no wait on this machine's disk.
    int errPipe[2];
    int pipeFd[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (::pipe2(pipeFd, O_CLOEXEC) != 0) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv{binary};
    argv.insert(argv.end(), args.begin(), args.end());
    auto a = cArgs(argv);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // A test that crashes takes its server with it. The signal follows the
        // forking thread, so a ServerProcess belongs to a thread that outlives it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(pipeFd[1], 1);
        ::dup2(errPipe[1], 2);
        ::execv(a[0], a.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    ::close(pipeFd[1]);
    errFd_ = errPipe[0];
    ::fcntl(errFd_, F_SETFL, ::fcntl(errFd_, F_GETFL) | O_NONBLOCK);
    // Drained all the time, so the server never waits on a full pipe.
    drain_ = std::thread([this] {
        for (;;) {
            pollfd p{errFd_, POLLIN, 0};
            ::poll(&p, 1, -1);
            if (!readErrors())
                return;
        }
    });
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{pipeFd[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(pipeFd[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, std::size_t(n));
    }
    ::close(pipeFd[0]);
    const std::string prefix = "listening on ";
    const auto colon = line.rfind(':');
    if (line.rfind(prefix, 0) != 0 || colon == std::string::npos) {
        stop();
        const std::string log = errorLog();
        throw std::runtime_error("erp-server did not start: " + line + " " + log);
    }
    host_ = line.substr(prefix.size(), colon - prefix.size());
    port_ = std::atoi(line.c_str() + colon + 1);
}

ServerProcess::~ServerProcess()
{
    stop();
}

int ServerProcess::stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        exitCode_ = waitFor(pid_, 20);
        pid_ = -1;
    }
    // The server is gone: the pipe ends once its last bytes are read.
    if (drain_.joinable())
        drain_.join();
    if (errFd_ >= 0) {
        ::close(errFd_);
        errFd_ = -1;
    }
    return exitCode_;
}

void ServerProcess::signal(int sig)
{
    if (pid_ > 0)
        ::kill(pid_, sig);
}

bool ServerProcess::readErrors() const
{
    std::lock_guard lock(errMutex_);
    for (;;) {
        char buf[65536];
        const ssize_t n = ::read(errFd_, buf, sizeof buf);
        if (n > 0) {
            errors_.append(buf, std::size_t(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

std::string ServerProcess::errorLog() const
{
    // Whatever the server wrote before answering is in the pipe by now.
    if (errFd_ >= 0)
        readErrors();
    std::lock_guard lock(errMutex_);
    return errors_;
}

std::optional<std::string> PgCluster::binDir()
{
    for (const char* dir : {"/usr/lib/postgresql/15/bin", "/usr/lib/postgresql/16/bin", "/usr/lib/postgresql/17/bin"}) {
        if (::access((std::string(dir) + "/initdb").c_str(), X_OK) == 0 && ::access((std::string(dir) + "/pg_ctl").c_str(), X_OK) == 0)
            return std::string(dir);
    }
    return std::nullopt;
}

std::vector<std::string> PgCluster::asOwner(std::vector<std::string> argv) const
{
    // PostgreSQL refuses to run as root: run it as the postgres user.
    if (::geteuid() == 0)
        argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    return argv;
}

PgCluster::PgCluster(bool durable, bool passwords)
{
    const auto bin = binDir();
    if (!bin)
        throw std::runtime_error("PostgreSQL binaries not found");
    bin_ = *bin;
    // Not under TMPDIR: the cluster's user must be able to reach the folder.
    dir_ = std::make_unique<TempDir>("/tmp");
    const std::string data = dir_->path() + "/data";
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw)
            throw std::runtime_error("no postgres user to run the cluster as");
        if (::chown(dir_->path().c_str(), pw->pw_uid, pw->pw_gid) != 0)
            throw std::runtime_error("chown of the cluster folder failed");
    }
    ::chmod(dir_->path().c_str(), 0700);
    RunResult r = runProgram(asOwner({bin_ + "/initdb", "-D", data, "--auth-local=trust", passwords ? "--auth-host=scram-sha-256" : "--auth-host=trust",
                                      "-U", "erp", "-E", "UTF8", "--locale=C.UTF-8", "--no-sync"}),
                             120);
    if (r.exitCode != 0)
        throw std::runtime_error("initdb failed: " + r.out + r.err);
    // A port found free can still be taken before the cluster binds it: then another.
    for (int attempt = 1;; ++attempt) {
        port_ = freeTcpPort();
        options_ = "-k " + dir_->path() + " -p " + std::to_string(port_) + " -c listen_addresses=127.0.0.1 -c max_connections=200";
        if (!durable)
            options_ += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
        try {
            start();
            return;
        } catch (const std::runtime_error& e) {
            if (attempt == 3 || !std::strstr(e.what(), "Address already in use"))
                throw;
        }
    }
}

void PgCluster::start()
{
    const RunResult r = runProgram(
        asOwner({bin_ + "/pg_ctl", "-D", dir_->path() + "/data", "-l", dir_->path() + "/log", "-o", options_, "-w", "-t", "60", "start"}), 90);
    if (r.exitCode != 0)
        throw std::runtime_error("pg_ctl start failed: " + r.out + r.err + readFile(dir_->path() + "/log"));
    started_ = true;
}

void PgCluster::stop()
{
    if (!started_)
        return;
    const RunResult r = runProgram(asOwner({bin_ + "/pg_ctl", "-D", dir_->path() + "/data", "-m", "immediate", "-w", "stop"}), 60);
    if (r.exitCode != 0)
        throw std::runtime_error("pg_ctl stop failed: " + r.out + r.err);
    started_ = false;
}

PgCluster::~PgCluster()
{
    try {
        stop();
    } catch (const std::exception&) {
        // nothing more can be done while the test ends
    }
}

std::string PgCluster::url(const std::string& database) const
{
    return "postgresql://erp@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

std::string PgCluster::socketUrl(const std::string& database) const
{
    return "postgresql://erp@/" + database + "?host=" + dir_->path() + "&port=" + std::to_string(port_);
}

std::string PgCluster::createDatabase(const std::string& name)
{
    const RunResult r = runProgram(asOwner({bin_ + "/createdb", "-h", dir_->path(), "-p", std::to_string(port_), "-U", "erp", name}), 60);
    if (r.exitCode != 0)
        throw std::runtime_error("createdb failed: " + r.out + r.err);
    return url(name);
}

} // namespace erp::testing
