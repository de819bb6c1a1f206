// SPDX-License-Identifier: MIT
#include "routes.h"

#include "log.h"
#include "memory.h"
#include "rpc.h"

#include "wire/rpccodes.h"

#include <charconv>
#include <chrono>

namespace erp::server {

namespace {

constexpr char kRpcPrefix[] = "/rpc/";

RpcAnswer storageFailure(const QString& message, std::string internal)
{
    RpcAnswer a;
    a.outcome = QStringLiteral("erro %1").arg(rpc::code::Storage);
    a.internal = std::move(internal);
    a.body = R"({"jsonrpc":"2.0","id":null,"error":{"code":)" + QByteArray::number(rpc::code::Storage) + R"(,"message":")" + message.toUtf8() + R"("}})";
    return a;
}

http::Response rpc(DbPool& pool, const http::Request& req)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string object = req.path.substr(sizeof kRpcPrefix - 1);
    RpcAnswer a;
    const Caller* caller = std::any_cast<Caller>(&req.identity);
    if (!caller)
        return {401, R"({"error":"Acesso não autorizado."})"};
    try {
        DbPool::Lease db = pool.acquire();
        a = handleRpc(object, req.body, *db, RpcContext{req.idempotencyKey, *caller});
    } catch (const DbPool::Exhausted& e) {
        a = storageFailure(QStringLiteral("O servidor de aplicação está ocupado com outras chamadas. Tente novamente em instantes."),
                           std::string(e.what()) + " (--db-pool " + std::to_string(pool.size()) + ")");
    } catch (const std::exception& e) {
        // Only opening a connection gets here: the call itself answers its own failures.
        a = storageFailure(QStringLiteral("Não foi possível acessar o banco de dados. Tente novamente em instantes."), e.what());
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    char msText[32];
    const auto printed = std::to_chars(msText, msText + sizeof msText, ms, std::chars_format::fixed, 3);
    std::string line;
    line.reserve(160);
    line.append(printable(object)).append(" ");
    line.append(a.method.isEmpty() ? std::string("-") : printable(a.method.toStdString())).append(" ");
    line.append(msText, printed.ptr).append(" ms ").append(a.outcome.toStdString());
    if (!a.internal.empty())
        line.append(" (").append(printable(a.internal, 300)).append(")");
    logLine(line);
    memory::afterAnswer(std::size_t(a.body.size()));
    if (a.body.isEmpty())
        return {204, {}};
    return {a.httpStatus, std::move(a.body)};
}

http::Response health(DbPool& pool)
{
    try {
        // A balancer's check must not wait as long as a call would.
        DbPool::Lease db = pool.acquire(std::chrono::seconds(2));
        db->query("SELECT 1");
        return {200, R"({"status":"ok"})"};
    } catch (const std::exception& e) {
        logLine(std::string("health: banco de dados indisponível (") + printable(e.what(), 300) + ")");
        return {503, R"({"status":"indisponível"})"};
    }
}

} // namespace

http::Authenticate authenticate(std::shared_ptr<const Users> users)
{
    const bool required = users->requireToken();
    return {required, [users = std::move(users)](std::string_view authorization) -> std::optional<std::any> {
                if (!users->requireToken())
                    return std::any(users->anonymous());
                if (std::optional<Caller> caller = users->authenticate(authorization))
                    return std::any(std::move(*caller));
                return std::nullopt;
            }};
}

std::vector<http::Route> routes(DbPool& pool)
{
    return {
        {"POST", kRpcPrefix, [&pool](const http::Request& req) { return rpc(pool, req); }},
        {"GET", "/health", [&pool](const http::Request&) { return health(pool); }},
    };
}

} // namespace erp::server
