// SPDX-License-Identifier: MIT
// erp-server: the application server. Hosts the parameter service over
// HTTP + JSON-RPC 2.0 on SQLite or PostgreSQL.
#include "rpc.h"
#include "schema.h"
#include "storage.h"

#include <httplib.h>

#include <QString>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace erp::server;

struct Options {
    std::string db = std::string("sqlite:") + ERP_SOURCE_DIR + "/data/erp.db";
    bool defaultDb = true;
    std::string host = "127.0.0.1";
    int port = 8211;
    std::string tokenFile;
    bool demo = false;
    int workers = 32;
    std::size_t maxBody = 1024 * 1024;
};

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << "erp-server: " << problem << "\n"
              << "uso: erp-server [--db sqlite:ARQUIVO|postgresql://...] [--listen HOST:PORTA] [--token-file ARQUIVO] [--demo]\n"
              << "                [--workers N] [--max-body BYTES]\n";
    std::exit(2);
}

bool parseInt(const std::string& s, long long lo, long long hi, long long& out)
{
    if (s.empty() || s.size() > 12)
        return false;
    std::size_t used = 0;
    try {
        out = std::stoll(s, &used);
    } catch (const std::exception&) {
        return false;
    }
    return used == s.size() && out >= lo && out <= hi;
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage("a opção " + arg + " precisa de um valor");
            return argv[++i];
        };
        long long n = 0;
        if (arg == "--db") {
            o.db = value();
            o.defaultDb = false;
        } else if (arg == "--listen") {
            const std::string v = value();
            const auto colon = v.rfind(':');
            if (colon == std::string::npos || colon == 0 || !parseInt(v.substr(colon + 1), 0, 65535, n))
                usage("endereço inválido em --listen (use HOST:PORTA): " + v);
            o.host = v.substr(0, colon);
            if (o.host.size() > 2 && o.host.front() == '[' && o.host.back() == ']')
                o.host = o.host.substr(1, o.host.size() - 2);
            o.port = int(n);
        } else if (arg == "--token-file") {
            o.tokenFile = value();
        } else if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--workers") {
            if (!parseInt(value(), 1, 512, n))
                usage("--workers precisa de um número entre 1 e 512");
            o.workers = int(n);
        } else if (arg == "--max-body") {
            if (!parseInt(value(), 1024, 256LL * 1024 * 1024, n))
                usage("--max-body precisa de um número de bytes entre 1024 e 268435456");
            o.maxBody = std::size_t(n);
        } else if (arg == "--help" || arg == "-h") {
            usage("ajuda");
        } else {
            usage("opção desconhecida: " + arg);
        }
    }
    return o;
}

bool isLoopback(const std::string& host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

std::string readToken(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        return {};
    std::stringstream ss;
    ss << in.rdbuf();
    std::string t = ss.str();
    const auto first = t.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = t.find_last_not_of(" \t\r\n");
    return t.substr(first, last - first + 1);
}

// Compares in time that depends on the expected token's length only.
bool sameToken(const std::string& given, const std::string& expected)
{
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return diff == 0;
}

std::mutex logMutex;

// Names taken from a request go to the log: no control characters, bounded.
std::string printable(const std::string& s, std::size_t max = 100)
{
    std::string out = s.substr(0, max);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

void logLine(const std::string& line)
{
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "%s\n", line.c_str());
}

// Each worker thread keeps its own connection for as long as it lives.
Db& workerDb(const std::string& url)
{
    thread_local std::unique_ptr<Db> db;
    if (!db)
        db = openDatabase(url);
    return *db;
}

// The library listens with a backlog of five: a burst of clients connecting
// at once overflows it, and their first call fails a second later. Listening
// again on the bound socket widens the queue.
class HttpServer : public httplib::Server {
public:
    bool widenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }
};

void sendJson(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, "application/json; charset=utf-8");
}

} // namespace

