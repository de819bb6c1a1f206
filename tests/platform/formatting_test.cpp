// SPDX-License-Identifier: MIT
#include "platform/formatting.h"
#include "wire/errors.h"

#include <gtest/gtest.h>

using namespace erp;

TEST(Formatting, PicturesFollowTheLocale)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    struct Case {
        const char* picture;
        double value;
        const QLocale& locale;
        const char* text;
    };
    const Case cases[] = {
        {"#,##0.00", 12.5, br, "12,50"},      {"#,##0.00", 100, br, "100,00"},   {"#,##0.00", 1234567.891, br, "1.234.567,89"},
        {"#,##0.00", 100.004, br, "100,00"},  {"#,##0.00", 1234.5, us, "1,234.50"}, {"0.##", 2.5, br, "2,5"},
        {"0.##", 2, br, "2"},                {"0", 7.4, br, "7"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatFloat(c.picture, c.value, c.locale), QString::fromUtf8(c.text)) << c.picture << " " << c.value;
}

TEST(Formatting, ParseFloatReadsTheLocaleAndRefusesText)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    EXPECT_DOUBLE_EQ(parseFloat("1.234,5", br), 1234.5);
    EXPECT_DOUBLE_EQ(parseFloat(" 0,5 ", br), 0.5);
    EXPECT_THROW(parseFloat("12a", br), ConversionError);
    EXPECT_THROW(parseFloat("", br), ConversionError);
}

TEST(Formatting, EditMaskWithoutStoredLiterals)
{
    const EditMask mask("9.9.9.99.9999;0;_");
    EXPECT_EQ(mask.capacity(), 9);
    EXPECT_EQ(mask.format("111010001"), "1.1.1.01.0001");
    EXPECT_EQ(mask.strip("1.1.1.01.0001"), "111010001");
    EXPECT_EQ(mask.strip(mask.format("010001")), "010001");
    EXPECT_EQ(mask.strip("0.1.0.00.1___"), "010001");
    const EditMask code("99;0; ");
    EXPECT_EQ(code.strip("1 "), "1");
}
