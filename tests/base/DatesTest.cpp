#include "base/SysUtils.h"

#include "base/Exceptions.h"
#include "tests/base/LocaleFixture.h"
#include "tests/support/Raised.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

const TLocalTime Afternoon{2026, 12, 8, 14, 3, 22, 500};

TEST_F(GermanTest, SettingsComeFromTheSelectedLocale)
{
    EXPECT_EQ(FormatSettings().DecimalSeparator, u',');
    EXPECT_EQ(FormatSettings().ShortDateFormat, "%d.%m.%Y");
    EXPECT_FALSE(UseLocaleForFormats("xx_XX.UTF-8"));
    EXPECT_EQ(FormatSettings().DecimalSeparator, u',') << "a missing locale changes nothing";
    EXPECT_TRUE(UseLocaleForFormats(""));
    EXPECT_EQ(FormatSettings().DecimalSeparator, u'.') << "tests run in C.UTF-8";
}

TEST_F(GermanTest, TimeStampsInGerman)
{
    EXPECT_EQ(FormatShortDate(Afternoon), "08.12.2026");
    EXPECT_EQ(FormatLongTime(Afternoon), "14:03:22");
    EXPECT_EQ(FormatTimeStamp(Afternoon), "08.12.2026 14:03:22");
}

TEST_F(EnglishTest, TimeStampsInEnglishUseTwelveHours)
{
    EXPECT_EQ(FormatTimeStamp(Afternoon), "12/08/2026 02:03:22 PM");
    EXPECT_EQ(FormatLongTime(TLocalTime{}), "12:00:00 AM");
}

TEST_F(GermanTest, NonsenseTimesStillFormat)
{
    const TLocalTime nonsense{INT_MAX, 99, -5, 77, -1, 100, 0};
    EXPECT_FALSE(FormatTimeStamp(nonsense).isEmpty());
}

