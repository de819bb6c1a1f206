// SPDX-License-Identifier: MIT
#include "cp1252.h"

#include "errors.h"

#include <array>

namespace erp::cp1252 {
namespace {

// Bytes 0x80..0x9F. The five bytes Windows leaves undefined map to the C1
// control of the same value, as Windows itself round-trips them.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int byteFor(char16_t c) noexcept
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c)
            return int(0x80 + i);
    return -1;
}

} // namespace

bool representable(char16_t c) noexcept
{
    return c < 0x80 || (c >= 0xA0 && c <= 0xFF) || byteFor(c) >= 0;
}

qsizetype firstUnrepresentable(QStringView text) noexcept
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            continue;
        if (byteFor(c) < 0)
            return i;
    }
    return -1;
}

QString decode(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* p = out.data();
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *p++ = QChar(u >= 0x80 && u < 0xA0 ? kHigh[u - 0x80] : char16_t(u));
    }
    return out;
}

QByteArray encode(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteFor(text[i].unicode());
        if (b < 0)
            throw ConversionError(QStringLiteral("O caractere '%1' não pode ser gravado (fora do conjunto Windows-1252).")
                                      .arg(text.mid(i, 1).toString()));
        out[i] = char(b);
    }
    return out;
}

} // namespace erp::cp1252
