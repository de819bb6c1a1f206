// SPDX-License-Identifier: MIT
#include "log.h"

#include <unistd.h>

#include <cerrno>

namespace erp::server {

void logLine(std::string_view line)
{
    // One write per line and no lock: Linux serialises writes to one open
    // file, and a pipe keeps writes below PIPE_BUF whole (lines are bounded).
    std::string out;
    out.reserve(line.size() + 1);
    out.append(line);
    out.push_back('\n');
    const char* p = out.data();
    std::size_t left = out.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= std::size_t(n);
    }
}

void reportFailure(std::string_view sentence, std::string_view detail)
{
    std::string text = "erp-server: ";
    text.append(sentence);
    if (!detail.empty()) {
        std::string_view d = detail;
        while (!d.empty() && (d.back() == '\n' || d.back() == ' '))
            d.remove_suffix(1);
        // A library's message may span lines: each gets the same indent.
        text.append("\n  detalhe: ");
        for (const char c : d)
            text.append(c == '\n' ? std::string_view("\n    ") : std::string_view(&c, 1));
    }
    logLine(text);
}

std::string printable(std::string_view s, std::size_t max)
{
    std::string out(s.substr(0, max));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

} // namespace erp::server
