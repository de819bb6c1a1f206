// SPDX-License-Identifier: MIT
#include "wire/cp1252.h"
#include "wire/errors.h"

#include <gtest/gtest.h>

using namespace erp;

TEST(Cp1252, EveryByteDecodesAndEncodesBack)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = cp1252::decode(all);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0xE7], QChar(u'ç'));
    EXPECT_EQ(cp1252::encode(text), all);
    EXPECT_EQ(cp1252::firstUnrepresentable(text), -1);
}

TEST(Cp1252, CharactersOutsideThePageAreFound)
{
    EXPECT_EQ(cp1252::firstUnrepresentable(QString::fromUtf8("Ação ✓")), 5);
    EXPECT_EQ(cp1252::firstUnrepresentable(QString::fromUtf8("😀")), 0);
    EXPECT_THROW(cp1252::encode(QString::fromUtf8("Ā")), ConversionError);
}
