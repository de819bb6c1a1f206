// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Checks on a request's head as libmicrohttpd hands it over: the request
// line and the header fields, parsed in place in the connection's buffer.
namespace erp::http {

struct Field {
    std::string_view name, value;
};

struct RequestHead {
    const char* method = nullptr; // where the head begins in the buffer
    const char* version = nullptr;
    std::size_t size = 0; // bytes of the whole head, up to the body (0: unknown)
    std::vector<Field> fields;
};

// Which lines of the head hold bytes the parser left out of what it reports.
// libmicrohttpd 0.9 cuts a header value at a NUL and ignores what follows up
// to the line's end (later versions refuse the request); the fields it
// reports lie in order in the buffer, one line ending (CR LF or LF) apart, so
// a wider gap after a field means hidden bytes in its line. A head whose
// fields lie elsewhere (a folded line, copied by the parser) counts as hiding
// bytes too; a parser that copies every field leaves nothing to check.
struct HiddenBytes {
    bool any = false;
    std::vector<bool> field; // per field of the head
};
HiddenBytes hiddenBytes(const RequestHead& head);

// A header name is a token: no blank, no control character, no separator.
bool isToken(std::string_view name);

// Content-Length: digits only, within 64 bits.
std::optional<std::uint64_t> parseLength(std::string_view value);

// An Idempotency-Key: UTF-8 text of 1 to 64 characters, no control character.
bool validIdempotencyKey(std::string_view key);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace erp::http
