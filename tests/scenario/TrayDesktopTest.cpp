#include "tests/scenario/DesktopProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <tuple>

namespace {

enum TDesktop { dkX11, dkWayland };

// The built program in the notification areas of today's desktops: a StatusNotifierItem host on
// a session bus of the test's own (tests/scenario/sni_panel.py) under X11 and under Wayland, and
// the XEmbed tray of trayer under X11.
class TrayDesktopTest : public DesktopProgramTest {
protected:
    void StartDesktop(TDesktop desktop)
    {
        if (desktop == dkWayland)
            StartCompositor();
        else
            StartServer();
    }

    void StartProgram()
    {
        Program = std::make_unique<TBackgroundChild>(
            ProgramFolder.File("zeltix"), std::vector<std::string>{}, Environment(), Output.File("zeltix.txt"));
    }

    // The bus name the program's item was registered under, as the panel saw it.
    std::string ItemName(const std::string& log) const
    {
        // The panel writes "item NAME /StatusNotifierItem".
        const std::string text = Output.Exists(log) ? Output.Read(log) : "";
        for (size_t at = text.find("item "); at != std::string::npos; at = text.find("item ", at + 1)) {
            const size_t name = at + 5;
            const size_t end = text.find_first_of(" \t\n", name);
            if (end != std::string::npos && end > name && text.compare(end, 20, " /StatusNotifierItem") == 0)
                return text.substr(name, end - name);
        }
        return "";
    }

    bool MenuExported(const std::string& log) const { return PanelSaw(log, "menu /MenuBar 1=Show 2=- 3=Close"); }

    // Whether the main window is on screen: X11 lets a test see every window; Wayland does not.
    bool WindowShown() const
    {
        return RunChild("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Zeltix$"}, {"DISPLAY=" + Display})
                   .ExitCode == 0;
    }

    TChildResult ClickMenuItem(const std::string& item, int id) const
    {
        return CallOnBus(item,
            {"/MenuBar", "com.canonical.dbusmenu.Event", "int32:" + std::to_string(id), "string:clicked",
                "variant:int32:0", "uint32:0"});
    }

    void ExpectClosedLikeBeenden()
    {
        EXPECT_EQ(Program->WaitForExit(20000), 0) << ProgramOutput();
        EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n") << ProgramOutput();
        EXPECT_FALSE(ProgramFolder.Exists("error.log"));
    }
};

// How the user brings the window up from the item: a left click (Activate) or "Show".
enum TShowBy { sbActivate, sbMenuShow };

class StatusNotifierTest : public TrayDesktopTest,
                           public ::testing::WithParamInterface<std::tuple<TDesktop, TShowBy>> { };

INSTANTIATE_TEST_SUITE_P(Desktops, StatusNotifierTest,
    ::testing::Combine(::testing::Values(dkX11, dkWayland), ::testing::Values(sbActivate, sbMenuShow)),
    [](const ::testing::TestParamInfo<std::tuple<TDesktop, TShowBy>>& info) {
        return std::string(std::get<0>(info.param) == dkX11 ? "X11" : "Wayland") +
            (std::get<1>(info.param) == sbActivate ? "Activate" : "MenuShow");
    });

TEST_P(StatusNotifierTest, TheHostShowsTheIconWithItsMenuAndTheMenuAndClickWork)
{
    const auto [desktop, showBy] = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartDesktop(desktop));
    ASSERT_NO_FATAL_FAILURE(StartBus());
    ASSERT_NO_FATAL_FAILURE(StartPanel("panel.txt"));
    if (IsSkipped())
        return;
    StartProgram();
    ASSERT_TRUE(WaitUntil(20000, [this] { return MenuExported("panel.txt"); }))
        << Output.Read("panel.txt") << ProgramOutput();
    EXPECT_TRUE(PanelSaw("panel.txt", "status Active"));
    EXPECT_TRUE(PanelSaw("panel.txt", "icon 16x16"));
    const std::string item = ItemName("panel.txt");
    if (desktop == dkX11) {
        EXPECT_FALSE(WindowShown()) << "the program starts in the notification area";
    }

    const TChildResult shown = showBy == sbActivate
        ? CallOnBus(item, {"/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate", "int32:0", "int32:0"})
        : ClickMenuItem(item, 1);
    EXPECT_EQ(shown.ExitCode, 0) << shown.Err;
    if (desktop == dkX11) {
        EXPECT_TRUE(WaitUntil(10000, [this] { return WindowShown(); }));
    }

    const TChildResult close = ClickMenuItem(item, 3);
    EXPECT_EQ(close.ExitCode, 0) << close.Err;
    ExpectClosedLikeBeenden();
    EXPECT_TRUE(WaitUntil(10000, [this, &item] { return PanelSaw("panel.txt", "gone " + item); }));
}

