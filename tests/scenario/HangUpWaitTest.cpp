#include "tests/support/ChildProcess.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The built program hangs up a connection of an entry the user has blocked, and the service
// keeps the line for ten minutes before it forgets the handle. A logout (SIGTERM) or "Beenden"
// meanwhile closes the program as at any other time: the wait for the line does not keep it.
// Time is real here; every wait has a bound far below the ten minutes.
TEST(HangUpWaitTest, SigTermDuringTheWaitClosesTheProgram)
{
    TTempDir programFolder, rasFolder, runtime, output;
    for (const char* file : {"zeltix", "librasapi32.so"})
        fs::copy_file(TFakeDialUpService::BinaryDir() + "/" + file, programFolder.File(file));
    programFolder.Write("conns.ini", "[Modem A]\r\nKosten=2,00\r\nChecked=0\r\n");
    const auto rasdial = [&rasFolder](const std::vector<std::string>& args) {
        return RunChild(TFakeDialUpService::BinaryDir() + "/rasdial", args, {"ZELTIX_RAS_DIR=" + rasFolder.Path()});
    };
    ASSERT_EQ(rasdial({"--add", "Modem A"}).ExitCode, 0);

    TBackgroundChild program(programFolder.File("zeltix"), {},
        {"ZELTIX_RAS_DIR=" + rasFolder.Path(), "XDG_RUNTIME_DIR=" + runtime.Path(), "QT_QPA_PLATFORM=offscreen",
            "DBUS_SESSION_BUS_ADDRESS=", "LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8", "ASAN_OPTIONS=detect_leaks=0"},
        output.File("zeltix.txt"));
    const auto programOutput = [&output] { return output.Exists("zeltix.txt") ? output.Read("zeltix.txt") : ""; };
    ASSERT_EQ(rasdial({"Modem A", "--connect-after", "0", "--linger", "600"}).ExitCode, 0);
    // Hung up by the program, still listed by the service: the program is waiting for the line.
    ASSERT_TRUE(WaitUntil(20000, [&] { return rasdial({}).Out.find("RASCS_Disconnected") != std::string::npos; }))
        << programOutput();

    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitForExit(20000), 0) << programOutput();
    EXPECT_NE(rasdial({}).Out.find("RASCS_Disconnected"), std::string::npos) << "the line was still being freed";
    // Closed as "Beenden" closes: the files the program writes at its end are there.
    EXPECT_EQ(programFolder.Read("conns.ini"), "[Modem A]\r\nKosten=2,00\r\nChecked=0\r\n");
    EXPECT_TRUE(programFolder.Exists("settings.ini"));
    EXPECT_FALSE(programFolder.Exists("error.log")) << programFolder.Read("error.log");
}

} // namespace
