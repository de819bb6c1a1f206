// SPDX-License-Identifier: MIT
#include "netconnection.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <chrono>
#include <csignal>
#include <mutex>

namespace erp::host {

struct TNetConnection::Private {
    QString serverName;
    QString host;
    int port = 0;
    QString token;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds readTimeout{30000};
    std::unique_ptr<httplib::Client> client;
    qint64 nextId = 0;

    QString where() const { return QStringLiteral("%1:%2").arg(host).arg(port); }

    static bool neverSent(httplib::Error e)
    {
        return e == httplib::Error::Connection || e == httplib::Error::ConnectionTimeout || e == httplib::Error::BindIPAddress;
    }

    // `sent`: the request may have reached the server before the failure.
    [[noreturn]] void transportFailure(httplib::Error e, bool sent, CallKind kind = CallKind::Query)
    {
        client.reset();
        const QString what = neverSent(e) ? QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1.").arg(where())
                             : e == httplib::Error::Read
                                 ? QStringLiteral("O servidor de aplicação em %1 não respondeu a tempo ou encerrou a conexão.").arg(where())
                                 : QStringLiteral("Falha de comunicação com o servidor de aplicação em %1.").arg(where());
        if (!sent)
            throw Error(what);
        throw NoAnswerError(kind == CallKind::Change ? what + QStringLiteral(" Não é possível saber se a alteração foi gravada.") : what);
    }

    [[noreturn]] void httpFailure(int status, CallKind kind = CallKind::Query)
    {
        if (status == 401)
            throw Error(QStringLiteral("O servidor de aplicação em %1 recusou o acesso: a chave de acesso está ausente ou é inválida.").arg(where()));
        if (status == 413)
            throw Error(QStringLiteral("Os dados enviados excedem o tamanho aceito pelo servidor de aplicação."));
        // A balancer's 502 and 504: it passed the request on and got no answer back.
        if (status == 502 || status == 504) {
            const QString what = QStringLiteral("O servidor de aplicação em %1 não respondeu (erro HTTP %2).").arg(where()).arg(status);
            throw NoAnswerError(kind == CallKind::Change ? what + QStringLiteral(" Não é possível saber se a alteração foi gravada.") : what);
        }
        throw Error(QStringLiteral("O servidor de aplicação em %1 respondeu com o erro HTTP %2.").arg(where()).arg(status));
    }
};

TNetConnection::TNetConnection(const QString& serverName) : d(std::make_unique<Private>())
{
    d->serverName = serverName;
}

TNetConnection::~TNetConnection() = default;

QString TNetConnection::serverName() const { return d->serverName; }
void TNetConnection::setServerName(const QString& name) { d->serverName = name; }
QString TNetConnection::host() const { return d->host; }
void TNetConnection::setHost(const QString& host) { d->host = host; }
int TNetConnection::port() const { return d->port; }
void TNetConnection::setPort(int port) { d->port = port; }
void TNetConnection::setToken(const QString& token) { d->token = token; }
void TNetConnection::setConnectTimeout(std::chrono::milliseconds timeout) { d->connectTimeout = timeout; }
void TNetConnection::setReadTimeout(std::chrono::milliseconds timeout) { d->readTimeout = timeout; }

void TNetConnection::open()
{
    // A server that drops the socket must not kill the client with SIGPIPE.
    static std::once_flag sigpipe;
    std::call_once(sigpipe, [] { std::signal(SIGPIPE, SIG_IGN); });
    d->client.reset();
    if (onBeforeConnect)
        onBeforeConnect(*this);
    if (d->host.isEmpty() || d->port <= 0 || d->port > 65535)
        throw Error(QStringLiteral("O endereço do servidor de aplicação não foi configurado (%1).").arg(d->where()));
    auto client = std::make_unique<httplib::Client>(d->host.toStdString(), d->port);
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);
    client->set_connection_timeout(d->connectTimeout);
    client->set_read_timeout(d->readTimeout);
    client->set_write_timeout(d->readTimeout);
    if (!d->token.isEmpty())
        client->set_bearer_token_auth(d->token.toStdString());
    d->client = std::move(client);
    const auto res = d->client->Get("/health");
    if (!res)
        d->transportFailure(res.error(), false);
    if (res->status == 401) {
        d->client.reset();
        d->httpFailure(401);
    }
}

