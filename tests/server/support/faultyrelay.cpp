// SPDX-License-Identifier: MIT
#include "faultyrelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace erp::testing {

struct FaultyRelay::Private {
    sockaddr_in target{};
    int listenFd = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::deque<std::pair<std::string, Fault>> armed; // marker and fault, the first one next
    std::atomic<int> struck{0};
    std::vector<std::thread> pipes;
    std::thread acceptor;

    static bool sendAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= std::size_t(n);
        }
        return true;
    }

    // The next armed fault, taken when `window` holds its marker.
    std::optional<Fault> takeFault(const std::string& window)
    {
        std::lock_guard lock(mutex);
        if (armed.empty() || window.find(armed.front().first) == std::string::npos)
            return std::nullopt;
        const Fault f = armed.front().second;
        armed.pop_front();
        return f;
    }

    std::size_t markerSize()
    {
        std::lock_guard lock(mutex);
        return armed.empty() ? 0 : armed.front().first.size();
    }

    void relay(int client)
    {
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        std::string tail; // the end of what came before, for a marker split across reads
        bool dropAnswer = false;
        char buf[65536];
        while (!stopping) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 2, 100) <= 0)
                continue;
            if (fds[0].revents) {
                const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                const std::string window = tail + std::string(buf, std::size_t(n));
                const std::optional<Fault> f = takeFault(window);
                if (f == Fault::DropRequest) {
                    ++struck;
                    break;
                }
                dropAnswer = dropAnswer || f == Fault::DropAnswer;
                if (!sendAll(server, buf, std::size_t(n)))
                    break;
                const std::size_t keep = markerSize();
                tail = window.size() > keep ? window.substr(window.size() - keep) : window;
            }
            if (fds[1].revents) {
                const ssize_t n = ::recv(server, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                if (dropAnswer) {
                    ++struck;
                    break;
                }
                if (!sendAll(client, buf, std::size_t(n)))
                    break;
            }
        }
        ::close(server);
        ::close(client);
    }
};

FaultyRelay::FaultyRelay(const std::string& host, int port) : d(std::make_unique<Private>())
{
    d->target.sin_family = AF_INET;
    d->target.sin_port = htons(std::uint16_t(port));
    if (::inet_pton(AF_INET, host.c_str(), &d->target.sin_addr) != 1)
        throw std::runtime_error("relay: not an IPv4 address: " + host);
    d->listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(d->listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(d->listenFd, 64) != 0 ||
        ::getsockname(d->listenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(d->listenFd);
        throw std::runtime_error("relay: cannot listen");
    }
    d->port = ntohs(a.sin_port);
    d->acceptor = std::thread([p = d.get()] {
        while (!p->stopping) {
            pollfd fd{p->listenFd, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            const int client = ::accept(p->listenFd, nullptr, nullptr);
            if (client < 0)
                continue;
            std::lock_guard lock(p->mutex);
            p->pipes.emplace_back([p, client] { p->relay(client); });
        }
    });
}

FaultyRelay::~FaultyRelay()
{
    d->stopping = true;
    d->acceptor.join();
    ::close(d->listenFd);
    for (std::thread& t : d->pipes)
        t.join();
}

int FaultyRelay::port() const
{
    return d->port;
}

void FaultyRelay::loseNext(const std::string& marker, Fault fault)
{
    std::lock_guard lock(d->mutex);
    d->armed.emplace_back(marker, fault);
}

int FaultyRelay::struck() const
{
    return d->struck;
}

} // namespace erp::testing
