// SPDX-License-Identifier: MIT
#include "users.h"

#include "wire/cp1252.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <sys/random.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>

namespace erp::server {

namespace {

constexpr std::size_t kMaxName = 40;

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = s.find(separator, from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

// The name goes into the history and its packets: text the contract can carry.
QString checkedName(const std::string& name, const std::string& where)
{
    const QByteArray bytes = QByteArray::fromStdString(name);
    const QString text = QString::fromUtf8(bytes);
    bool ok = !name.empty() && bytes.isValidUtf8() && std::size_t(text.size()) <= kMaxName && cp1252::firstUnrepresentable(text) < 0;
    for (const QChar c : text)
        ok = ok && c.isPrint() && !c.isSpace() && c != u':' && c != u'#';
    if (!ok)
        throw UsersError(where + ": nome de usuário inválido (de 1 a " + std::to_string(kMaxName) +
                         " caracteres, sem espaços, ':' ou '#')");
    return text;
}

std::string hashFromHex(const std::string& hex, const std::string& where)
{
    const QByteArray text = QByteArray::fromStdString(hex);
    bool ok = text.size() == 64;
    for (const char c : text)
        ok = ok && std::isxdigit(static_cast<unsigned char>(c));
    if (!ok)
        throw UsersError(where + ": o hash do token deve ter 64 dígitos hexadecimais (SHA-256)");
    return QByteArray::fromHex(text).toStdString();
}

// Equal in time that depends on the length only.
bool sameHash(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

void checkPermissions(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw UsersError("o arquivo de usuários " + path + " não existe ou não pode ser lido");
    // Anyone who can read the hashes can try tokens offline; anyone who can
    // change the file can let themselves in.
    if (st.st_mode & (S_IRWXG | S_IRWXO))
        throw UsersError("o arquivo de usuários " + path + " pode ser lido ou alterado por outros usuários; restrinja-o ao dono (chmod 600 " + path + ")");
}

} // namespace

std::string sha256(std::string_view bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256).toStdString();
}

Caller parseCaller(const std::string& name, const std::string& companies, const std::string& where)
{
    Caller c;
    c.name = checkedName(name, where);
    const std::string list = trimmed(companies);
    if (list == "*")
        return c;
    c.allCompanies = false;
    for (const std::string& part : split(list, ',')) {
        const std::string code = trimmed(part);
        bool ok = code.size() == 2;
        for (const char ch : code)
            ok = ok && std::isalnum(static_cast<unsigned char>(ch));
        if (!ok)
            throw UsersError(where + ": código de empresa inválido '" + code + "' (use '*' ou códigos de dois caracteres separados por vírgulas, como 01,02)");
        if (!c.companies.contains(QString::fromStdString(code)))
            c.companies << QString::fromStdString(code);
    }
    return c;
}

std::vector<UserEntry> readUsersFile(const std::string& path)
{
    checkPermissions(path);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UsersError("o arquivo de usuários " + path + " não pode ser lido");
    std::vector<UserEntry> entries;
    std::set<QString> names;
    std::set<std::string> hashes;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = path + ", linha " + std::to_string(number);
        const std::string content = trimmed(line.substr(0, line.find('#')));
        if (content.empty())
            continue;
        const std::vector<std::string> parts = split(content, ':');
        if (parts.size() != 3)
            throw UsersError(where + ": use nome:sha256-do-token:empresas");
        UserEntry e;
        e.caller = parseCaller(trimmed(parts[0]), parts[2], where);
        e.tokenHash = hashFromHex(trimmed(parts[1]), where);
        if (!names.insert(e.caller.name).second)
            throw UsersError(where + ": o usuário " + parts[0] + " aparece mais de uma vez");
        // One token must name one user, or the history could not say who.
        if (!hashes.insert(e.tokenHash).second)
            throw UsersError(where + ": o mesmo token já pertence a outro usuário");
        entries.push_back(std::move(e));
    }
    if (in.bad())
        throw UsersError("o arquivo de usuários " + path + " não pode ser lido");
    if (entries.empty())
        throw UsersError("o arquivo de usuários " + path + " não tem nenhum usuário");
    return entries;
}

NewUser newUser(const std::string& name, const std::string& companies)
{
    const Caller c = parseCaller(name, companies, "--new-user");
    unsigned char random[32];
    for (std::size_t got = 0; got < sizeof random;) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw UsersError("não foi possível obter bytes aleatórios do sistema");
        }
        got += std::size_t(n);
    }
    NewUser u;
    u.token = QByteArray(reinterpret_cast<const char*>(random), sizeof random)
                  .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
                  .toStdString();
    const std::string list = c.allCompanies ? std::string("*") : c.companies.join(u',').toStdString();
    u.line = c.name.toStdString() + ":" + QByteArray::fromStdString(sha256(u.token)).toHex().toStdString() + ":" + list;
    return u;
}

std::shared_ptr<Users> Users::fromFile(const std::string& path)
{
    std::shared_ptr<Users> u(new Users);
    u->path_ = path;
    u->entries_ = std::make_shared<const std::vector<UserEntry>>(readUsersFile(path));
    return u;
}

std::shared_ptr<Users> Users::single(const std::string& token)
{
    std::shared_ptr<Users> u(new Users);
    UserEntry e;
    e.caller.name = QStringLiteral("padrao");
    e.tokenHash = sha256(token);
    u->entries_ = std::make_shared<const std::vector<UserEntry>>(std::vector<UserEntry>{std::move(e)});
    return u;
}

std::shared_ptr<Users> Users::local()
{
    std::shared_ptr<Users> u(new Users);
    u->requireToken_ = false;
    u->entries_ = std::make_shared<const std::vector<UserEntry>>();
    return u;
}

std::shared_ptr<const std::vector<UserEntry>> Users::entries() const
{
    std::lock_guard lock(mutex_);
    return entries_;
}

std::optional<Caller> Users::authenticate(std::string_view authorization) const
{
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.substr(0, kBearer.size()) != kBearer)
        return std::nullopt;
    const std::string hash = sha256(authorization.substr(kBearer.size()));
    const auto list = entries();
    const UserEntry* found = nullptr;
    // Every user is compared, whichever matches.
    for (const UserEntry& e : *list) {
        const bool same = sameHash(hash, e.tokenHash);
        found = same ? &e : found;
    }
    if (!found)
        return std::nullopt;
    return found->caller;
}

std::size_t Users::reload()
{
    if (path_.empty())
        return entries()->size();
    auto fresh = std::make_shared<const std::vector<UserEntry>>(readUsersFile(path_));
    std::lock_guard lock(mutex_);
    entries_ = std::move(fresh);
    return entries_->size();
}

} // namespace erp::server
