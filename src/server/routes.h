// SPDX-License-Identifier: MIT
#pragma once

#include "dbpool.h"
#include "http/front.h"
#include "users.h"

#include <memory>

#include <vector>

// What the server answers, path by path: JSON-RPC calls to server objects
// and the health check a balancer asks.
namespace erp::server {

std::vector<http::Route> routes(DbPool& pool);

// Each request's caller, from its token among `users` (a Caller in the
// request's identity).
http::Authenticate authenticate(std::shared_ptr<const Users> users);

} // namespace erp::server
