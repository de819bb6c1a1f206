// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Who may call the server, and which companies each caller may see.
namespace erp::server {

// The caller of one request, as the access check found them: the name the
// history records and the companies whose rows they may read and write.
struct Caller {
    QString name = QStringLiteral("local");
    bool allCompanies = true;
    QStringList companies;

    bool sees(const QString& company) const { return allCompanies || companies.contains(company); }
};

// A users file (`--users`): one user a line, `name:sha256-hex-of-token:companies`,
// companies `*` or codes separated by commas; `#` starts a comment.
struct UserEntry {
    Caller caller;
    std::string tokenHash; // the 32 bytes of the token's SHA-256
};

// Thrown for a users file, a line or a --new-user argument that cannot be
// used; the message names the file and the line for the operator.
class UsersError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and checks a users file: readable and writable by its owner only,
// every line well formed, no name or token twice, at least one user.
std::vector<UserEntry> readUsersFile(const std::string& path);
// The parts of a line, checked as the file's are (`where` names the line).
Caller parseCaller(const std::string& name, const std::string& companies, const std::string& where);

// A new random token (URL-safe Base64 of 32 random bytes) and the users-file
// line that admits it.
struct NewUser {
    std::string token;
    std::string line;
};
NewUser newUser(const std::string& name, const std::string& companies);

std::string sha256(std::string_view bytes);

// The users the server admits. One of three: the users of a file (reloaded
// on SIGHUP), the one token of --token-file as the user "padrao", or, on
// loopback without either, everyone as the user "local". Safe to use from
// every thread while a reload replaces the list.
class Users {
public:
    static std::shared_ptr<Users> fromFile(const std::string& path);
    static std::shared_ptr<Users> single(const std::string& token);
    static std::shared_ptr<Users> local();

    // Whether requests must carry a token.
    bool requireToken() const { return requireToken_; }
    // The caller an Authorization header's value (`Bearer <token>`) names,
    // or nothing. The token's hash is compared with every user's in constant
    // time, so neither the match nor its place in the list shows in the time taken.
    std::optional<Caller> authenticate(std::string_view authorization) const;
    // The caller of a request when no token is required.
    Caller anonymous() const { return Caller{}; }

    // Reads the file again: a file that cannot be used leaves the users as
    // they were, and the message says why. Returns the number of users read.
    std::size_t reload();
    const std::string& path() const { return path_; }

private:
    Users() = default;
    std::shared_ptr<const std::vector<UserEntry>> entries() const;

    bool requireToken_ = true;
    std::string path_;
    mutable std::mutex mutex_;
    std::shared_ptr<const std::vector<UserEntry>> entries_;
};

} // namespace erp::server
