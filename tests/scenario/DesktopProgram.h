#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

// The built program as a desktop runs it, under a real X server, with a dial-up service of its
// own: its program folder is a copy of the build's, since the program keeps its files beside
// itself. Time is real here; every wait has a bound.
class DesktopProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* file : {"zeltix", "librasapi32.so"})
            std::filesystem::copy_file(TFakeDialUpService::BinaryDir() + "/" + file, ProgramFolder.File(file));
        ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n");
        ASSERT_EQ(
            Rasdial({"--add", "Provider", "--type", "modem", "--device", "Modem", "--speed", "56000"}).ExitCode, 0);
    }

    std::vector<std::string> Environment() const
    {
        // Under the sanitizers, the X11 keyboard library reads past a string's end with the strict
        // string checks on (a finding in the system's library), and a process that the display
        // takes down keeps what it held.
        std::vector<std::string> environment{"ZELTIX_RAS_DIR=" + RasFolder.Path(), "XDG_RUNTIME_DIR=" + Runtime.Path(),
            "LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8", "ASAN_OPTIONS=strict_string_checks=0:detect_leaks=0"};
        if (WaylandDisplay.empty()) {
            environment.insert(environment.end(), {"DISPLAY=" + Display, "QT_QPA_PLATFORM=xcb"});
        } else {
            environment.insert(environment.end(), {"WAYLAND_DISPLAY=" + WaylandDisplay, "QT_QPA_PLATFORM=wayland"});
        }
        // The session bus is the test's own, or none.
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + BusAddress);
        return environment;
    }

    // A session bus of the test's own, where the desktop keeps its bus.
    void StartBus()
    {
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon is not installed";
        Bus = std::make_unique<TBackgroundChild>("/usr/bin/dbus-daemon",
            std::vector<std::string>{
                "--session", "--nofork", "--nopidfile", "--address=unix:path=" + Runtime.File("bus")},
            std::vector<std::string>{}, Output.File("bus.txt"));
        ASSERT_TRUE(WaitUntil(10000, [this] { return std::filesystem::exists(Runtime.File("bus")); }))
            << Output.Read("bus.txt");
        BusAddress = "unix:path=" + Runtime.File("bus");
    }

    // A panel with a StatusNotifierItem host on that bus (tests/scenario/sni_panel.py); its log
    // tells what it saw.
    void StartPanel(const std::string& log)
    {
        if (::access("/usr/bin/python3", X_OK) != 0 ||
            RunChild("/usr/bin/python3", {"-c", "import dbus, gi"}).ExitCode != 0)
            GTEST_SKIP() << "python3-dbus is not installed";
        Panel = std::make_unique<TBackgroundChild>("/usr/bin/python3",
            std::vector<std::string>{std::string(ZELTIX_TEST_SOURCE_DIR) + "/sni_panel.py", Output.File(log)},
            std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + BusAddress}, Output.File("panel-out.txt"));
        ASSERT_TRUE(WaitUntil(10000, [&] { return PanelSaw(log, "ready"); })) << Output.Read("panel-out.txt");
    }

    bool PanelSaw(const std::string& log, const std::string& line) const
    {
        return Output.Exists(log) && Output.Read(log).find(line) != std::string::npos;
    }

    // A call to the item or its menu, as a host makes it.
    TChildResult CallOnBus(const std::string& destination, const std::vector<std::string>& call) const
    {
        std::vector<std::string> args{
            "--bus=" + BusAddress, "--print-reply", "--reply-timeout=5000", "--dest=" + destination};
        args.insert(args.end(), call.begin(), call.end());
        return RunChild("/usr/bin/dbus-send", args);
    }

    TChildResult Rasdial(const std::vector<std::string>& args) const
    {
        return RunChild(TFakeDialUpService::BinaryDir() + "/rasdial", args, {"ZELTIX_RAS_DIR=" + RasFolder.Path()});
    }

    // Xvfb on a display number it picks itself and reports once it takes connections.
    void StartServer()
    {
        if (::access("/usr/bin/Xvfb", X_OK) != 0)
            GTEST_SKIP() << "Xvfb is not installed";
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        Server = std::make_unique<TBackgroundChild>("/usr/bin/Xvfb",
            std::vector<std::string>{
                "-displayfd", std::to_string(ready[1]), "-screen", "0", "800x600x24", "-nolisten", "tcp"},
            std::vector<std::string>{}, Output.File("xvfb.txt"));
        ::close(ready[1]);
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 10000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        Display = ":" + number;
    }

    // Weston without a screen, as a Wayland desktop; it takes connections once its socket is there.
    void StartCompositor()
    {
        if (::access("/usr/bin/weston", X_OK) != 0 || !std::filesystem::exists(WaylandPlugin))
            GTEST_SKIP() << "weston or the toolkit's Wayland plugin is not installed";
        WaylandDisplay = "zeltix-test";
        Server = std::make_unique<TBackgroundChild>("/usr/bin/weston",
            std::vector<std::string>{"--backend=headless-backend.so", "--socket=" + WaylandDisplay},
            std::vector<std::string>{"XDG_RUNTIME_DIR=" + Runtime.Path()}, Output.File("weston.txt"));
        ASSERT_TRUE(WaitUntil(20000, [this] { return std::filesystem::exists(Runtime.File(WaylandDisplay)); }))
            << Output.Read("weston.txt");
    }

    // The program running with a session of one connection, as its files show it.
    void StartProgramWithASession()
    {
        Program = std::make_unique<TBackgroundChild>(
            ProgramFolder.File("zeltix"), std::vector<std::string>{}, Environment(), Output.File("zeltix.txt"));
        ASSERT_EQ(Rasdial({"Provider", "--connect-after", "0", "--linger", "600"}).ExitCode, 0);
        ASSERT_TRUE(WaitUntil(20000, [this] {
            return ProgramFolder.Exists("Protokol.txt") &&
                ProgramFolder.Read("Protokol.txt").find("IP Address: ") != std::string::npos;
        })) << ProgramOutput();
        EXPECT_TRUE(ProgramFolder.Exists("connhistory.dat"));
        // conns.ini and settings.ini are written only when the program ends or is asked to save.
        EXPECT_FALSE(ProgramFolder.Exists("settings.ini"));
    }

    std::string ProgramOutput() const { return Output.Exists("zeltix.txt") ? Output.Read("zeltix.txt") : ""; }

    void ExpectFilesWritten() const
    {
        EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n") << ProgramOutput();
        EXPECT_EQ(ProgramFolder.Read("conns.ini"), "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n");
        EXPECT_NE(
            ProgramFolder.Read("Protokol.txt").find("] Verbindung zu Provider aufgenommen!\r\n"), std::string::npos);
        EXPECT_FALSE(ProgramFolder.Exists("error.log")) << ProgramFolder.Read("error.log");
    }

    static constexpr const char* WaylandPlugin =
        "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so";
    TTempDir ProgramFolder, RasFolder, Runtime, Output;
    std::string Display, WaylandDisplay, BusAddress;
    std::unique_ptr<TBackgroundChild> Server, Bus, Panel, Program;
};
