// SPDX-License-Identifier: MIT
#pragma once

// The JSON-RPC error codes of the wire contract: the server answers them,
// clients and tests name them.
namespace erp::rpc::code {
inline constexpr int ParseError = -32700;
inline constexpr int InvalidRequest = -32600;
inline constexpr int MethodNotFound = -32601;
inline constexpr int InvalidParams = -32602;
inline constexpr int Validation = 1001;
inline constexpr int Conflict = 1002;
inline constexpr int Duplicate = 1003;
inline constexpr int MissingReference = 1004;
// The caller's user may not see the company the call names.
inline constexpr int NoAccess = 1006;
inline constexpr int Storage = 1500;
// The database went away during the commit: the change may be stored or not.
inline constexpr int Uncertain = 1501;
} // namespace erp::rpc::code
