// SPDX-License-Identifier: MIT
#include "rawhttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace erp::testing {

RawConnection::RawConnection(int port, const std::string& source)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("connect: " + why);
    }
}

RawConnection::~RawConnection()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool RawConnection::send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 10000) <= 0 || (p.revents & (POLLERR | POLLHUP)))
            return false;
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool RawConnection::closedByServer(std::chrono::milliseconds wait)
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, int(wait.count())) <= 0)
        return false;
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0)
        pending_.append(buf, std::size_t(n));
    return n == 0 || (n < 0 && errno != EAGAIN);
}

RawConnection::Answer RawConnection::read(std::chrono::milliseconds wait)
{
    Answer a;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::string in = std::move(pending_);
    pending_.clear();
    std::size_t headEnd = std::string::npos, bodyLength = 0;
    for (;;) {
        if (headEnd == std::string::npos && (headEnd = in.find("\r\n\r\n")) != std::string::npos) {
            a.head = in.substr(0, headEnd);
            if (a.head.rfind("HTTP/1.", 0) == 0 && a.head.size() > 12)
                a.status = std::atoi(a.head.c_str() + 9);
            const auto at = a.head.find("Content-Length: ");
            bodyLength = at == std::string::npos ? 0 : std::size_t(std::atoll(a.head.c_str() + at + 16));
        }
        if (headEnd != std::string::npos && in.size() >= headEnd + 4 + bodyLength) {
            a.body = in.substr(headEnd + 4, bodyLength);
            pending_ = in.substr(headEnd + 4 + bodyLength);
            a.closed = a.head.find("Connection: close") != std::string::npos;
            return a;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            break;
        char buf[65536];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            a.closed = true;
            break;
        }
        in.append(buf, std::size_t(n));
    }
    a.status = -1;
    return a;
}

RawConnection::Answer rawExchange(int port, const std::string& request, const std::string& source)
{
    RawConnection c(port, source);
    c.send(request);
    return c.read();
}

std::string rpcRequest(const std::string& body, const std::string& extraHeaders)
{
    return "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n" + extraHeaders +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

long residentKiB(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void raiseDescriptorLimit()
{
    rlimit l{};
    if (::getrlimit(RLIMIT_NOFILE, &l) == 0 && l.rlim_cur < l.rlim_max) {
        l.rlim_cur = l.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &l);
    }
}

} // namespace erp::testing
