// SPDX-License-Identifier: MIT
#include "pgsetup.h"

#include "log.h"
#include "schema.h"
#include "storage.h"

#include <libpq-fe.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace erp::server {

namespace {

// PostgreSQL's or the system's words about a failure, for the detail line.
class SetupFailure : public std::runtime_error {
public:
    SetupFailure(std::string what, const std::string& detail) : std::runtime_error(detail), sentence(std::move(what)) {}
    std::string sentence;
};

struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;

struct ResultCloser {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultCloser>;

Conn connect(const std::string& conninfo)
{
    Conn c(PQconnectdb(conninfo.c_str()));
    if (PQstatus(c.get()) != CONNECTION_OK)
        throw SetupFailure("não foi possível conectar ao PostgreSQL com a URL de --setup-postgres.", PQerrorMessage(c.get()));
    PQsetNoticeProcessor(c.get(), [](void*, const char*) {}, nullptr);
    return c;
}

// Runs one statement; `params` are bound as texts. Returns the result.
Result run(PGconn* c, const std::string& sql, const std::vector<std::string>& params = {})
{
    std::vector<const char*> values;
    for (const std::string& p : params)
        values.push_back(p.c_str());
    Result r(PQexecParams(c, sql.c_str(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
        throw SetupFailure("o PostgreSQL recusou um passo da preparação.", sql + ": " + PQresultErrorMessage(r.get()));
    return r;
}

std::string value(PGconn* c, const std::string& sql, const std::vector<std::string>& params = {})
{
    const Result r = run(c, sql, params);
    return PQntuples(r.get()) > 0 && !PQgetisnull(r.get(), 0, 0) ? PQgetvalue(r.get(), 0, 0) : std::string();
}

std::string identifier(PGconn* c, const std::string& name)
{
    char* q = PQescapeIdentifier(c, name.c_str(), name.size());
    std::string out = q ? q : "";
    PQfreemem(q);
    return out;
}

std::string literal(PGconn* c, const std::string& text)
{
    char* q = PQescapeLiteral(c, text.c_str(), text.size());
    std::string out = q ? q : "";
    PQfreemem(q);
    return out;
}

// The administrator's connection with another database: every parameter of
// the URL kept (host, port, user, passfile, sslmode...), the name replaced.
std::string withDatabase(const std::string& url, const std::string& database)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    if (!options) {
        const std::string why = error ? error : "";
        PQfreemem(error);
        throw SetupFailure("a URL de --setup-postgres não é válida.", why);
    }
    auto quoted = [](const std::string& v) {
        std::string q = "'";
        for (const char ch : v) {
            if (ch == '\'' || ch == '\\')
                q += '\\';
            q += ch;
        }
        return q + "'";
    };
    std::string conninfo;
    for (const PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val || std::strcmp(o->keyword, "dbname") == 0)
            continue;
        conninfo += std::string(o->keyword) + "=" + quoted(o->val) + " ";
    }
    PQconninfoFree(options);
    return conninfo + "dbname=" + quoted(database);
}

// 32 letters and digits from the kernel's random source.
std::string randomPassword()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    while (out.size() < 32) {
        unsigned char bytes[64];
        if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes))
            throw SetupFailure("não foi possível gerar as senhas.", std::strerror(errno));
        for (const unsigned char b : bytes)
            if (b < 62 * 4 && out.size() < 32) // no bias: 248 is a multiple of 62
                out += alphabet[b % 62];
    }
    return out;
}

struct PassFile {
    std::string path;
    std::string password;
    bool created = false;
};

// The fields of a password-file line, with \: and \\ undone.
std::vector<std::string> passFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            fields.back() += line[++i];
        else if (line[i] == ':')
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    return fields;
}