class StatusNotifierHostTest : public TrayDesktopTest, public ::testing::WithParamInterface<TDesktop> { };

INSTANTIATE_TEST_SUITE_P(Desktops, StatusNotifierHostTest, ::testing::Values(dkX11, dkWayland),
    [](const ::testing::TestParamInfo<TDesktop>& info) {
        return std::string(info.param == dkX11 ? "X11" : "Wayland");
    });

TEST_P(StatusNotifierHostTest, AHostThatComesLateOrRestartsGetsTheIconAndTheWindowComesBack)
{
    ASSERT_NO_FATAL_FAILURE(StartDesktop(GetParam()));
    ASSERT_NO_FATAL_FAILURE(StartBus());
    if (IsSkipped())
        return;
    // The program starts before the panel, as an autostart does.
    StartProgram();
    ASSERT_TRUE(WaitUntil(10000, [this] {
        return CallOnBus("org.freedesktop.DBus", {"/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"})
                   .Out.find(":1.1\"") != std::string::npos;
    })) << "the program is on the bus";
    ASSERT_NO_FATAL_FAILURE(StartPanel("panel1.txt"));
    EXPECT_TRUE(WaitUntil(20000, [this] { return MenuExported("panel1.txt"); })) << Output.Read("panel1.txt");

    // The panel restarts, twice: each new one gets the icon, and the window is shown.
    for (const char* log : {"panel2.txt", "panel3.txt"}) {
        Panel->Signal(SIGTERM);
        EXPECT_EQ(Panel->WaitForExit(10000), 128 + SIGTERM);
        ASSERT_NO_FATAL_FAILURE(StartPanel(log));
        EXPECT_TRUE(WaitUntil(20000, [this, log] { return MenuExported(log); })) << log << Output.Read(log);
        if (GetParam() == dkX11) {
            EXPECT_TRUE(WaitUntil(10000, [this] { return WindowShown(); })) << log;
        }
    }
    Program->Signal(SIGTERM);
    ExpectClosedLikeBeenden();
}

TEST_P(StatusNotifierHostTest, AStalledHostHoldsNothingUpAndABlockedConnectionIsStillHungUp)
{
    ASSERT_NO_FATAL_FAILURE(StartDesktop(GetParam()));
    ASSERT_NO_FATAL_FAILURE(StartBus());
    ASSERT_NO_FATAL_FAILURE(StartPanel("panel.txt"));
    if (IsSkipped())
        return;
    ProgramFolder.Write(
        "conns.ini", "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n[Gesperrt]\r\nKosten=1,00\r\nChecked=0\r\n");
    ASSERT_EQ(Rasdial({"--add", "Gesperrt", "--type", "modem", "--device", "Modem", "--speed", "56000"}).ExitCode, 0);
    // The panel hangs before the program asks it anything; nobody answers its questions.
    Panel->Signal(SIGSTOP);
    StartProgram();
    ASSERT_EQ(Rasdial({"Gesperrt", "--connect-after", "0"}).ExitCode, 0);
    // Far below the bus's own time limit of 25 s, which a waiting call would take.
    EXPECT_TRUE(WaitUntil(
        10000, [this] { return Rasdial({}).Out.find("Gesperrt 0x00010001 RASCS_Connected") == std::string::npos; }))
        << Rasdial({}).Out << ProgramOutput();
    Program->Signal(SIGTERM);
    EXPECT_EQ(Program->WaitForExit(10000), 0) << "the session's end is not held up either";
    Panel->Signal(SIGCONT);
}

