#include "base/IniScan.h"
#include "base/AsciiCase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(IniScan, LinesAreClassifiedAsTheProfileFunctionsReadThem)
{
    const struct {
        const char* Raw;
        TIniLineKind Kind;
        const char* Name;
        const char* Value;
    } cases[] = {
        {"[Demo Modem]", TIniLineKind::ilSection, "Demo Modem", ""},
        {" \t[ ISP [fast] ]x] junk", TIniLineKind::ilSection, "ISP [fast] ]x", ""},
        {"[]", TIniLineKind::ilSection, "", ""},
        {"[open", TIniLineKind::ilOther, "", ""},
        {"  Device = \"Modem\" \t\r", TIniLineKind::ilKey, "Device", "\"Modem\""},
        {"PhoneNumber=", TIniLineKind::ilKey, "PhoneNumber", ""},
        {"=value", TIniLineKind::ilKey, "", "value"},
        {"a=b=c", TIniLineKind::ilKey, "a", "b=c"},
        {"; Speed=1", TIniLineKind::ilOther, "", ""},
        {"# Speed=1", TIniLineKind::ilKey, "# Speed", "1"},
        {"junk", TIniLineKind::ilOther, "", ""},
        {"   ", TIniLineKind::ilOther, "", ""},
    };
    for (const auto& c : cases) {
        const TIniLine line = ScanIniLine(c.Raw);
        EXPECT_EQ(line.Kind, c.Kind) << c.Raw;
        EXPECT_EQ(line.Name, c.Name) << c.Raw;
        EXPECT_EQ(line.Value, c.Value) << c.Raw;
        EXPECT_EQ(line.Raw, c.Raw) << c.Raw;
    }
}

TEST(IniScan, ScannerCountsLinesAndDropsTheirBreaks)
{
    TIniScanner scanner("[a]\r\nKey=1\n\r\nlast");
    std::vector<std::string> raws;
    std::vector<size_t> numbers;
    while (const std::optional<TIniLine> line = scanner.Next()) {
        raws.emplace_back(line->Raw);
        numbers.push_back(scanner.LineNo());
    }
    EXPECT_EQ(raws, (std::vector<std::string>{"[a]", "Key=1", "", "last"}));
    EXPECT_EQ(numbers, (std::vector<size_t>{1, 2, 3, 4}));
    EXPECT_FALSE(TIniScanner("").Next());
}

TEST(IniScan, ValuesLoseBlanksAndOnePairOfMatchingQuotes)
{
    const struct {
        const char* Value;
        const char* Read;
    } cases[] = {
        {"\"quoted\"", "quoted"},
        {"'single'", "single"},
        {"\"\"x\"\"", "\"x\""},
        {"\"mixed'", "\"mixed'"},
        {"\"", "\""},
        {"plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnquoteIniValue(c.Value), c.Read) << c.Value;
    EXPECT_EQ(TrimIniBlanks(" \t a b \t\r\r"), "a b");
    EXPECT_EQ(TrimIniBlanks("\ra"), "\ra") << "a CR only goes at the end";
}

TEST(AsciiCase, OnlyAsciiLettersCompareWithoutCase)
{
    EXPECT_TRUE(SameIgnoringAsciiCase("PhoneNumber", "PHONEnumber"));
    EXPECT_TRUE(SameIgnoringAsciiCase("", ""));
    EXPECT_FALSE(SameIgnoringAsciiCase("Speed", "Speed "));
    EXPECT_FALSE(SameIgnoringAsciiCase("\xC4", "\xE4")) << "Windows-1252 letters keep their case";
    EXPECT_FALSE(SameIgnoringAsciiCase("@", "`")) << "neighbours of the letters are not letters";
}

} // namespace
