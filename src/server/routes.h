// SPDX-License-Identifier: MIT
#pragma once

#include "dbpool.h"
#include "http/front.h"

#include <vector>

// What the server answers, path by path: JSON-RPC calls to server objects
// and the health check a balancer asks.
namespace erp::server {

std::vector<http::Route> routes(DbPool& pool);

} // namespace erp::server
