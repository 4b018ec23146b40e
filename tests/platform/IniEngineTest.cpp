#include "platform/IniFile.h"
#include "platform/Profile.h"

#include "base/AtomicFile.h"
#include "base/Seams.h"
#include "tests/support/Raised.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace {

std::string Get(const std::string& file, const char* section, const char* key, const char* def = "dflt")
{
    char buffer[256];
    DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

TEST(IniEngineTest, MissingFileSectionOrKeyGivesTheDefault)
{
    TTempDir dir;
    std::string file = dir.File("settings.ini");
    EXPECT_EQ(Get(file, "Main", "Limit"), "dflt");
    EXPECT_EQ(Get(file, "Main", "Limit", "0,00   "), "0,00") << "trailing blanks of the default go";
    EXPECT_EQ(Get(file, "Main", "Limit", nullptr), "");
    EXPECT_EQ(GetPrivateProfileIntA("Main", "Limit", 7, file.c_str()), 7u);
    EXPECT_FALSE(dir.Exists("settings.ini")) << "reading never creates the file";

    dir.Write("settings.ini", "[Main]\r\nAutoClear=1\r\n");
    EXPECT_EQ(Get(file, "Other", "AutoClear"), "dflt");
    EXPECT_EQ(Get(file, "Main", "Limit"), "dflt");
}

TEST(IniEngineTest, NamesIgnoreCaseValuesAreTrimmedAndUnquoted)
{
    TTempDir dir;
    dir.Write("a.ini", "; comment\n[ Main ]\n  LIMIT =  2550  \nName=\"  quoted \"\nEmpty=\n");
    std::string file = dir.File("a.ini");
    EXPECT_EQ(Get(file, "main", "limit"), "2550");
    EXPECT_EQ(Get(file, "MAIN", "Name"), "  quoted ");
    EXPECT_EQ(Get(file, "Main", "Empty"), "");
    EXPECT_EQ(GetPrivateProfileIntA("Main", "Limit", 0, file.c_str()), 2550u);
    EXPECT_EQ(GetPrivateProfileIntA("Main", "Name", 5, file.c_str()), 0u) << "no leading digits reads 0";
}

TEST(IniEngineTest, SectionBytesOfTheAnsiCodePageRoundTrip)
{
    TTempDir dir;
    std::string file = dir.File("conns.ini");
    // "ISP [fast]" is kept under a section whose brackets became the bytes 0xFF and 0xFE.
    const std::string section = "ISP \xFF"
                                "fast\xFE";
    ASSERT_TRUE(WritePrivateProfileStringA(section.c_str(), "Checked", "0", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA(section.c_str(), "Kosten", "4,50", file.c_str()));
    EXPECT_EQ(dir.Read("conns.ini"),
        "[ISP \xFF"
        "fast\xFE]\r\nChecked=0\r\nKosten=4,50\r\n");
    EXPECT_EQ(Get(file, section.c_str(), "Kosten"), "4,50");
    EXPECT_EQ(Get(file,
                  "ISP \xDF"
                  "fast\xDE",
                  "Kosten"),
        "dflt")
        << "only ASCII letters fold their case";
}

TEST(IniEngineTest, WritesKeepEverythingElseInPlace)
{
    TTempDir dir;
    dir.Write("a.ini", "; keep me\r\n[One]\r\nA=1\r\n\r\n[Two]\r\nB=2\r\n");
    std::string file = dir.File("a.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("one", "a", "10", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("One", "C", "3", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Three", "D", "4", file.c_str()));
    EXPECT_EQ(dir.Read("a.ini"), "; keep me\r\n[One]\r\nA=10\r\nC=3\r\n\r\n[Two]\r\nB=2\r\n\r\n[Three]\r\nD=4\r\n");

    ASSERT_TRUE(WritePrivateProfileStringA("One", "A", nullptr, file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Two", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(dir.Read("a.ini"), "; keep me\r\n[One]\r\nC=3\r\n\r\n[Three]\r\nD=4\r\n");
}

TEST(IniEngineTest, NameListsAreNulSeparatedAndCutToFit)
{
    TTempDir dir;
    dir.Write("a.ini", "[Alpha]\nx=1\ny=2\n[Beta]\n");
    std::string file = dir.File("a.ini");
    char buffer[64];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("Alpha\0Beta\0\0", 12));
    n = GetPrivateProfileStringA("alpha", nullptr, "", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("x\0y\0\0", 5));
    n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 5, file.c_str());
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buffer, 5), std::string("Alp\0\0", 5));
    n = GetPrivateProfileStringA("Alpha", "x", "", buffer, 1, file.c_str());
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buffer[0], '\0');
}

void CrashBeforeRename(const std::string&)
{
    throw std::runtime_error("power cut");
}

