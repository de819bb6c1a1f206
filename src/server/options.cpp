// SPDX-License-Identifier: MIT
#include "options.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace erp::server {

namespace {

constexpr char kSynopsis[] =
    "uso: erp-server [--db URL] [--listen HOST:PORTA] [--token-file ARQUIVO | --users ARQUIVO] [--demo] [outras opções]\n"
    "     erp-server --setup-postgres URL [--setup-name NOME] [--setup-dir PASTA] [--demo]\n"
    "     erp-server --backup ARQUIVO [--db sqlite:ARQUIVO]\n"
    "     erp-server --restore ARQUIVO [--db sqlite:ARQUIVO]\n"
    "     erp-server --new-user NOME EMPRESAS\n"
    "     erp-server --export EMPRESA ARQUIVO [--db URL]\n"
    "     erp-server --import EMPRESA ARQUIVO [--db URL]\n"
    "     erp-server --import-ecf ARQUIVO [--ecf-layout N] [--db URL]\n";

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << "erp-server: " << problem << "\n" << kSynopsis << "Veja erp-server --help.\n";
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

// A name used unquoted in SQL and in file names: lower case, so PostgreSQL
// keeps it as written.
bool validRoleName(const std::string& s)
{
    if (s.empty() || s.size() > 40 || !(s[0] >= 'a' && s[0] <= 'z'))
        return false;
    for (const char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
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

std::string helpText()
{
    std::string t = kSynopsis;
    t += "\n"
         "Servidor de aplicação do sistema de gestão: atende o serviço de parâmetros\n"
         "PAR47300.rdmParamIRPJ por HTTP e JSON-RPC 2.0, sobre SQLite ou PostgreSQL.\n"
         "\n"
         "Opções do servidor:\n"
         "  --db URL                 banco de dados: sqlite:ARQUIVO ou\n"
         "                           postgresql://USUÁRIO@HOST:PORTA/BANCO?passfile=ARQUIVO\n"
         "                           (padrão: sqlite:" +
         defaultDatabasePath() +
         ");\n"
         "                           a senha do PostgreSQL fica num arquivo de senhas\n"
         "                           (passfile, ou ~/.pgpass), não na linha de comando\n"
         "  --listen HOST:PORTA      endereço em que escuta (padrão: 127.0.0.1:8211;\n"
         "                           porta 0: uma porta livre)\n"
         "  --token-file ARQUIVO     token exigido de cada chamada (arquivo só do dono,\n"
         "                           modo 0600); obrigatório fora do loopback, salvo\n"
         "                           com --users; quem o usa é o usuário padrao\n"
         "  --users ARQUIVO          usuários, um por linha: nome:sha256-do-token:empresas\n"
         "                           (empresas: * ou códigos separados por vírgulas;\n"
         "                           # começa um comentário); arquivo só do dono;\n"
         "                           SIGHUP o lê de novo\n"
         "  --demo                   preenche um banco vazio com dados de demonstração\n"
         "  --workers N              linhas de execução do HTTP (padrão: 16)\n"
         "  --db-pool N              conexões com o banco, no máximo (padrão: 8)\n"
         "  --db-wait SEGUNDOS       espera por uma conexão livre antes de responder\n"
         "                           que o servidor está ocupado (padrão: 10)\n"
         "  --max-body BYTES         tamanho máximo de uma requisição (padrão: 1048576)\n"
         "  --max-connections N      conexões abertas ao mesmo tempo (padrão: 1024)\n"
         "  --max-connections-per-address N\n"
         "                           conexões de um mesmo endereço (padrão: 512)\n"
         "  --request-timeout SEGUNDOS\n"
         "                           prazo para uma requisição chegar inteira (padrão: 10)\n"
         "\n"
         "Tarefas do administrador (cada uma executa e termina):\n"
         "  --setup-postgres URL     num PostgreSQL existente, conectado como\n"
         "                           superusuário pela URL, cria o papel dono e o banco\n"
         "                           NOME, o papel somente leitura NOME_leitura dos\n"
         "                           clientes e o esquema; grava as senhas geradas em\n"
         "                           NOME.pgpass e NOME_leitura.pgpass e mostra o que\n"
         "                           acrescentar a postgresql.conf e pg_hba.conf\n"
         "  --setup-name NOME        nome do banco e do papel dono (padrão: erp)\n"
         "  --setup-dir PASTA        pasta dos arquivos de senha (padrão: a pasta pessoal\n"
         "                           do usuário que executa)\n"
         "  --backup ARQUIVO         grava uma cópia consistente do banco SQLite, mesmo\n"
         "                           com o servidor atendendo\n"
         "  --restore ARQUIVO        põe uma cópia no lugar do banco SQLite; recusa\n"
         "                           enquanto um servidor usa o banco, e guarda o banco\n"
         "                           substituído ao lado dele\n"
         "  --new-user NOME EMPRESAS mostra um token novo e a linha de --users que o\n"
         "                           admite (EMPRESAS: * ou 01,02,...)\n"
         "  --export EMPRESA ARQUIVO grava os parâmetros da empresa e suas informações\n"
         "                           contábeis num documento JSON\n"
         "  --import EMPRESA ARQUIVO grava na empresa os parâmetros de um documento de\n"
         "                           --export, como a cópia entre empresas: os já\n"
         "                           existentes são ignorados, tudo numa transação\n"
         "  --import-ecf ARQUIVO     grava as tabelas dinâmicas da ECF da planilha da\n"
         "                           Receita (XLSX) ou de uma tabela dela em CSV (;,\n"
         "                           UTF-8, chamado M300A.csv etc.), no lugar das do\n"
         "                           mesmo leiaute, e mostra as linhas lidas por tabela\n"
         "  --ecf-layout N           com --import-ecf: o leiaute do arquivo (padrão: o\n"
         "                           que o nome diz, como Leiaute-12, ou o mais novo do\n"
         "                           banco)\n"
         "  -h, --help               mostra esta ajuda\n"
         "\n"
         "Saída: 0 quando tudo deu certo; 1 quando o banco, o endereço ou um arquivo\n"
         "falharam; 2 para uma opção ou configuração inválida.\n"
         "Documentação: README.md e docs/contract.md (instalado: /usr/share/doc/erp-server).\n";
    return t;
}

std::string defaultDatabasePath()
{
    // The build folder's own program keeps its data in the checkout; any
    // other copy of it is an installed one, whose data lives under the root
    // it was installed into: / for a package, the folder a package was
    // unpacked into otherwise (what comes before usr/bin).
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "/var/lib/erp/erp.db";
    if (std::filesystem::equivalent(program.parent_path(), ERP_PROGRAM_BUILD_DIR, ec) && !ec)
        return std::string(ERP_SOURCE_DIR) + "/data/erp.db";
    const std::string folder = program.parent_path().string();
    const std::string usrBin = "/usr/bin";
    const bool underUsr = folder.size() >= usrBin.size() && folder.compare(folder.size() - usrBin.size(), usrBin.size(), usrBin) == 0;
    return (underUsr ? folder.substr(0, folder.size() - usrBin.size()) : std::string()) + "/var/lib/erp/erp.db";
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    o.db = "sqlite:" + defaultDatabasePath();
    auto setMode = [&o](Mode m) {
        if (o.mode != Mode::Serve && o.mode != m)
            usage("use só uma de --setup-postgres, --backup, --restore, --new-user, --export, --import e --import-ecf");
        o.mode = m;
    };
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
            setMode(Mode::NewUser);
            o.newUserName = value();
            o.newUserCompanies = value();
        } else if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--setup-postgres") {
            setMode(Mode::SetupPostgres);
            o.setupUrl = value();
            if (o.setupUrl.rfind("postgresql://", 0) != 0 && o.setupUrl.rfind("postgres://", 0) != 0)
                usage("--setup-postgres precisa de uma URL postgresql://...");
        } else if (arg == "--setup-name") {
            o.setupName = value();
            if (!validRoleName(o.setupName))
                usage("--setup-name precisa de um nome de até 40 letras minúsculas, dígitos ou _, começando por letra");
        } else if (arg == "--setup-dir") {
            o.setupDir = value();
        } else if (arg == "--backup") {
            setMode(Mode::Backup);
            o.copyFile = value();
        } else if (arg == "--restore") {
            setMode(Mode::Restore);
            o.copyFile = value();
        } else if (arg == "--import-ecf") {
            setMode(Mode::ImportEcf);
            o.importFile = value();
        } else if (arg == "--ecf-layout") {
            const std::string v = value();
            if (!parseInt(v, 1, 9999, n))
                usage("--ecf-layout precisa do número do leiaute, entre 1 e 9999");
            char code[8];
            std::snprintf(code, sizeof code, "%04lld", n);
            o.ecfLayout = code;
        } else if (arg == "--export" || arg == "--import") {
            setMode(arg == "--export" ? Mode::Export : Mode::Import);
            o.transferCompany = value();
            o.copyFile = value();
        } else if (arg == "--help" || arg == "-h") {
            std::cout << helpText();
            std::exit(0);
        } else {
            usage("opção desconhecida: " + arg);
        }
    }
    if (!o.ecfLayout.empty() && o.mode != Mode::ImportEcf)
        usage("--ecf-layout só vale com --import-ecf");
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