// The role's password: taken again from the file an earlier run wrote, or
// generated and written to a new file readable by its owner only, as
// `*:*:DATABASE:ROLE:PASSWORD` (any host and port).
PassFile passFile(const std::string& folder, const std::string& database, const std::string& role)
{
    PassFile f;
    f.path = folder + "/" + role + ".pgpass";
    std::ifstream in(f.path);
    if (in) {
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            const std::vector<std::string> fields = passFields(line);
            if (fields.size() == 5 && fields[3] == role && !fields[4].empty()) {
                f.password = fields[4];
                return f;
            }
        }
        throw SetupFailure("o arquivo " + f.path + " existe mas não tem a senha do papel " + role + "; apague-o ou corrija-o.", "");
    }
    f.password = randomPassword();
    const int fd = ::open(f.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    const std::string line = "*:*:" + database + ":" + role + ":" + f.password + "\n";
    if (fd < 0 || ::write(fd, line.data(), line.size()) != ssize_t(line.size()) || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        throw SetupFailure("não foi possível gravar o arquivo de senha " + f.path + ".", std::strerror(err));
    }
    ::close(fd);
    f.created = true;
    return f;
}

// A login role with the password (sent as its SCRAM verifier, never as
// text). Returns what was done, for the report.
std::string ensureRole(PGconn* c, const std::string& role, const std::string& password)
{
    char* verifier = PQencryptPasswordConn(c, password.c_str(), role.c_str(), nullptr);
    if (!verifier)
        throw SetupFailure("não foi possível preparar a senha do papel " + role + ".", PQerrorMessage(c));
    const std::string secret = literal(c, verifier);
    PQfreemem(verifier);
    if (value(c, "SELECT COUNT(*) FROM pg_roles WHERE rolname = $1", {role}) != "0") {
        run(c, "ALTER ROLE " + identifier(c, role) + " WITH LOGIN PASSWORD " + secret);
        return "já existia; senha do arquivo aplicada";
    }
    run(c, "CREATE ROLE " + identifier(c, role) + " WITH LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE PASSWORD " + secret);
    return "criado";
}

std::string homeFolder()
{
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : ".";
}

void printAdvice(PGconn* c, const std::string& name, const std::string& reader)
{
    const std::string version = value(c, "SHOW server_version_num");
    const std::string major = version.size() > 4 ? version.substr(0, version.size() - 4) : version;
    const std::string conf = value(c, "SHOW config_file");
    const std::string hba = value(c, "SHOW hba_file");
    const std::string listen = value(c, "SHOW listen_addresses");
    const int max = std::atoi(value(c, "SHOW max_connections").c_str());
    const int reserved = std::atoi(value(c, "SHOW superuser_reserved_connections").c_str());
    const std::string method = value(c, "SHOW password_encryption") == "md5" ? "md5" : "scram-sha-256";
    std::cout << "\nPara abrir o PostgreSQL à rede do escritório:\n"
              << "  em " << conf << ":\n"
              << "    listen_addresses = '*'        # hoje: '" << listen << "'\n"
              << "    max_connections = " << max << "           # hoje; mantenha servidores × --db-pool + contadores <= " << max - reserved
              << " (" << max << " - " << reserved << " reservadas)\n"
              << "  em " << hba << " (troque 192.168.0.0/24 pela rede do escritório):\n"
              << "    host  " << name << "  " << name << "  192.168.0.0/24  " << method << "\n"
              << "    host  " << name << "  " << reader << "  192.168.0.0/24  " << method << "\n"
              << "  e reinicie o PostgreSQL: pg_ctlcluster " << major << " main restart\n";
}

} // namespace

