// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Windows-1252, the single-byte code page of every stored text. Qt has no
// codec for it without ICU, and the mapping is small enough to own.
namespace erp::cp1252 {

bool representable(char16_t c) noexcept;
// Index of the first character that has no Windows-1252 byte, or -1.
qsizetype firstUnrepresentable(QStringView text) noexcept;
QString decode(QByteArrayView bytes);
// Throws ConversionError for a character outside the code page.
QByteArray encode(QStringView text);

} // namespace erp::cp1252
