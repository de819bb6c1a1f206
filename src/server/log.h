// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The operator's log: one line per event on stderr, never interleaved.
namespace erp::server {

void logLine(std::string_view line);

// A failure told to the operator on stderr: the Portuguese sentence first,
// then the technical detail (often a library's English text) on a line of
// its own.
void reportFailure(std::string_view sentence, std::string_view detail = {});

// Text taken from a request, fit for the log: control characters replaced,
// at most `max` bytes.
std::string printable(std::string_view s, std::size_t max = 100);

} // namespace erp::server