int setupPostgres(const Options& opt)
{
    const std::string& name = opt.setupName;
    const std::string reader = name + "_leitura";
    const std::string folder = opt.setupDir.empty() ? homeFolder() : opt.setupDir;
    try {
        Conn admin = connect(opt.setupUrl);
        if (value(admin.get(), "SELECT rolsuper FROM pg_roles WHERE rolname = current_user") != "t")
            throw SetupFailure("a URL de --setup-postgres precisa conectar como superusuário do PostgreSQL, por exemplo:\n"
                               "  runuser -u postgres -- erp-server --setup-postgres postgresql:///postgres",
                               "");
        std::cout << "PostgreSQL " << value(admin.get(), "SHOW server_version") << " (conectado como " << PQuser(admin.get()) << ")\n";

        // The servers and clients must not get more than they need.
        for (const std::string& role : {name, reader})
            if (value(admin.get(), "SELECT rolsuper FROM pg_roles WHERE rolname = $1", {role}) == "t")
                throw SetupFailure("o papel " + role + " já existe e é superusuário; escolha outro nome com --setup-name.", "");
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            throw SetupFailure("não foi possível criar a pasta " + folder + " para os arquivos de senha.", std::strerror(errno));
        const PassFile ownerPass = passFile(folder, name, name);
        const PassFile readerPass = passFile(folder, name, reader);

        std::cout << "papel " << name << ": " << ensureRole(admin.get(), name, ownerPass.password) << "\n";
        std::cout << "papel " << reader << ": " << ensureRole(admin.get(), reader, readerPass.password) << "\n";
        // The clients' role reads, whatever a later grant may allow.
        run(admin.get(), "ALTER ROLE " + identifier(admin.get(), reader) + " SET default_transaction_read_only = on");

        const std::string owner = value(admin.get(), "SELECT pg_get_userbyid(datdba) FROM pg_database WHERE datname = $1", {name});
        if (owner.empty()) {
            run(admin.get(), "CREATE DATABASE " + identifier(admin.get(), name) + " OWNER " + identifier(admin.get(), name) +
                                 " ENCODING 'UTF8' TEMPLATE template0");
            std::cout << "banco " << name << ": criado, dono " << name << "\n";
        } else if (owner != name) {
            throw SetupFailure("o banco " + name + " já existe e pertence a " + owner + "; escolha outro nome com --setup-name.", "");
        } else {
            std::cout << "banco " << name << ": já existia\n";
        }
        // Nobody else connects: the owner, and the clients' role.
        run(admin.get(), "REVOKE ALL ON DATABASE " + identifier(admin.get(), name) + " FROM PUBLIC");
        run(admin.get(), "GRANT CONNECT ON DATABASE " + identifier(admin.get(), name) + " TO " + identifier(admin.get(), reader));

        Conn inside = connect(withDatabase(opt.setupUrl, name));
        const std::string ownerId = identifier(inside.get(), name), readerId = identifier(inside.get(), reader);
        // Before PostgreSQL 15 everyone could create in public; from 15 only its owner.
        run(inside.get(), "GRANT ALL ON SCHEMA public TO " + ownerId);
        run(inside.get(), "REVOKE ALL ON SCHEMA public FROM PUBLIC");
        {
            // The schema as the owner role, so its tables and sequences are the owner's.
            std::unique_ptr<Db> db = openPostgres(withDatabase(opt.setupUrl, name));
            db->script("SET ROLE " + ownerId);
            const int version = migrate(*db);
            std::cout << "esquema: versão " << version << "\n";
            if (opt.demo && fillDemo(*db))
                std::cout << "dados de demonstração gravados\n";
        }
        // Exactly what the clients' look-ups read, nothing left of earlier grants.
        run(inside.get(), "REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + readerId);
        run(inside.get(), "REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM " + readerId);
        run(inside.get(), "GRANT USAGE ON SCHEMA public TO " + readerId);
        run(inside.get(), "GRANT SELECT ON TABLE EMPRESA, CONTCTBL TO " + readerId);
        std::cout << "permissões: " << reader << " conecta-se a " << name << " e lê EMPRESA e CONTCTBL, em transações somente leitura; nada mais\n";

        std::cout << "\nSenhas, no formato do arquivo de senhas do PostgreSQL (só o dono lê):\n"
                  << "  " << ownerPass.path << (ownerPass.created ? " (nova)" : " (já existia)")
                  << "\n      para os servidores de aplicação: --db 'postgresql://" << name << "@HOST/" << name << "?passfile=ARQUIVO'\n"
                  << "  " << readerPass.path << (readerPass.created ? " (nova)" : " (já existia)")
                  << "\n      para os clientes dos contadores: --db 'postgresql://" << reader << "@HOST/" << name << "?passfile=ARQUIVO'\n"
                  << "      (ou copiado para ~/.pgpass de cada um, sem ?passfile)\n";
        printAdvice(admin.get(), name, reader);
        return 0;
    } catch (const SetupFailure& e) {
        reportFailure(e.sentence, e.what());
        return 1;
    } catch (const DbError& e) {
        reportFailure("não foi possível preparar o esquema do banco " + name + ".", e.what());
        return 1;
    }
}

} // namespace erp::server