TEST(IniEngineTest, ACrashBetweenWriteAndRenameLeavesTheOldFile)
{
    TTempDir dir;
    dir.Write("settings.ini", "[Main]\r\nLimit=2500\r\n");
    {
        TSeamScope base{BaseSeams()};
        base->AtomicWriteHook = &CrashBeforeRename;
        EXPECT_THROW(
            WritePrivateProfileStringA("Main", "Limit", "0", dir.File("settings.ini").c_str()), std::runtime_error);
    }
    EXPECT_EQ(dir.Read("settings.ini"), "[Main]\r\nLimit=2500\r\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u) << "no temporary file is left behind";
}

TEST(IniEngineTest, UnwritableFileFailsAndIniFileSaysWhere)
{
    TTempDir dir;
    std::string file = dir.File("missing-folder/settings.ini");
    EXPECT_FALSE(WritePrivateProfileStringA("Main", "Limit", "1", file.c_str()));
    TIniFile ini(QString::fromStdString(file));
    EXPECT_EQ(MessageOf<EIniFileException>([&] { ini.WriteInteger("Main", "Limit", 1); }),
        "Unable to write to " + QString::fromStdString(file));
}

TEST(IniEngineTest, IniFileReadsNumbersAndFlagsWithTheirDefaults)
{
    TTempDir dir;
    dir.Write("settings.ini", "[Main]\nLimit=2550\nHex=0x10\nJunk=12abc\nAutoClear=0\nOdd=yes\n");
    TIniFile ini(QString::fromStdString(dir.File("settings.ini")));
    EXPECT_EQ(ini.ReadInteger("Main", "Limit", 0), 2550);
    EXPECT_EQ(ini.ReadInteger("Main", "Hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Main", "Junk", 7), 7) << "a value that is not a number gives the default";
    EXPECT_EQ(ini.ReadInteger("Main", "Missing", -3), -3);
    EXPECT_FALSE(ini.ReadBool("Main", "AutoClear", true));
    EXPECT_TRUE(ini.ReadBool("Main", "Odd", true));
    EXPECT_TRUE(ini.ReadBool("Main", "Missing", true));

    ini.WriteBool("Main", "AutoClear", true);
    ini.WriteString("Tarife", "Kosten", QString::fromUtf8("4,50 ä"));
    EXPECT_EQ(ini.ReadString("Tarife", "Kosten", "0,00"), QString::fromUtf8("4,50 ä"));
    EXPECT_NE(dir.Read("settings.ini").find("Kosten=4,50 \xE4\r\n"), std::string::npos)
        << "text is stored in the ANSI code page";
}

} // namespace

namespace {

// A file is parsed once while it stays as it was; any change by another hand is seen at the
// next read, however quickly it comes and whatever its size.
TEST(IniEngineTest, AFileIsReadAgainOnlyWhenItChanged)
{
    TTempDir dir;
    const std::string file = dir.File("conns.ini");
    dir.Write("conns.ini", "[A]\r\nKosten=1,00\r\n");
    EXPECT_EQ(Get(file, "A", "Kosten"), "1,00");
    // Same size, same second: another version all the same.
    dir.Write("conns.ini", "[A]\r\nKosten=2,00\r\n");
    EXPECT_EQ(Get(file, "A", "Kosten"), "2,00");
    // Replaced by a rename, as every save does.
    dir.Write("other.ini", "[A]\r\nKosten=3,00\r\n");
    std::filesystem::rename(dir.File("other.ini"), file);
    EXPECT_EQ(Get(file, "A", "Kosten"), "3,00");
    // The engine's own writes are seen by its reads and by the file.
    ASSERT_TRUE(WritePrivateProfileStringA("B", "Kosten", "4,00", file.c_str()));
    EXPECT_EQ(Get(file, "B", "Kosten"), "4,00");
    EXPECT_EQ(dir.Read("conns.ini"), "[A]\r\nKosten=3,00\r\n\r\n[B]\r\nKosten=4,00\r\n");
    std::filesystem::remove(file);
    EXPECT_EQ(Get(file, "A", "Kosten"), "dflt");
}

TEST(IniEngineTest, ManySectionsAreFoundAsTheFirstOfTheirNameWhateverTheirCase)
{
    TTempDir dir;
    const std::string file = dir.File("conns.ini");
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "[Entry " + std::to_string(i) + "]\r\nKosten=" + std::to_string(i) + "\r\n";
    text += "[entry 7]\r\nKosten=later\r\n";
    dir.Write("conns.ini", text);
    EXPECT_EQ(Get(file, "ENTRY 7", "kosten"), "7") << "the first section of a name counts";
    EXPECT_EQ(Get(file, "Entry 4999", "Kosten"), "4999");
    EXPECT_EQ(Get(file, "Entry 5000", "Kosten"), "dflt");
    // Sections added and removed move the lines after them; the sections are still found.
    ASSERT_TRUE(WritePrivateProfileStringA("Entry 3", "Checked", "0", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Entry 2", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(Get(file, "Entry 3", "Checked"), "0");
    EXPECT_EQ(Get(file, "Entry 2", "Kosten"), "dflt");
    EXPECT_EQ(Get(file, "Entry 4", "Kosten"), "4");
    EXPECT_EQ(Get(file, "entry 7", "Kosten"), "7");
}

} // namespace
