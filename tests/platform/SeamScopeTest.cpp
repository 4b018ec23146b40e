#include "tests/support/PlatformSeamScope.h"

#include "platform/Kernel.h"
#include "platform/PerfStats.h"
#include "platform/Shell.h"
#include "platform/ShellNotify.h"
#include "platform/Winsock.h"
#include "ras/service/RasService.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

class TStillClock : public TClock {
public:
    DWORD TickCount() override { return 0; }
    TLocalTime LocalTime() override { return {2026, 12, 8, 0, 0, 0, 0}; }
};

// Every seam of the platform, changed the way a test changes it; the scope must undo them all.
void ChangeEverySeam(TPlatformSeams& seams)
{
    static TStillClock Clock;
    static const TPerfStatsTable Table;
    static TRasService Service("/nonexistent/zeltix-ras");
    seams.Clock = &Clock;
    seams.PlatformId = VER_PLATFORM_WIN32s;
    seams.ProgramDir = "/opt/zeltix";
    seams.LibrarySearchPath = {"/opt/zeltix/lib"};
    seams.RegistryConfigHome = "/opt/zeltix/config";
    seams.RegistryFoldersReadOnly = true;
    seams.DialUpService = &Service;
    seams.DialUpNow = [] { return int64_t{1}; };
    seams.PerfDataSource = [](std::string&) { return LONG{0}; };
    seams.PerfStats = &Table;
    seams.NotificationArea = false;
    seams.ShellExecuteRecorder = [](const TShellExecuteCall&) {};
    seams.CursorPos = POINT{1, 2};
    seams.TimersExhausted = true;
    seams.InstancePatienceMs = 0;
    seams.Sockets.LocalAddresses = std::vector<std::array<uint8_t, 4>>{};
    seams.Sockets.HostName = "zeltix-host";
    seams.Sockets.SocketHandle = Winsock::INVALID_SOCKET;
}

void ExpectTheMachinesOwn(const TPlatformSeams& seams)
{
    EXPECT_EQ(seams.Clock, nullptr);
    EXPECT_FALSE(seams.PlatformId);
    EXPECT_TRUE(seams.ProgramDir.isEmpty());
    EXPECT_TRUE(seams.LibrarySearchPath.empty());
    EXPECT_TRUE(seams.RegistryConfigHome.empty());
    EXPECT_FALSE(seams.RegistryFoldersReadOnly);
    EXPECT_EQ(seams.DialUpService, nullptr);
    EXPECT_FALSE(seams.DialUpNow);
    EXPECT_FALSE(seams.PerfDataSource);
    EXPECT_EQ(seams.PerfStats, nullptr);
    EXPECT_FALSE(seams.NotificationArea);
    EXPECT_FALSE(seams.ShellExecuteRecorder);
    EXPECT_FALSE(seams.CursorPos);
    EXPECT_FALSE(seams.TimersExhausted);
    EXPECT_FALSE(seams.InstancePatienceMs);
    EXPECT_FALSE(seams.Sockets.LocalAddresses);
    EXPECT_FALSE(seams.Sockets.HostName);
    EXPECT_FALSE(seams.Sockets.SocketHandle);
}

// A test that fails halfway, as one whose ASSERT does not hold.
void FailWithEverySeamChanged()
{
    TPlatformSeamScope seams;
    ChangeEverySeam(*seams);
    ASSERT_TRUE(false) << "the test stops here";
}

TEST(SeamScopeTest, AFailedAssertionLeavesNoSeamBehind)
{
    ExpectTheMachinesOwn(PlatformSeams());
    EXPECT_FATAL_FAILURE(FailWithEverySeamChanged(), "the test stops here");
    ExpectTheMachinesOwn(PlatformSeams());
}

TEST(SeamScopeTest, NestedScopesPutBackWhatEachFound)
{
    TPlatformSeamScope outer;
    outer->ProgramDir = "/outer";
    {
        TPlatformSeamScope inner;
        EXPECT_EQ(inner->ProgramDir, "/outer") << "a scope starts from what is there";
        inner->ProgramDir = "/inner";
        inner->TimersExhausted = true;
    }
    EXPECT_EQ(PlatformSeams().ProgramDir, "/outer");
    EXPECT_FALSE(PlatformSeams().TimersExhausted);
}

TEST(SeamScopeTest, TheSocketLayerIsPutBackWithItsRecord)
{
    const Winsock::TWinsockState before = Winsock::WinsockState();
    {
        TSeamScope sockets{Winsock::WinsockState()};
        Winsock::WSADATA data{};
        Winsock::WSAStartup(0x0101, &data);
        EXPECT_EQ(Winsock::WinsockState().StartupCalls, before.StartupCalls + 1);
    }
    EXPECT_EQ(Winsock::WinsockState().Startups, before.Startups);
    EXPECT_EQ(Winsock::WinsockState().StartupCalls, before.StartupCalls);
    EXPECT_EQ(Winsock::WinsockState().Calls, before.Calls);
}

TEST(SeamScopeTest, TheNotificationAreaIsPutBackWithoutIcons)
{
    {
        TNotificationAreaScope area(true);
        EXPECT_EQ(PlatformSeams().NotificationArea, true);
        EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    }
    EXPECT_FALSE(PlatformSeams().NotificationArea);
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    EXPECT_TRUE(ShellNotifyArea().Calls.empty());
}

} // namespace
