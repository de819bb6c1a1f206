// SPDX-License-Identifier: MIT
#pragma once

#include "wire/errors.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace erp::host {

// A failure the application server reported: its JSON-RPC code and the
// Portuguese sentence it sent, fit to show the user as it is.
class ServerError : public Error {
public:
    ServerError(int code, const QString& message) : Error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

// A call whose request went out but whose answer never came (the connection
// broke or the read timed out, or a balancer in between gave up waiting): the
// server may or may not have acted on it.
class NoAnswerError : public Error {
public:
    using Error::Error;
};

// What a call does on the server. A change travels with a fresh
// Idempotency-Key, so whoever repeats its request (a balancer, a proxy) can
// never apply it twice; reads and sequence numbers need none.
enum class CallKind { Query, Change };

// True for a failure that leaves a change's outcome unknown: no answer came,
// or the server reported that its database failed during the commit (1501).
// The caller should read the data again to see what the server holds.
bool outcomeUncertain(std::exception_ptr failure);
inline constexpr int kOutcomeUncertain = 1501;

// The connection to one server object of the application server, over
// HTTP keep-alive with TCP_NODELAY. Host and port are asked from
// onBeforeConnect each time it opens. Calls are synchronous and bounded by
// the connect and read time-outs, so a dead server ends in an error, never a
// hung screen. A request that a kept-alive connection loses without an
// answer (closed as idle by the server or a balancer just as it went out)
// goes once more on a new connection, with the same Idempotency-Key when it
// is a change. One connection serves one thread.
class TNetConnection {
public:
    explicit TNetConnection(const QString& serverName = {});
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    QString serverName() const;
    void setServerName(const QString& name);
    QString host() const;
    void setHost(const QString& host);
    int port() const;
    void setPort(int port);
    // Sent as `Authorization: Bearer <token>` when not empty.
    void setToken(const QString& token);
    void setConnectTimeout(std::chrono::milliseconds timeout);
    void setReadTimeout(std::chrono::milliseconds timeout);

    // Runs every time the connection opens, before it connects: sets host and port.
    std::function<void(TNetConnection&)> onBeforeConnect;

    // Opening asks the server whether it is there; throws erp::Error when it
    // cannot be reached or refuses the token.
    void open();
    void close();
    bool connected() const;
    void setConnected(bool on);

    // Late-bound call by method name with positional arguments. Returns the
    // whole JSON-RPC response object (result or error) as one value; opens
    // the connection first when closed. Transport failures throw erp::Error,
    // NoAnswerError once the request may have reached the server.
    QJsonValue call(const QString& method, const QJsonArray& params = {}, CallKind kind = CallKind::Query);

private:
    struct Private;
    std::unique_ptr<Private> const d;
};

// The usable result of a remote call: throws ServerError when the response
// reports a failure and erp::Error when it is not a JSON-RPC response.
// With `raise` false a failure gives an undefined value instead of the
// ServerError. `flags` is reserved and must be 0.
QJsonValue CheckResultServ(const QJsonValue& raw, bool raise = true, int flags = 0);

// A sequence number as the screen stores it: the result made text, then the
// text made a 32-bit signed integer. Takes the raw response (a reported
// failure throws ServerError) or the bare result; throws ConversionError
// when the text is not such an integer.
qint32 sequenceNumber(const QJsonValue& rawOrResult);

} // namespace erp::host
