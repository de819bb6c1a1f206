// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace erp::testing {

// A TCP relay on a free loopback port in front of a server, as a network or
// balancer between client and server would be. On request it loses one
// exchange: the next request whose bytes contain a marker is either never
// passed on (DropRequest) or passed on and its answer thrown away once the
// server sends it (DropAnswer). Either way the client's connection is then
// closed without an answer. Every other byte passes through unchanged.
class FaultyRelay {
public:
    enum class Fault { DropRequest, DropAnswer };

    FaultyRelay(const std::string& host, int port);
    ~FaultyRelay();
    FaultyRelay(const FaultyRelay&) = delete;
    FaultyRelay& operator=(const FaultyRelay&) = delete;

    int port() const;
    // Arms the fault for the next request containing `marker` (once). Faults
    // armed one after another strike in that order.
    void loseNext(const std::string& marker, Fault fault);
    // How many armed faults have struck so far.
    int struck() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace erp::testing
