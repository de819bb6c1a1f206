// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <any>
#include <optional>
#include <string_view>

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The server's HTTP front on GNU libmicrohttpd: a few event threads serve
// every connection (an idle or slow one holds no thread), each resource a
// connection may take is bounded, and whatever is refused is refused before a
// body byte is read.
namespace erp::http {

struct Request {
    std::string method;
    std::string path;
    std::string body;
    std::string idempotencyKey; // the Idempotency-Key header, empty when absent
    std::any identity;          // who the request comes from, as Authenticate found
};

struct Response {
    int status = 200;
    QByteArray body; // JSON; none for a 204
};

using Handler = std::function<Response(const Request&)>;

struct Route {
    std::string method;
    std::string path; // the whole path, or its beginning when it ends with '/'
    Handler handler;
};

struct Limits {
    int threads = 16;
    int maxConnections = 1024;
    int maxConnectionsPerAddress = 512;
    // A request must arrive whole within this time of the connection opening
    // or of the previous answer; a connection silent this long is closed.
    std::chrono::seconds requestTimeout{10};
    std::chrono::seconds idleTimeout{2};
    // An answer not taken by the client within this time closes the connection.
    std::chrono::seconds sendTimeout{60};
    std::size_t maxBody = 1024 * 1024;
    std::size_t maxHeaderBytes = 16 * 1024;
    int maxHeaders = 100;
};

// Who a request comes from, decided on its head before any body byte is read.
struct Authenticate {
    // Every request must carry exactly one Authorization header, with no
    // bytes hidden in its line.
    bool required = false;
    // The identity of a request given that header's value (empty when not
    // required); nothing refuses the request with 401.
    std::function<std::optional<std::any>(std::string_view authorization)> identify;
};

// The operator's log, for refusals, closed connections and failures of handlers.
using Log = std::function<void(const std::string&)>;

class Front {
public:
    Front(Limits limits, Authenticate authenticate, std::vector<Route> routes, Log log);
    ~Front();
    Front(const Front&) = delete;
    Front& operator=(const Front&) = delete;

    // Listens on the address and starts serving; returns the port.
    // Throws std::runtime_error when it cannot listen.
    int start(const sockaddr* address, socklen_t length);
    // Stops accepting, lets answers being worked out or sent finish (up to
    // `grace`), then closes every connection.
    void stop(std::chrono::seconds grace = std::chrono::seconds(30));

    // Connections open now (within the caps and beyond them).
    int connections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace erp::http
