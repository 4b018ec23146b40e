#include "base/SysUtils.h"

#include "tests/base/LocaleFixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

struct TFormatCase {
    const char* Picture;
    long double Value;
    const char* Expected;
};

TEST_F(GermanTest, FormatFloatRoundsHalfAwayFromZeroOnEighteenDigits)
{
    const TFormatCase cases[] = {
        {"0.00", 4.5L, "4,50"},
        {"00", 5, "05"},
        {"00", 100, "100"},
        {"0.00", -2, "-2,00"},
        {"0.00", 0, "0,00"},
        {"0", 2.5L, "3"},
        {"0", -2.5L, "-3"},
        // binary 2.67499999... and 1.00499999... must still round as typed
        {"0.00", 2.675L, "2,68"},
        {"00.00", 1.005L, "01,01"},
        {"0.00", 0.125L, "0,13"},
        {"0.00", -0.005L, "-0,01"},
        {"0.00", -0.001L, "0,00"},
        {"0.00", -0.0L, "0,00"},
        {"0.00", 0.995L, "1,00"},
        {"0.00", 99.995L, "100,00"},
        {"0.00", 1234567.891L, "1234567,89"},
        {"#,##0.00", 1234.5L, "1234,50"},
        {"0.00", 1e20L, "100000000000000000000,00"},
        {"0.00", 1e-30L, "0,00"},
        {"0.0000000000000000000000", 0.1L, "0,1000000000000000000000"},
        {"0.0#", 1.5L, "1,5"},
        {"0.0#", 1.256L, "1,26"},
        {"#.##", 0.5L, ",5"},
        {"0.00 \"EUR\"", 4.5L, "4,50 EUR"},
        {"'#'0", 7, "#7"},
        // whole numbers up to the eighteenth digit, and the first beyond
        {"00", 0, "00"},
        {"00", 59, "59"},
        {"00", 3600, "3600"},
        {"0", -42, "-42"},
        {"0.00", 1e17L, "100000000000000000,00"},
        {"0", 999999999999999999.0L, "999999999999999999"},
        {"0", 1e18L, "1000000000000000000"},
        {"0.00", 123456789012345678.0L, "123456789012345678,00"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatFloat(QString::fromUtf8(c.Picture), c.Value), QString::fromUtf8(c.Expected))
            << c.Picture << " " << static_cast<double>(c.Value);
}

TEST_F(EnglishTest, FormatFloatUsesTheLocaleSeparator)
{
    EXPECT_EQ(FormatFloat("0.00", 4.5L), "4.50");
    EXPECT_EQ(FloatToStr(1234.5L), "1234.5");
    EXPECT_EQ(FloatToStr(1500), "1500");
    EXPECT_EQ(FloatToStr(123456789012345678.0L), "1.23456789012346E17");
    EXPECT_EQ(FloatToStr(-0.0L), "0");
}

TEST_F(GermanTest, NonFiniteValuesHaveNames)
{
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_EQ(FormatFloat("0.00", inf), "INF");
    EXPECT_EQ(FormatFloat("0.00", -inf), "-INF");
    EXPECT_EQ(FormatFloat("0.00", nan), "NAN");
    EXPECT_EQ(FloatToStr(inf), "INF");
    EXPECT_EQ(FloatToStr(-inf), "-INF");
    EXPECT_EQ(FloatToStr(nan), "NAN");
}

TEST_F(GermanTest, FloatToStrWritesFifteenSignificantDigits)
{
    const struct {
        long double Value;
        const char* Expected;
    } cases[] = {
        {1234, "1234"},
        {1234.5L, "1234,5"},
        {-1234.5L, "-1234,5"},
        {0, "0"},
        {-0.0L, "0"},
        {0.1L + 0.2L, "0,3"},
        {1.0L / 3, "0,333333333333333"},
        {2.0L / 3, "0,666666666666667"},
        {1e14L, "100000000000000"},
        {1e15L, "1E15"},
        {999999999999999.5L, "1E15"},
        {1.5e20L, "1,5E20"},
        {123456789012345678.0L, "1,23456789012346E17"},
        {0.0001L, "0,0001"},
        {1e-5L, "1E-5"},
        {-1.5e-7L, "-1,5E-7"},
        {LDBL_MAX, "1,18973149535723E4932"},
        {LDBL_TRUE_MIN, "3,64519953188247E-4951"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.Value), QString::fromUtf8(c.Expected)) << c.Expected;
}

TEST_F(GermanTest, TryStrToFloatAcceptsTheLocaleForm)
{
    const struct {
        const char* Text;
        long double Expected;
    } cases[] = {
        {"1,5", 1.5L},
        {"-2", -2},
        {" 3 ", 3},
        {"\t7\t", 7},
        {"+4", 4},
        {",5", 0.5L},
        {"5,", 5},
        {"1E3", 1000},
        {"1,5e-2", 1.5e-2L},
        {"1e+2", 100},
        {"0,1", 0.1L},
        {"1e-5000", 0},
    };
    for (const auto& c : cases) {
        long double value = -99;
        EXPECT_TRUE(TryStrToFloat(QString::fromUtf8(c.Text), value)) << c.Text;
        EXPECT_EQ(value, c.Expected) << c.Text; // exact: conversion must not go through double
    }
}

TEST_F(GermanTest, TryStrToFloatRejectsEverythingElse)
{
    const char* const cases[] = {
        "1.5",
        "1,5,0",
        "",
        " ",
        "abc",
        "-",
        ",",
        "1E",
        "1E+",
        "1 5",
        "1,5x",
        "--1",
        "+-1",
        "1e5,0",
        "1e99999",
        "1'000",
        "\u0661",
        "0x10",
        "inf",
        "nan",
    };
    for (const char* text : cases) {
        long double value = 0;
        EXPECT_FALSE(TryStrToFloat(QString::fromUtf8(text), value)) << text;
    }
    long double value = 0;
    EXPECT_FALSE(TryStrToFloat(QString("1") + QChar(0), value)) << "embedded NUL";
    EXPECT_EQ(StrToFloatDef("x", 7), 7);
    EXPECT_EQ(StrToFloatDef("2,5", 7), 2.5L);
}

TEST_F(GermanTest, TryStrToFloatSurvivesHugeText)
{
    long double value = 0;
    EXPECT_FALSE(TryStrToFloat(QString(200000, u'9'), value)); // overflows
    EXPECT_TRUE(TryStrToFloat("0," + QString(200000, u'3'), value));
    EXPECT_EQ(FloatToStr(value), "0,333333333333333");
}

TEST_F(EnglishTest, TryStrToFloatUsesThePointInEnglish)
{
    long double value = 0;
    EXPECT_TRUE(TryStrToFloat("1.5", value));
    EXPECT_EQ(value, 1.5L);
    EXPECT_FALSE(TryStrToFloat("1,5", value));
}

TEST_F(GermanTest, FormattedAmountsReadBack)
{
    for (long double cents : {0.0L, 4.5L, -2.0L, 2.675L, 1234567.89L}) {
        long double back = 0;
        ASSERT_TRUE(TryStrToFloat(FormatFloat("0.00", cents), back));
        EXPECT_EQ(FormatFloat("0.00", back), FormatFloat("0.00", cents));
        ASSERT_TRUE(TryStrToFloat(FloatToStr(cents), back));
        EXPECT_EQ(back, cents);
    }
}

TEST(TryStrToInt, ReadsDecimalAndHexadecimal)
{
    const struct {
        const char* Text;
        int32_t Expected;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"-42", -42},
        {"+7", 7},
        {"  12", 12},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$FF", 255},
        {"0x1f", 31},
        {"0X1F", 31},
        {"-$10", -16},
        {"$7FFFFFFF", 2147483647},
        {"-0x80000000", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        int32_t value = -99;
        EXPECT_TRUE(TryStrToInt(c.Text, value)) << c.Text;
        EXPECT_EQ(value, c.Expected) << c.Text;
    }
}

TEST(TryStrToInt, RejectsJunkAndOverflow)
{
    const char* const cases[] = {
        "",
        " ",
        "-",
        "2147483648",
        "-2147483649",
        "99999999999999999999",
        "12 ",
        "12a",
        "1.0",
        "1,0",
        "$",
        "0x",
        "0xG",
        "$80000000",
        "$FFFFFFFF",
        "- 5",
        "$-5",
        "1e3",
        "\u0661\u0662",
    };
    for (const char* text : cases) {
        int32_t value = 0;
        EXPECT_FALSE(TryStrToInt(QString::fromUtf8(text), value)) << text;
    }
    int32_t value = 0;
    EXPECT_FALSE(TryStrToInt(QString("5") + QChar(0), value)) << "embedded NUL";
    EXPECT_FALSE(TryStrToInt(QString(100000, u'1'), value));
    EXPECT_EQ(StrToIntDef("x", -1), -1);
    EXPECT_EQ(StrToIntDef("$10", -1), 16);
}

} // namespace
