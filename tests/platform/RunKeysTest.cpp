#include "platform/RunKeys.h"
#include "platform/Registry.h"

#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class RunKeysTest : public ::testing::Test {
protected:
    void SetUp() override { Seams->RegistryConfigHome = Config.Path(); }

    static HKEY Open(const char* path, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), LONG{ERROR_SUCCESS}) << path;
        return key;
    }

    static LONG SetString(HKEY key, const char* name, const std::string& data)
    {
        return RegSetValueExA(
            key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
    }

    // The value's data, or "<missing>".
    static std::string Query(HKEY key, const char* name, DWORD* type = nullptr)
    {
        char buffer[512];
        DWORD size = sizeof(buffer);
        DWORD valueType = REG_NONE;
        if (RegQueryValueExA(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
            return "<missing>";
        if (type)
            *type = valueType;
        return std::string(buffer, size);
    }

    TPlatformSeamScope Seams;
    TTempDir Config;
};

TEST_F(RunKeysTest, ARunValueIsADesktopFileInTheAutostartFolder)
{
    HKEY key = Open(RunKeyPath);
    EXPECT_EQ(Query(key, "Zeltix"), "<missing>");
    ASSERT_EQ(SetString(key, "Zeltix", "/opt/zeltix/zeltix"), LONG{ERROR_SUCCESS});
    EXPECT_EQ(Config.Read("autostart/Zeltix.desktop"),
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Zeltix\n"
        "Exec=/opt/zeltix/zeltix\n"
        "Icon=zeltix\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n");
    DWORD type = REG_NONE;
    EXPECT_EQ(Query(key, "zeltix", &type), std::string("/opt/zeltix/zeltix\0", 19)) << "names ignore case";
    EXPECT_EQ(type, REG_SZ);

    // Writing again replaces the data in the same file.
    ASSERT_EQ(SetString(key, "ZELTIX", "/usr/bin/zeltix"), LONG{ERROR_SUCCESS});
    EXPECT_FALSE(Config.Exists("autostart/ZELTIX.desktop"));
    EXPECT_EQ(Query(key, "Zeltix"), std::string("/usr/bin/zeltix\0", 16));

    EXPECT_EQ(RegDeleteValueA(key, "Zeltix"), LONG{ERROR_SUCCESS});
    EXPECT_FALSE(Config.Exists("autostart/Zeltix.desktop"));
    EXPECT_EQ(RegDeleteValueA(key, "Zeltix"), LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(RegCloseKey(key), LONG{ERROR_SUCCESS});
}

TEST_F(RunKeysTest, EveryDesktopFileOfTheFolderThatTheDesktopStartsIsAValue)
{
    std::filesystem::create_directories(Config.File("autostart"));
    Config.Write("autostart/Backup Tool.desktop",
        "[Desktop Entry]\nType=Application\nExec=backup --quiet %U\n[Desktop Action x]\nExec=no\nHidden=true\n");
    Config.Write("autostart/notes.txt", "Exec=not a value\n");
    Config.Write("autostart/Hidden.desktop", "[Desktop Entry]\nExec=hidden\nHidden=true\n");
    Config.Write("autostart/Off.desktop", "[Desktop Entry]\nExec=off\nX-GNOME-Autostart-enabled = false\n");
    HKEY key = Open(RunKeyPath, KEY_READ);
    EXPECT_EQ(Query(key, "backup tool"), std::string("backup --quiet %U\0", 18));
    EXPECT_EQ(Query(key, "notes"), "<missing>");
    EXPECT_EQ(Query(key, "Hidden"), "<missing>") << "the desktop treats a hidden entry as deleted";
    EXPECT_EQ(Query(key, "Off"), "<missing>") << "switched off in the desktop's settings";
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                  nullptr, nullptr),
        LONG{ERROR_SUCCESS});
    EXPECT_EQ(values, 1u);
    RegCloseKey(key);
}

TEST_F(RunKeysTest, PathsWithBlanksAreQuotedForTheDesktopAndComeBackAsTheyWere)
{
    HKEY key = Open(RunKeyPath);
    ASSERT_EQ(SetString(key, "Zeltix", "/home/u/My Programs/zeltix"), LONG{ERROR_SUCCESS});
    const std::string file = Config.Read("autostart/Zeltix.desktop");
    EXPECT_NE(file.find("\nExec=\"/home/u/My Programs/zeltix\"\n"), std::string::npos) << file;
    EXPECT_EQ(Query(key, "Zeltix"), std::string("/home/u/My Programs/zeltix\0", 27));
    RegCloseKey(key);
}

TEST(ExecLineTest, CommandLinesAndExecLinesConvertBothWays)
{
    struct TCase {
        const char* CommandLine;
        const char* Exec;
    } cases[] = {
        {"/usr/bin/zeltix", "/usr/bin/zeltix"},
        {"/opt/a b/zeltix", "\"/opt/a b/zeltix\""},
        {"/opt/100%/zeltix", "/opt/100%%/zeltix"},
        {"/opt/$HOME/a\\b", "\"/opt/\\$HOME/a\\\\b\""},
        {"\"/opt/a b/x\" --flag", "\"/opt/a b/x\" --flag"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ExecFromCommandLine(c.CommandLine), c.Exec);
        EXPECT_EQ(CommandLineFromExec(c.Exec), c.CommandLine);
    }
}

TEST_F(RunKeysTest, TheRunOnceKeyIsKeptInTheRegistryFile)
{
    HKEY key = Open(RunOnceKeyPath);
    ASSERT_EQ(SetString(key, "Zeltix", "/usr/bin/zeltix"), LONG{ERROR_SUCCESS});
    EXPECT_EQ(Config.Read("zeltix-registry/HKEY_LOCAL_MACHINE.ini"),
        "[Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
        "Zeltix=hex(1):2f,75,73,72,2f,62,69,6e,2f,7a,65,6c,74,69,78,00\r\n");
    DWORD type = REG_NONE;
    EXPECT_EQ(Query(key, "ZELTIX", &type), std::string("/usr/bin/zeltix\0", 16));
    EXPECT_EQ(type, REG_SZ);
    const DWORD number = 0x01020304;
    ASSERT_EQ(
        RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), LONG{ERROR_SUCCESS});
    EXPECT_EQ(Query(key, "Count", &type), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(RegDeleteValueA(key, "zeltix"), LONG{ERROR_SUCCESS});
    EXPECT_EQ(RegDeleteValueA(key, "zeltix"), LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(Query(key, "Zeltix"), "<missing>");
    EXPECT_EQ(
        RegSetValueExA(key, "a=b", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), LONG{ERROR_INVALID_PARAMETER});
    RegCloseKey(key);
}

TEST_F(RunKeysTest, AFolderThatCannotBeWrittenRefusesFullAccessButCanBeRead)
{
    // As root, permissions stop nothing; a folder below a plain file can never be made.
    Config.Write("plain", "x");
    Seams->RegistryConfigHome = Config.File("plain") + "/config";
    for (const char* path : {RunKeyPath, RunOnceKeyPath}) {
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key), LONG{ERROR_ACCESS_DENIED});
        EXPECT_EQ(key, nullptr);
        key = Open(path, KEY_READ);
        EXPECT_EQ(Query(key, "Zeltix"), "<missing>");
        EXPECT_EQ(SetString(key, "Zeltix", "/usr/bin/zeltix"), LONG{ERROR_ACCESS_DENIED}) << "opened for reading";
        EXPECT_EQ(RegDeleteValueA(key, "Zeltix"), LONG{ERROR_ACCESS_DENIED});
        RegCloseKey(key);
    }
    EXPECT_FALSE(FolderWritable(Config.File("plain")));
    EXPECT_TRUE(FolderWritable(Config.File("new/deeper")));
}

TEST_F(RunKeysTest, OnlyStringsCanBeRunValues)
{
    HKEY key = Open(RunKeyPath);
    const DWORD number = 1;
    EXPECT_EQ(RegSetValueExA(key, "Zeltix", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        LONG{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(SetString(key, "a/b", "/x"), LONG{ERROR_INVALID_PARAMETER});
    RegCloseKey(key);
}

} // namespace