void TNetConnection::close()
{
    d->client.reset();
}

bool TNetConnection::connected() const
{
    return d->client != nullptr;
}

void TNetConnection::setConnected(bool on)
{
    if (on == connected())
        return;
    if (on)
        open();
    else
        close();
}

QJsonValue TNetConnection::call(const QString& method, const QJsonArray& params, CallKind kind)
{
    if (!connected())
        open();
    const QJsonObject request{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                              {QStringLiteral("id"), ++d->nextId},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("params"), params}};
    const std::string path = "/rpc/" + d->serverName.toStdString();
    const std::string body = QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString();
    httplib::Headers headers;
    if (kind == CallKind::Change)
        headers.emplace("Idempotency-Key", QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    const bool reused = d->client->is_socket_open() != 0;
    const auto start = std::chrono::steady_clock::now();
    auto res = d->client->Post(path, headers, body, "application/json");
    // A kept-alive connection that the server or a balancer closed as idle
    // just as this request went out fails it without an answer; the peer
    // leaves the retry to the client (as HTTP allows for a request that is
    // safe to repeat). It goes once more on a new connection: a read needs
    // nothing, a change repeats its Idempotency-Key, so it is never applied
    // twice. A read time-out is no such race and is not repeated.
    if (!res && reused && (res.error() == httplib::Error::Read || res.error() == httplib::Error::Write) &&
        std::chrono::steady_clock::now() - start < d->readTimeout) {
        res = d->client->Post(path, headers, body, "application/json");
        if (!res)
            d->transportFailure(res.error(), true, kind);
    }
    if (!res)
        d->transportFailure(res.error(), !Private::neverSent(res.error()), kind);
    if (res->status != 200)
        d->httpFailure(res->status, kind);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(res->body), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        throw Error(QStringLiteral("O servidor de aplicação enviou uma resposta inválida."));
    return doc.object();
}

bool outcomeUncertain(std::exception_ptr failure)
{
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const NoAnswerError&) {
        return true;
    } catch (const ServerError& e) {
        return e.code() == kOutcomeUncertain;
    } catch (...) {
        return false;
    }
}

QJsonValue CheckResultServ(const QJsonValue& raw, bool raise, int)
{
    const QJsonObject o = raw.toObject();
    if (raw.isObject() && o.contains(QLatin1String("error"))) {
        const QJsonObject e = o.value(QLatin1String("error")).toObject();
        const QString message = e.value(QLatin1String("message")).toString();
        if (!raise)
            return QJsonValue(QJsonValue::Undefined);
        throw ServerError(e.value(QLatin1String("code")).toInt(),
                          message.isEmpty() ? QStringLiteral("O servidor de aplicação recusou a operação.") : message);
    }
    if (!raw.isObject() || !o.contains(QLatin1String("result")))
        throw Error(QStringLiteral("O servidor de aplicação enviou uma resposta inválida."));
    return o.value(QLatin1String("result"));
}

qint32 sequenceNumber(const QJsonValue& rawOrResult)
{
    const QJsonValue v = rawOrResult.isObject() ? CheckResultServ(rawOrResult) : rawOrResult;
    QString text;
    if (v.isDouble())
        text = QString::number(v.toDouble(), 'g', 17);
    else if (v.isString())
        text = v.toString();
    bool ok = false;
    const qint32 n = text.toInt(&ok);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' não é um valor inteiro válido.").arg(text));
    return n;
}

} // namespace erp::host
