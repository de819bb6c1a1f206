// SPDX-License-Identifier: MIT
// erp-server: the application server. Hosts the parameter service over
// HTTP + JSON-RPC 2.0 on SQLite or PostgreSQL.
#include "dbpool.h"
#include "ecf/importcommand.h"
#include "http/front.h"
#include "log.h"
#include "memory.h"
#include "options.h"
#include "pgsetup.h"
#include "routes.h"
#include "schema.h"
#include "sqlitefile.h"
#include "storage.h"
#include "transfer.h"
#include "users.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <variant>

namespace {

using namespace erp::server;

struct Access {
    std::shared_ptr<Users> users;
    ListenAddress address;
};

// Who may call and where: the users of --users, the one token of
// --token-file as "padrao", or everyone as "local", which only loopback allows.
Access checkAccess(const Options& opt)
{
    Access a;
    try {
        a.users = !opt.usersFile.empty()   ? Users::fromFile(opt.usersFile)
                  : !opt.tokenFile.empty() ? Users::single(readTokenFile(opt.tokenFile))
                                           : Users::local();
    } catch (const UsersError& e) {
        throw StartError(e.what());
    }
    a.address = resolveListenAddress(opt.host, opt.port);
    if (!a.users->requireToken() && !a.address.loopback)
        throw StartError("recusado escutar em " + opt.host + " sem token; use --users, --token-file ou um endereço de loopback");
    return a;
}

// Signals are taken by the main thread with sigwait; every thread started
// after this blocks them. An ignored disposition inherited from the parent
// would discard them.
sigset_t blockStopSignals()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return stop;
}

// Every connection is a descriptor: the caps need as many as they allow.
void raiseDescriptorLimit(const Options& opt)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = rlim_t(opt.maxConnections) * 5 / 4 + 64 + rlim_t(opt.dbPool) + 64;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < wanted)
        logLine("aviso: o limite de arquivos abertos (" + std::to_string(limit.rlim_cur) + ") é menor que o necessário para --max-connections " +
                std::to_string(opt.maxConnections) + " (" + std::to_string(wanted) + ")");
}

// A SQLite file is held for as long as the server runs (a restore waits for
// it to stop), and opened by its owner only. Returns the hold, or the exit
// code of a failure.
std::variant<std::optional<SqliteHold>, int> holdSqlite(const Options& opt)
{
    const std::optional<std::string> path = sqlitePath(opt.db);
    if (!path)
        return std::optional<SqliteHold>();
    try {
        checkSqliteOwner(*path);
        // The default folder is made on first use (an installed server has it from its package).
        if (opt.defaultDb)
            ::mkdir(std::filesystem::path(*path).parent_path().c_str(), 0750);
        std::optional<SqliteHold> hold = SqliteHold::take(*path, SqliteHold::Kind::Serving);
        if (!hold) {
            reportFailure("o banco " + *path + " está sendo restaurado (erp-server --restore); inicie o servidor quando a restauração terminar.");
            return 1;
        }
        return hold;
    } catch (const StartError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    } catch (const std::exception& e) {
        reportFailure("não foi possível abrir o banco de dados " + *path + ".", e.what());
        return 1;
    }
}

// Opens the database once, brings its schema up to date and fills the demo
// data. Returns the exit code of a failure, or nothing.
std::optional<int> startStorage(const Options& opt)
{
    try {
        std::unique_ptr<Db> db = openDatabase(opt.db);
        const int version = migrate(*db);
        if (opt.demo && fillDemo(*db))
            logLine("dados de demonstração gravados");
        logLine("banco de dados pronto (esquema versão " + std::to_string(version) + ")");
        return std::nullopt;
    } catch (const std::invalid_argument&) {
        reportFailure("URL de banco de dados inválida: use sqlite:ARQUIVO ou postgresql://...");
        return 2;
    } catch (const std::exception& e) {
        reportFailure("não foi possível abrir o banco de dados.", e.what());
        return 1;
    }
}

erp::http::Limits httpLimits(const Options& opt)
{
    erp::http::Limits l;
    l.threads = opt.workers;
    l.maxConnections = opt.maxConnections;
    l.maxConnectionsPerAddress = opt.maxConnectionsPerAddress;
    l.requestTimeout = opt.requestTimeout;
    l.maxBody = opt.maxBody;
    return l;
}

// SIGHUP reads the users file again; a file that cannot be used keeps the
// users as they were.
void reloadUsers(Users& users)
{
    if (users.path().empty()) {
        logLine("SIGHUP recebido: sem --users, nada a recarregar");
        return;
    }
    try {
        const std::size_t n = users.reload();
        logLine("usuários recarregados de " + users.path() + ": " + std::to_string(n));
    } catch (const std::exception& e) {
        logLine(std::string("usuários não recarregados, os anteriores continuam valendo: ") + e.what());
    }
}

void waitForStop(const sigset_t& signals, Users& users)
{
    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0)
            continue;
        if (sig == SIGHUP) {
            reloadUsers(users);
            continue;
        }
        // In the operator's language, not the C library's.
        logLine(sig == SIGINT ? "pedido de interrupção (SIGINT) recebido: encerrando" : "pedido de término (SIGTERM) recebido: encerrando");
        return;
    }
}

// --new-user: a new token and the line that admits it, for the operator to
// hand over and add to the users file.
int printNewUser(const Options& opt)
{
    try {
        const NewUser u = newUser(opt.newUserName, opt.newUserCompanies);
        std::cout << u.token << "\n" << u.line << "\n";
        return 0;
    } catch (const UsersError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Options opt = parseOptions(argc, argv);
    switch (opt.mode) {
    case Mode::SetupPostgres: return setupPostgres(opt);
    case Mode::Backup: return backupDatabase(opt.db, opt.copyFile);
    case Mode::Restore: return restoreDatabase(opt.db, opt.copyFile);
    case Mode::NewUser: return printNewUser(opt);
    case Mode::ImportEcf: return importEcfCommand(opt);
    case Mode::Export: return exportToFile(opt.db, opt.transferCompany, opt.copyFile);
    case Mode::Import: return importFromFile(opt.db, opt.transferCompany, opt.copyFile);
    case Mode::Serve: break;
    }
    Access access;
    try {
        access = checkAccess(opt);
    } catch (const StartError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    }
    auto held = holdSqlite(opt);
    if (const int* failed = std::get_if<int>(&held))
        return *failed;
    const sigset_t stopSignals = blockStopSignals();
    memory::tuneAllocator(4);
    raiseDescriptorLimit(opt);
    if (const auto failed = startStorage(opt))
        return *failed;

    const std::string url = opt.db;
    DbPool pool([url] { return openDatabase(url); }, opt.dbPool, opt.dbWait);
    memory::Trimmer trimmer;
    erp::http::Front front(httpLimits(opt), authenticate(access.users), routes(pool), [](const std::string& line) { logLine(line); });
    int port = 0;
    try {
        port = front.start(reinterpret_cast<const sockaddr*>(&access.address.addr), access.address.length);
    } catch (const std::exception& e) {
        reportFailure("não foi possível escutar em " + opt.host + ":" + std::to_string(opt.port) + ".", e.what());
        return 1;
    }
    std::printf("listening on %s:%d\n", opt.host.c_str(), port);
    std::fflush(stdout);

    waitForStop(stopSignals, *access.users);
    // Answers being worked out or sent finish; then every connection closes.
    front.stop();
    logLine("encerrado");
    return 0;
}