int main(int argc, char** argv)
{
    const Options opt = parseOptions(argc, argv);

    std::string token;
    if (!opt.tokenFile.empty()) {
        token = readToken(opt.tokenFile);
        if (token.empty()) {
            std::cerr << "erp-server: o arquivo de token " << opt.tokenFile << " não existe, não pode ser lido ou está vazio\n";
            return 2;
        }
    }
    if (token.empty() && !isLoopback(opt.host)) {
        std::cerr << "erp-server: recusado escutar em " << opt.host << " sem token; use --token-file ou um endereço de loopback\n";
        return 2;
    }

    // Signals are taken by one thread with sigwait; every other thread blocks them.
    // An ignored disposition inherited from the parent would discard them.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        if (opt.defaultDb)
            ::mkdir((std::string(ERP_SOURCE_DIR) + "/data").c_str(), 0755);
        std::unique_ptr<Db> db = openDatabase(opt.db);
        const int version = migrate(*db);
        if (opt.demo && fillDemo(*db))
            logLine("dados de demonstração gravados");
        logLine("banco de dados pronto (esquema versão " + std::to_string(version) + ")");
    } catch (const std::invalid_argument&) {
        std::cerr << "erp-server: URL de banco de dados inválida: use sqlite:ARQUIVO ou postgresql://...\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "erp-server: não foi possível abrir o banco de dados: " << e.what() << "\n";
        return 1;
    }

    HttpServer svr;
    const int workers = opt.workers;
    svr.new_task_queue = [workers] { return new httplib::ThreadPool(std::size_t(workers)); };
    svr.set_tcp_nodelay(true);
    svr.set_keep_alive_timeout(2);
    // The library closes a connection after five requests by default, so every
    // fifth call paid a new handshake. A hundred still lets a busy client's
    // worker go back to the pool now and then.
    svr.set_keep_alive_max_count(100);
    svr.set_read_timeout(10);
    svr.set_write_timeout(10);
    svr.set_payload_max_length(opt.maxBody);

    // Before the body is read: the token, then only bodies of a declared
    // length, and no compressed bodies at all.
    svr.set_pre_routing_handler([token](const httplib::Request& req, httplib::Response& res) {
        if (!token.empty()) {
            const std::string auth = req.get_header_value("Authorization");
            const std::string prefix = "Bearer ";
            const bool ok = auth.size() > prefix.size() && auth.compare(0, prefix.size(), prefix) == 0 && sameToken(auth.substr(prefix.size()), token);
            if (!ok) {
                res.set_header("WWW-Authenticate", "Bearer");
                res.set_header("Connection", "close");
                sendJson(res, 401, R"({"error":"Acesso não autorizado."})");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        // The library holds the body limit against Content-Length only: a
        // chunked body would be read whole into memory, however large.
        if (req.has_header("Transfer-Encoding")) {
            res.set_header("Connection", "close");
            sendJson(res, 411, R"({"error":"O tamanho do corpo da requisição deve ser informado (Content-Length)."})");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.has_header("Content-Encoding")) {
            res.set_header("Connection", "close");
            sendJson(res, 415, R"({"error":"Corpo de requisição compactado não é aceito."})");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const std::string dbUrl = opt.db;
    svr.Post(R"(/rpc/([^/]+))", [dbUrl](const httplib::Request& req, httplib::Response& res) {
        const auto start = std::chrono::steady_clock::now();
        const std::string object = req.matches[1];
        RpcAnswer a;
        try {
            a = handleRpc(object, req.body, workerDb(dbUrl), RpcContext{req.get_header_value("Idempotency-Key")});
        } catch (const std::exception& e) {
            // Only opening the worker's connection gets here.
            a.outcome = QStringLiteral("erro 1500");
            a.internal = e.what();
            a.body = R"({"jsonrpc":"2.0","id":null,"error":{"code":1500,"message":"Não foi possível acessar o banco de dados. Tente novamente em instantes."}})";
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        char msText[32];
        std::snprintf(msText, sizeof msText, "%.3f", ms);
        std::string line = printable(object) + " " + (a.method.isEmpty() ? std::string("-") : printable(a.method.toStdString())) + " " + msText + " ms " +
                           a.outcome.toStdString();
        if (!a.internal.empty())
            line += " (" + printable(a.internal, 300) + ")";
        logLine(line);
        if (a.body.isEmpty()) {
            res.status = 204;
            return;
        }
        sendJson(res, a.httpStatus, a.body.toStdString());
    });

    svr.Get("/health", [dbUrl](const httplib::Request&, httplib::Response& res) {
        try {
            workerDb(dbUrl).query("SELECT 1");
            sendJson(res, 200, R"({"status":"ok"})");
        } catch (const std::exception& e) {
            logLine(std::string("health: ") + e.what());
            sendJson(res, 503, R"({"status":"indisponível"})");
        }
    });

    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        switch (res.status) {
        case 404: sendJson(res, 404, R"({"error":"Caminho não encontrado."})"); break;
        case 413: sendJson(res, 413, R"({"error":"Requisição grande demais."})"); break;
        default: break;
        }
    });
    svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendJson(res, 500, R"({"error":"Falha interna do servidor de aplicação."})");
    });

    int port = opt.port;
    if (port == 0) {
        port = svr.bind_to_any_port(opt.host);
        if (port < 0) {
            std::cerr << "erp-server: não foi possível escutar em " << opt.host << "\n";
            return 1;
        }
    } else if (!svr.bind_to_port(opt.host, port)) {
        std::cerr << "erp-server: não foi possível escutar em " << opt.host << ":" << port << "\n";
        return 1;
    }

    if (!svr.widenBacklog()) {
        std::cerr << "erp-server: não foi possível preparar a fila de conexões\n";
        return 1;
    }

    std::thread([&svr, stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        logLine(std::string("sinal ") + strsignal(sig) + " recebido: encerrando");
        // A signal that came during start-up waits for the loop to run:
        // stopping a server that has not started yet would be lost.
        while (!svr.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        svr.stop();
    }).detach();

    std::printf("listening on %s:%d\n", opt.host.c_str(), port);
    std::fflush(stdout);
    // Returns once stopped; the pool lets requests in flight finish first.
    svr.listen_after_bind();
    logLine("encerrado");
    return 0;
}
