#include "desktop/BURunOnStartup.h"

#include "platform/Registry.h"
#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const QString ExePath = "/opt/zeltix/bin/zeltix";

class RunOnStartupTest : public ::testing::Test {
protected:
    void SetUp() override { Seams->RegistryConfigHome = Config.Path(); }

    // Puts a value straight into a key, as another program would have.
    static void Put(const char* path, const char* name, const std::string& data)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key), LONG{ERROR_SUCCESS});
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                      static_cast<DWORD>(data.size() + 1)),
            LONG{ERROR_SUCCESS});
        RegCloseKey(key);
    }

    // The value's data, or "<missing>".
    static std::string Read(const char* path, const char* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<no key>";
        char buffer[256];
        DWORD size = sizeof(buffer);
        const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? std::string(buffer, size) : "<missing>";
    }

    std::string DesktopFile() const { return Config.File("autostart/Zeltix.desktop"); }

    TPlatformSeamScope Seams;
    TTempDir Config;
    TBURunOnStartup BURunOnStartup1{nullptr};
};

TEST_F(RunOnStartupTest, TickingWritesTheRunEntryWithTheExecutableAndRemovesARunOnceEntry)
{
    Put(RunOnceKeyPath, "Zeltix", "/old/zeltix");
    Put(RunKeyPath, "Zeltix", "/old/place/zeltix");
    BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, true);

    EXPECT_EQ(Read(RunKeyPath, "Zeltix"), ExePath.toStdString() + '\0') << "the string with its zero byte";
    EXPECT_NE(Config.Read("autostart/Zeltix.desktop").find("\nExec=/opt/zeltix/bin/zeltix\n"), std::string::npos);
    EXPECT_EQ(Read(RunOnceKeyPath, "Zeltix"), "<missing>");
    EXPECT_TRUE(BURunOnStartup1.GetRun("Zeltix"));
    EXPECT_FALSE(BURunOnStartup1.GetRunOnce("Zeltix"));
}

TEST_F(RunOnStartupTest, UntickingRemovesBothAndSaysNothingWhenThereIsNone)
{
    Put(RunOnceKeyPath, "Zeltix", "/usr/bin/zeltix");
    BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, true);
    BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, false);
    EXPECT_FALSE(std::filesystem::exists(DesktopFile()));
    EXPECT_EQ(Read(RunOnceKeyPath, "Zeltix"), "<missing>");
    EXPECT_FALSE(BURunOnStartup1.GetRun("Zeltix"));

    TTempDir empty;
    Seams->RegistryConfigHome = empty.Path();
    EXPECT_NO_THROW(BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, false));
    EXPECT_TRUE(std::filesystem::is_empty(empty.Path())) << "nothing was written";
}

TEST_F(RunOnStartupTest, TheRunOnceFlagWritesTheRunOnceEntry)
{
    BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, true, false);
    EXPECT_EQ(Read(RunOnceKeyPath, "Zeltix"), ExePath.toStdString() + '\0');
    EXPECT_TRUE(BURunOnStartup1.GetRunOnce("Zeltix"));
    EXPECT_FALSE(BURunOnStartup1.GetRun("Zeltix"));
}

TEST_F(RunOnStartupTest, AnyRunEntryOfThatNameCountsWhateverItRuns)
{
    std::filesystem::create_directories(Config.File("autostart"));
    Config.Write("autostart/zeltix.desktop", "[Desktop Entry]\nType=Application\nExec=/somewhere/else --tray\n");
    EXPECT_TRUE(BURunOnStartup1.GetRun("Zeltix"));
    Config.Write("autostart/zeltix.desktop", "[Desktop Entry]\nType=Application\n");
    EXPECT_TRUE(BURunOnStartup1.GetRun("Zeltix")) << "even without a command line";
    EXPECT_FALSE(BURunOnStartup1.GetRun("Other"));
}

TEST_F(RunOnStartupTest, AKeyThatCannotBeOpenedWithFullAccessReadsAsNoEntryAndRefusesTheWrite)
{
    BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, true);
    const std::string before = Config.Read("autostart/Zeltix.desktop");
    Seams->RegistryFoldersReadOnly = true;
    EXPECT_FALSE(BURunOnStartup1.GetRun("Zeltix")) << "the entry exists, but the key cannot be opened";
    try {
        BURunOnStartup1.SetRunOnStartup("Zeltix", "/new/zeltix", false, true);
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for 'Zeltix'");
        EXPECT_STREQ(e.ClassName(), "ERegistryException");
    }
    EXPECT_NO_THROW(BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, false)) << "a delete finds nothing";
    EXPECT_EQ(Config.Read("autostart/Zeltix.desktop"), before);
}

TEST_F(RunOnStartupTest, TheRunOnceStepComesFirstAndAFailedRunStepStopsTheCall)
{
    // The autostart folder cannot be made: a plain file is in its place.
    Config.Write("autostart", "not a folder");
    EXPECT_EQ(MessageOf<ERegistryException>([&] { BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, true, true); }),
        "Failed to set data for 'Zeltix'");
    EXPECT_EQ(Read(RunOnceKeyPath, "Zeltix"), ExePath.toStdString() + '\0');
}

TEST_F(RunOnStartupTest, AProgramFolderOutsideTheAnsiCodePageIsCarriedAsItIs)
{
    const QString path = QString::fromUtf8("/home/anna/Программы/zeltix");
    BURunOnStartup1.SetRunOnStartup("Zeltix", path, false, true);
    EXPECT_TRUE(BURunOnStartup1.GetRun("Zeltix"));
    std::ifstream file(DesktopFile());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nExec=/home/anna/Программы/zeltix\n"), std::string::npos) << text;
}

TEST_F(RunOnStartupTest, AnEntryTheDesktopDoesNotStartShowsUntickedAndTickingSwitchesItOn)
{
    const std::vector<std::string> switchedOff = {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"};
    for (const std::string& line : switchedOff) {
        std::filesystem::create_directories(Config.Path() + "/autostart");
        std::ofstream(DesktopFile()) << "[Desktop Entry]\nType=Application\nName=Zeltix\nExec=" << ExePath.toStdString()
                                     << "\n"
                                     << line;
        EXPECT_FALSE(BURunOnStartup1.GetRun("Zeltix")) << line;
        BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, false);
        EXPECT_TRUE(std::filesystem::exists(DesktopFile())) << "unticking leaves the user's own switch as it is";
        BURunOnStartup1.SetRunOnStartup("Zeltix", ExePath, false, true);
        EXPECT_TRUE(BURunOnStartup1.GetRun("Zeltix")) << line;
    }
}

} // namespace
