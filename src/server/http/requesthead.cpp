// SPDX-License-Identifier: MIT
#include "requesthead.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace erp::http {

namespace {

std::uintptr_t at(const char* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

} // namespace

HiddenBytes hiddenBytes(const RequestHead& head)
{
    HiddenBytes h;
    h.field.assign(head.fields.size(), false);
    if (!head.method || !head.version || head.size == 0 || head.fields.empty())
        return h;
    const std::uintptr_t begin = at(head.method), end = begin + head.size;
    auto inHead = [&](std::string_view s) { return at(s.data()) >= begin && at(s.data()) + s.size() <= end; };
    const bool noneInHead = std::none_of(head.fields.begin(), head.fields.end(), [&](const Field& f) { return inHead(f.name); });
    if (noneInHead)
        return h;

    std::vector<std::size_t> order(head.fields.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return at(head.fields[a].name.data()) < at(head.fields[b].name.data()); });

    auto mark = [&](std::size_t i) {
        h.field[i] = true;
        h.any = true;
    };
    // The request line ends with the version; each field's line with its value.
    std::uintptr_t lineEnd = at(head.version) + std::strlen(head.version);
    std::size_t previous = head.fields.size(); // none: the request line
    for (const std::size_t i : order) {
        const Field& f = head.fields[i];
        if (!inHead(f.name) || !inHead(f.value) || at(f.value.data()) < at(f.name.data()) + f.name.size() + 1) {
            mark(i);
            continue;
        }
        const std::uintptr_t gap = at(f.name.data()) - lineEnd;
        if (at(f.name.data()) < lineEnd || gap < 1 || gap > 2) {
            if (previous < head.fields.size())
                mark(previous);
            else
                h.any = true;
        }
        lineEnd = at(f.value.data()) + f.value.size();
        previous = i;
    }
    // The last line's ending and the empty line that ends the head.
    if (lineEnd > end || end - lineEnd < 2 || end - lineEnd > 4) {
        if (previous < head.fields.size())
            mark(previous);
        else
            h.any = true;
    }
    return h;
}

bool isToken(std::string_view name)
{
    if (name.empty())
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || std::strchr("\"(),/:;<=>?@[\\]{}", c))
            return false;
    }
    return true;
}

std::optional<std::uint64_t> parseLength(std::string_view value)
{
    if (value.empty() || value.size() > 19)
        return std::nullopt;
    std::uint64_t n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + std::uint64_t(c - '0');
    }
    return n;
}

bool validIdempotencyKey(std::string_view key)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < key.size();) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (c < 0x20 || c == 0x7f)
            return false;
        // UTF-8: a lead byte and its continuation bytes make one character.
        std::size_t length = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
        if (length == 0 || (length == 2 && c < 0xc2) || (length == 4 && c > 0xf4) || i + length > key.size())
            return false;
        std::uint32_t cp = length == 1 ? c : length == 2 ? (c & 0x1f) : length == 3 ? (c & 0x0f) : (c & 0x07);
        for (std::size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(key[i + k]);
            if ((cc & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        if ((length == 3 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) || (length == 4 && (cp < 0x10000 || cp > 0x10ffff)))
            return false;
        // C1 controls are control characters too.
        if (cp >= 0x80 && cp < 0xa0)
            return false;
        i += length;
        ++characters;
    }
    return characters >= 1 && characters <= 64;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace erp::http