// The XEmbed tray of X11 restarting while the window is hidden: each new tray gets the icon back
// and shows the window, however short the gap.
TEST_F(TrayDesktopTest, ARestartedXEmbedTrayGetsTheIconBackAndShowsTheWindowEveryTime)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    // A session bus without a panel on it: the XEmbed tray is the only notification area.
    ASSERT_NO_FATAL_FAILURE(StartBus());
    if (IsSkipped())
        return;
    if (::access("/usr/bin/trayer", X_OK) != 0)
        GTEST_SKIP() << "trayer is not installed";
    auto startTray = [this](const std::string& log) {
        return std::make_unique<TBackgroundChild>("/usr/bin/trayer",
            std::vector<std::string>{"--edge", "top", "--align", "left", "--widthtype", "pixel", "--width", "100",
                "--height", "24", "--SetDockType", "true"},
            std::vector<std::string>{"DISPLAY=" + Display}, Output.File(log));
    };
    // "In die Tray minimieren" from the keyboard.
    auto hideIntoTray = [this] {
        std::string window =
            RunChild("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Zeltix$"}, {"DISPLAY=" + Display}).Out;
        window = window.substr(0, window.find('\n'));
        RunChild("/usr/bin/xdotool", {"windowfocus", "--sync", window}, {"DISPLAY=" + Display});
        RunChild("/usr/bin/xdotool", {"key", "ctrl+m"}, {"DISPLAY=" + Display});
        return WaitUntil(10000, [this] { return !WindowShown(); });
    };
    // The icon is a window of the program inside the panel, at its full size.
    auto iconDocked = [this] {
        return RunChild("/usr/bin/xwininfo", {"-root", "-tree"}, {"DISPLAY=" + Display})
                   .Out.find("(\"zeltix\" \"Zeltix\")  22x22+") != std::string::npos;
    };
    std::unique_ptr<TBackgroundChild> tray = startTray("tray1.txt");
    ASSERT_TRUE(WaitUntil(10000, [this] {
        return RunChild("/usr/bin/xdotool", {"search", "--class", "trayer"}, {"DISPLAY=" + Display}).ExitCode == 0;
    }));
    StartProgram();
    ASSERT_TRUE(WaitUntil(20000, [this] {
        return RunChild("/usr/bin/xdotool", {"search", "--name", "^Zeltix$"}, {"DISPLAY=" + Display}).ExitCode == 0;
    })) << ProgramOutput();
    EXPECT_FALSE(WindowShown()) << "the program starts in the tray";

    for (const char* log : {"tray2.txt", "tray3.txt"}) {
        tray->Signal(SIGTERM);
        tray->WaitForExit(10000);
        tray = startTray(log);
        EXPECT_TRUE(WaitUntil(10000, [this] { return WindowShown(); })) << log << ProgramOutput();
        EXPECT_TRUE(WaitUntil(10000, iconDocked)) << log;
        EXPECT_TRUE(hideIntoTray()) << log;
        EXPECT_TRUE(iconDocked()) << "the icon is no window of the family";
    }

    // A right click on the icon opens the menu once, at the icon; its last item is "Close".
    RunChild("/usr/bin/xdotool", {"mousemove", "12", "12", "click", "3"}, {"DISPLAY=" + Display});
    std::string menu;
    ASSERT_TRUE(WaitUntil(10000, [&] {
        const std::string windows =
            RunChild("/usr/bin/xdotool", {"search", "--onlyvisible", "--class", "zeltix"}, {"DISPLAY=" + Display}).Out;
        for (size_t at = 0, end; (end = windows.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string geometry = RunChild("/usr/bin/xdotool",
                {"getwindowgeometry", "--shell", windows.substr(at, end - at)}, {"DISPLAY=" + Display})
                                             .Out;
            if (geometry.find("HEIGHT=22\n") == std::string::npos)
                menu = geometry;
        }
        return !menu.empty();
    }));
    auto value = [&menu](const std::string& key) {
        const size_t at = menu.find(key + "=");
        return std::stoi(menu.substr(at + key.size() + 1));
    };
    RunChild("/usr/bin/xdotool",
        {"mousemove", std::to_string(value("X") + value("WIDTH") / 2),
            std::to_string(value("Y") + value("HEIGHT") - 10), "click", "1"},
        {"DISPLAY=" + Display});
    ExpectClosedLikeBeenden();
}

} // namespace
