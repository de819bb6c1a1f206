// SPDX-License-Identifier: MIT
#pragma once

#include "platform/errors.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <chrono>
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

// The connection to one server object of the application server, over
// HTTP keep-alive with TCP_NODELAY. Host and port are asked from
// onBeforeConnect each time it opens. Calls are synchronous and bounded by
// the connect and read time-outs, so a dead server ends in an error, never a
// hung screen. One connection serves one thread.
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
    // the connection first when closed. Transport failures throw erp::Error.
    QJsonValue call(const QString& method, const QJsonArray& params = {});

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
