#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/Seams.h"
#include "app/ZeltixFrm.h"
#include "base/FormatSettings.h"
#include "platform/Library.h"
#include "platform/ProgramDir.h"
#include "platform/Seams.h"
#include "platform/Timer.h"
#include "tests/app/ApplicationScope.h"
#include "tests/scenario/ProgramEnvironment.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The whole program against a dial-up service of its own, driven by rasdial as a user would
// drive it from a terminal. The service keeps real time; the program's clock is the fake one,
// and its timers tick through the event loop as the fake seconds pass.
class SessionScenarioTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Environment.GermanFormats.Ok()); }

    TChildResult Rasdial(const std::vector<std::string>& args)
    {
        return RunChild(TFakeDialUpService::BinaryDir() + "/rasdial", args);
    }

    // One second of the running program: its timers tick through the event loop.
    void Second() { RunEventLoopFor(Clock, 1000); }

    TProgramEnvironment Environment;
    TTempDir& ProgramFolder = Environment.ProgramFolder;
    TFakeClock Clock;
};

TEST_F(SessionScenarioTest, DialConnectRunDisconnectClose)
{
    ASSERT_EQ(
        Rasdial({"--add", "Provider", "--type", "modem", "--device", "Standard 56000 bps Modem", "--speed", "56000"})
            .ExitCode,
        0);
    TForm1 form;
    Second();
    EXPECT_EQ(form.StatusText(), "");
    EXPECT_EQ(form.Label1->text(), "Offline");

    TChildResult dial = Rasdial({"Provider", "--connect-after", "0", "--linger", "600"});
    ASSERT_EQ(dial.ExitCode, 0) << dial.Err;
    Second();
    EXPECT_EQ(form.StatusText(), "Provider: Verbunden");
    EXPECT_EQ(form.Label1->text(), "Online");
    ASSERT_EQ(form.History->Count(), 1);
    EXPECT_EQ(form.History->Text(0, hcStarted), "08.12.2026 14:03:24");

    for (int i = 0; i < 65; ++i)
        Second();
    EXPECT_EQ(form.History->Text(0, hcDuration), "00:01:05");
    // The link statistics come from the same connection.
    EXPECT_EQ(form.Label4->text(), "Connectionspeed: 56000 bps");
    EXPECT_TRUE(form.Label3->text().startsWith("Empfangene Bytes: "));
    EXPECT_NE(form.Label3->text(), "Empfangene Bytes: 0");

    // A second rasdial sees the connection the program is timing.
    TChildResult list = Rasdial({});
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_NE(list.Out.find("Provider"), std::string::npos) << list.Out;

    ASSERT_EQ(Rasdial({"Provider", "/DISCONNECT", "--linger", "600"}).ExitCode, 0);
    Second();
    EXPECT_EQ(form.StatusText(), "Provider: Getrennt");
    EXPECT_EQ(form.Label1->text(), "Offline");
    EXPECT_FALSE(form.Timer1->Enabled());
    Second();
    EXPECT_EQ(form.History->Text(0, hcDuration), "00:01:05") << "the ended session's row stays as it was";

    form.close();
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
}

} // namespace
