// SPDX-License-Identifier: MIT
#include "options.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace erp::server {

namespace {

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << "erp-server: " << problem << "\n"
              << "uso: erp-server [--db sqlite:ARQUIVO|postgresql://...] [--listen HOST:PORTA] [--token-file ARQUIVO | --users ARQUIVO] [--demo]\n"
              << "                [--workers N] [--db-pool N] [--db-wait SEGUNDOS] [--max-body BYTES]\n"
              << "                [--max-connections N] [--max-connections-per-address N] [--request-timeout SEGUNDOS]\n"
              << "       erp-server --new-user NOME EMPRESAS   (EMPRESAS: * ou 01,02,...)\n";
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

bool loopback(const sockaddr* a)
{
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return false;
}

// The options that take a number: its range, and what it counts.
struct NumberOption {
    const char* name;
    long long lo;
    long long hi;
    const char* unit;
    void (*set)(Options&, long long);
};

const NumberOption* numberOption(const std::string& arg)
{
    static const NumberOption options[] = {
        {"--workers", 1, 512, "", [](Options& o, long long n) { o.workers = int(n); }},
        {"--db-pool", 1, 256, "", [](Options& o, long long n) { o.dbPool = int(n); }},
        {"--db-wait", 1, 600, " de segundos", [](Options& o, long long n) { o.dbWait = std::chrono::seconds(n); }},
        {"--max-body", 1024, 256LL * 1024 * 1024, " de bytes", [](Options& o, long long n) { o.maxBody = std::size_t(n); }},
        {"--max-connections", 1, 65536, "", [](Options& o, long long n) { o.maxConnections = int(n); }},
        {"--max-connections-per-address", 1, 65536, "", [](Options& o, long long n) { o.maxConnectionsPerAddress = int(n); }},
        {"--request-timeout", 1, 3600, " de segundos", [](Options& o, long long n) { o.requestTimeout = std::chrono::seconds(n); }},
    };
    for (const NumberOption& option : options)
        if (arg == option.name)
            return &option;
    return nullptr;
}

} // namespace

Options parseOptions(int argc, char** argv)
{
    Options o;
    o.db = std::string("sqlite:") + ERP_SOURCE_DIR + "/data/erp.db";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage("a opção " + arg + " precisa de um valor");
            return argv[++i];
        };
        long long n = 0;
        if (const NumberOption* number = numberOption(arg)) {
            if (!parseInt(value(), number->lo, number->hi, n))
                usage(arg + " precisa de um número" + number->unit + " entre " + std::to_string(number->lo) + " e " + std::to_string(number->hi));
            number->set(o, n);
        } else if (arg == "--db") {
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
        } else if (arg == "--users") {
            o.usersFile = value();
        } else if (arg == "--new-user") {
            o.newUser = true;
            o.newUserName = value();
            o.newUserCompanies = value();
        } else if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--help" || arg == "-h") {
            usage("ajuda");
        } else {
            usage("opção desconhecida: " + arg);
        }
    }
    if (!o.tokenFile.empty() && !o.usersFile.empty())
        usage("use --token-file ou --users, não os dois");
    return o;
}

std::string readTokenFile(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw StartError("o arquivo de token " + path + " não existe, não pode ser lido ou está vazio");
    // Anyone who can read the token can call the server; anyone who can
    // change it can lock everyone else out.
    if (st.st_mode & (S_IRWXG | S_IRWXO))
        throw StartError("o arquivo de token " + path + " pode ser lido ou alterado por outros usuários; restrinja-o ao dono (chmod 600 " + path + ")");
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string t = ss.str();
    const auto first = t.find_first_not_of(" \t\r\n");
    if (!in || first == std::string::npos)
        throw StartError("o arquivo de token " + path + " não existe, não pode ser lido ou está vazio");
    const auto last = t.find_last_not_of(" \t\r\n");
    std::string token = t.substr(first, last - first + 1);
    // The token travels in a header, where no control character can.
    for (const char c : token)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            throw StartError("o token do arquivo " + path + " contém caracteres de controle");
    return token;
}

ListenAddress resolveListenAddress(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        throw StartError("não foi possível resolver o endereço de --listen: " + host);
    ListenAddress a;
    std::memcpy(&a.addr, found->ai_addr, found->ai_addrlen);
    a.length = found->ai_addrlen;
    ::freeaddrinfo(found);
    // An IPv4 address written as IPv6 is listened on as the IPv4 it is.
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a.addr);
    if (a.addr.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = v6->sin6_port;
        std::memcpy(&v4.sin_addr, v6->sin6_addr.s6_addr + 12, 4);
        a.addr = {};
        std::memcpy(&a.addr, &v4, sizeof v4);
        a.length = sizeof v4;
    }
    a.loopback = loopback(reinterpret_cast<const sockaddr*>(&a.addr));
    return a;
}

} // namespace erp::server
