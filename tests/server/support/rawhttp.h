// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <vector>

// HTTP written and read byte by byte, as an attacker or a broken client
// would send it: what no HTTP library would write.
namespace erp::testing {

// A TCP connection to the server on loopback; `source` picks the client's
// own loopback address (any of 127.0.0.0/8), so tests can play several hosts.
class RawConnection {
public:
    RawConnection(int port, const std::string& source = "127.0.0.1");
    ~RawConnection();
    RawConnection(RawConnection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    RawConnection& operator=(RawConnection&&) = delete;

    // Sends what it can; false once the server has closed or reset the connection.
    bool send(const std::string& bytes);
    // True when the server has closed the connection (reading gives its end).
    bool closedByServer(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    struct Answer {
        int status = -1; // -1: no answer before the connection ended or the wait ran out
        std::string head;
        std::string body;
        bool closed = false; // the server closed the connection after it
    };
    // Reads one answer (head and a Content-Length body).
    Answer read(std::chrono::milliseconds wait = std::chrono::seconds(10));

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::string pending_;
};

// One request on a fresh connection and its answer.
RawConnection::Answer rawExchange(int port, const std::string& request, const std::string& source = "127.0.0.1");

// "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1" with Host and the given extra
// header lines (each ending in CR LF), a Content-Length and the body.
std::string rpcRequest(const std::string& body, const std::string& extraHeaders = {});

// A process's resident memory in KiB (VmRSS), or -1.
long residentKiB(int pid);

// Raises this process's limit of open files as far as allowed.
void raiseDescriptorLimit();

} // namespace erp::testing
