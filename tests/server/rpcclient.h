// SPDX-License-Identifier: MIT
#pragma once

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

// A bare JSON-RPC caller on one keep-alive connection: the tests check the
// wire exactly as other programs see it.
namespace erp::testing {

class RpcClient {
public:
    RpcClient(const std::string& host, int port, std::string object = "PAR47300.rdmParamIRPJ") : cli_(host, port), object_(std::move(object))
    {
        cli_.set_keep_alive(true);
        cli_.set_tcp_nodelay(true);
        cli_.set_connection_timeout(5);
        cli_.set_read_timeout(30);
    }

    // The whole response object; an HTTP failure gives an empty object.
    QJsonObject call(const QString& method, const QJsonArray& params = {})
    {
        const QJsonObject req{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}};
        return post(QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString());
    }

    QJsonObject post(const std::string& body)
    {
        auto res = cli_.Post(("/rpc/" + object_).c_str(), body, "application/json");
        lastStatus_ = res ? res->status : -1;
        lastFailure_ = res ? std::string() : httplib::to_string(res.error());
        if (!res)
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    }

    int lastStatus() const { return lastStatus_; }
    // Why the last call got no HTTP answer at all (empty when it got one).
    const std::string& lastFailure() const { return lastFailure_; }
    httplib::Client& http() { return cli_; }

private:
    httplib::Client cli_;
    std::string object_;
    int id_ = 0;
    int lastStatus_ = 0;
    std::string lastFailure_;
};

inline int errorCode(const QJsonObject& response)
{
    return response.value("error").toObject().value("code").toInt();
}

inline QString errorMessage(const QJsonObject& response)
{
    return response.value("error").toObject().value("message").toString();
}

} // namespace erp::testing