TEST_F(GermanTest, TimeOfDayWrapsAroundMidnight)
{
    const struct {
        int64_t Seconds;
        const char* Expected;
    } cases[] = {
        {0, "00:00:00"},
        {3600, "01:00:00"},
        {3725, "01:02:05"},
        {86399, "23:59:59"},
        {86400, "00:00:00"},
        {30 * 3600, "06:00:00"},
        {-1, "23:59:59"},
        {INT64_MAX, "15:30:07"},
        {INT64_MIN, "08:29:52"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTimeOfDay(c.Seconds), c.Expected) << c.Seconds;
}

TEST_F(GermanTest, DurationsGrowPastADayAndReadBack)
{
    const struct {
        const char* Text;
        int64_t Seconds; // -1: not a duration
    } cases[] = {
        {"00:00:00", 0},
        {"01:02:05", 3725},
        {"23:59:59", 86399},
        {"24:00:00", 86400},
        {"100:00:00", 360000},
        {"1666:40:00", 6000000},
        {" 25:00:01 ", 90001},
        {"1:30", 5400},
        {"25:60:00", -1},
        {"25:00:60", -1},
        {"25:00", -1},
        {"-25:00:00", -1},
        {"25:00:00:00", -1},
        {"999999999999:00:00", 999999999999 * 3600},
        {"9999999999999:00:00", -1},
        {"kaputt", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        int64_t seconds = -1;
        EXPECT_EQ(TryStrToDuration(c.Text, seconds), c.Seconds >= 0) << c.Text;
        if (c.Seconds >= 0) {
            EXPECT_EQ(seconds, c.Seconds) << c.Text;
        }
    }
    for (int64_t seconds : {int64_t{0}, int64_t{59}, int64_t{3725}, int64_t{86400}, int64_t{6000000}}) {
        int64_t back = -1;
        EXPECT_TRUE(TryStrToDuration(FormatDuration(seconds), back)) << FormatDuration(seconds).toStdString();
        EXPECT_EQ(back, seconds);
    }
    EXPECT_EQ(FormatDuration(6000000), "1666:40:00");
    EXPECT_EQ(FormatDuration(5), "00:00:05");
}

TEST_F(GermanTest, DatesReadInDayMonthYearOrder)
{
    const struct {
        const char* Text;
        TDate Expected;
    } cases[] = {
        {"08.12.2026", {2026, 12, 8}},
        {"8.12.2026", {2026, 12, 8}},
        {" 8.12.2026 ", {2026, 12, 8}},
        {"08-12-2026", {2026, 12, 8}},
        {"08. 12. 2026", {2026, 12, 8}},
        {"29.02.2024", {2024, 2, 29}},
        {"29.02.2000", {2000, 2, 29}},
        {"8.12.26", {2026, 12, 8}},
        {"1.1.00", {2000, 1, 1}},
        {"31.12.99", {1999, 12, 31}},
        {"1.1.0026", {26, 1, 1}},
    };
    for (const auto& c : cases) {
        TDate date;
        EXPECT_TRUE(TryStrToDate(c.Text, date)) << c.Text;
        EXPECT_EQ(date, c.Expected) << c.Text;
    }
}

TEST_F(GermanTest, DatesThatDoNotExistAreRejected)
{
    const char* const cases[] = {
        "31.02.2026",
        "29.02.2026",
        "29.02.1900",
        "1.13.2026",
        "0.12.2026",
        "08.00.2026",
        "08.12.0000",
        "08.12.02026",
        "08.12.2026x",
        "08.12.2026.",
        "08.12.2026 14:00",
        "x08.12.2026",
        "-8.12.2026",
        "08.12",
        "0812.2026",
        "",
        "abc",
    };
    for (const char* text : cases) {
        TDate date;
        EXPECT_FALSE(TryStrToDate(text, date)) << text;
    }
    EXPECT_EQ(MessageOf<EConvertError>([&] { StrToDate("31.02.2026"); }), "'31.02.2026' is not a valid date");
}

TEST_F(EnglishTest, DatesReadInMonthDayYearOrder)
{
    TDate date;
    EXPECT_TRUE(TryStrToDate("12/08/2026", date));
    EXPECT_EQ(date, (TDate{2026, 12, 8}));
    EXPECT_FALSE(TryStrToDate("13/08/2026", date));
}

TEST_F(GermanTest, TimesOfDay)
{
    const struct {
        const char* Text;
        int32_t Expected;
    } cases[] = {
        {"01:02:05", 3725},
        {"1:2", 3720},
        {"00:00", 0},
        {"23:59:59", 86399},
        {" 14:03:22 ", 50602},
        {"2:03 PM", 50580},
        {"2:03pm", 50580},
        {"PM 2:03", 50580},
        {"12:00 AM", 0},
        {"12:00 pm", 43200},
        {"24:00:00", -1},
        {"12:60", -1},
        {"12:00:60", -1},
        {"13:00 PM", -1},
        {"0:30 AM", -1},
        {"12.00", -1},
        {"12", -1},
        {"12:", -1},
        {"12:00:", -1},
        {"12:00:00:00", -1},
        {"abc", -1},
        {"", -1},
        {"99999999999:00", -1},
        {"-1:00", -1},
    };
    for (const auto& c : cases) {
        int32_t seconds = -1;
        EXPECT_EQ(TryStrToTime(c.Text, seconds), c.Expected >= 0) << c.Text;
        if (c.Expected >= 0) {
            EXPECT_EQ(seconds, c.Expected) << c.Text;
        }
    }
}

TEST_F(EnglishTest, FormattedTimesAndDatesReadBack)
{
    for (int32_t seconds : {0, 59, 3725, 43199, 43200, 50602, 86399}) {
        int32_t back = -1;
        EXPECT_TRUE(TryStrToTime(FormatTimeOfDay(seconds), back)) << FormatTimeOfDay(seconds).toStdString();
        EXPECT_EQ(back, seconds);
    }
    TDate date;
    EXPECT_TRUE(TryStrToDate(FormatShortDate(Afternoon), date));
    EXPECT_EQ(date, (TDate{2026, 12, 8}));
}

} // namespace
