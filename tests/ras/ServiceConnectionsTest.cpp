#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000; // a wall-clock time in 2027

class ServiceConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
        Service.AddEntry({"ISDN", "isdn", "AVM ISDN Controller", 64000, ""});
    }

    int32_t StateAt(HRASCONN handle, int64_t nowMs) const
    {
        std::optional<TConnectionView> view = Service.Find(handle, nowMs);
        return view ? view->State : -1;
    }

    TTempDir Dir;
    TRasService Service{Dir.Path()};
};

TEST_F(ServiceConnectionsTest, DialWalksTheStatesEvenlyAndConnectsAfterFiveSeconds)
{
    HRASCONN handle = Service.Dial("provider", {}, T0);
    EXPECT_EQ(handle, 0x00010001u);

    const int32_t walk[] = {RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice, RASCS_DeviceConnected,
        RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_Authenticated};
    for (int64_t i = 0; i < 7; ++i) {
        int64_t stepStart = T0 + (i * 5000 + 6) / 7; // each step starts at ceil(i * 5000 / 7)
        EXPECT_EQ(StateAt(handle, stepStart), walk[i]) << i;
        if (i > 0) {
            EXPECT_EQ(StateAt(handle, stepStart - 1), walk[i - 1]) << i;
        }
    }
    EXPECT_EQ(StateAt(handle, T0 + 4999), RASCS_Authenticated);
    EXPECT_EQ(StateAt(handle, T0 + 5000), RASCS_Connected);
    EXPECT_EQ(StateAt(handle, T0 - 60000), RASCS_OpenPort); // a clock set back

    TConnectionView view = *Service.Find(handle, T0 + 5000);
    EXPECT_EQ(view.Entry, "Provider");
    EXPECT_EQ(view.DeviceType, "modem");
    EXPECT_EQ(view.DeviceName, "Standard 56000 bps Modem");
    EXPECT_EQ(view.Speed, 56000u);
    EXPECT_EQ(view.ConnectedSinceMs, T0 + 5000);
    EXPECT_EQ(view.Error, 0u);
}

TEST_F(ServiceConnectionsTest, ConnectTimeZeroPinnedStateAndErrorCode)
{
    HRASCONN now = Service.Dial("Provider", {.ConnectAfterMs = 0}, T0);
    EXPECT_EQ(StateAt(now, T0), RASCS_Connected);

    HRASCONN pinned = Service.Dial("ISDN", {.PinnedState = RASCS_Authenticate, .Error = 691}, T0);
    TConnectionView view = *Service.Find(pinned, T0 + 1'000'000);
    EXPECT_EQ(view.State, RASCS_Authenticate);
    EXPECT_EQ(view.Error, 691u);
    EXPECT_EQ(view.BytesReceived, 0u); // never connected, so nothing flowed
    Service.HangUp(pinned, T0 + 1'000'000);
    EXPECT_EQ(StateAt(pinned, T0 + 1'000'000), RASCS_Disconnected);

    EXPECT_THROW(Service.Dial("Provider", {.PinnedState = 77}, T0), ERasService);
}

TEST_F(ServiceConnectionsTest, HangUpLingersThenTheHandleIsInvalid)
{
    HRASCONN handle = Service.Dial("Provider", {}, T0);
    EXPECT_TRUE(Service.HangUp(handle, T0 + 10000));
    // A second hang-up changes nothing, not even with another linger time.
    EXPECT_FALSE(Service.HangUp(handle, T0 + 11000, 100000));

    EXPECT_EQ(StateAt(handle, T0 + 11999), RASCS_Disconnected);
    EXPECT_EQ(Service.Connections(T0 + 11999).size(), 1u);
    EXPECT_FALSE(Service.Find(handle, T0 + 12000));
    EXPECT_TRUE(Service.Connections(T0 + 12000).empty());
    EXPECT_THROW(Service.HangUp(handle, T0 + 12000), ERasInvalidHandle);
    EXPECT_THROW(Service.HangUp(0x12345678, T0), ERasInvalidHandle);
}

TEST_F(ServiceConnectionsTest, DialRefusesUnknownAndConnectedEntriesButRedialsAfterHangUp)
{
    EXPECT_THROW(Service.Dial("Nobody", {}, T0), ERasUnknownEntry);
    HRASCONN first = Service.Dial("Provider", {}, T0);
    EXPECT_THROW(Service.Dial("PROVIDER", {}, T0 + 1), ERasAlreadyConnected);

    TConnectionRecord hungUp = Service.HangUpEntry("PROVIDER", T0 + 100);
    EXPECT_EQ(hungUp.Handle, first);
    EXPECT_EQ(hungUp.Entry, "Provider");
    EXPECT_THROW(Service.HangUpEntry("Provider", T0 + 100), ERasNotConnected);

    HRASCONN second = Service.Dial("Provider", {}, T0 + 200);
    std::vector<TConnectionView> views = Service.Connections(T0 + 200);
    ASSERT_EQ(views.size(), 2u); // the first still lingers, listed in dial order
    EXPECT_EQ(views[0].Handle, first);
    EXPECT_EQ(views[1].Handle, second);
}

TEST_F(ServiceConnectionsTest, HandlesAreNeverReusedAndGoneConnectionsArePurged)
{
    std::vector<HRASCONN> handles;
    for (int i = 0; i < 3; ++i) {
        handles.push_back(Service.Dial("Provider", {.LingerMs = 1000}, T0 + i * 10000));
        Service.HangUp(handles.back(), T0 + i * 10000 + 1);
    }
    EXPECT_EQ(handles, (std::vector<HRASCONN>{0x00010001, 0x00010002, 0x00010003}));
    // Only the last one lingers in the file; the earlier ones were gone at later writes.
    EXPECT_EQ(ParseConnectionTable(Dir.Read("connections")).Records.size(), 1u);

    TRasService another(Dir.Path());
    EXPECT_EQ(another.Dial("ISDN", {}, T0 + 100000), 0x00010004u);
    EXPECT_EQ(ParseConnectionTable(Dir.Read("connections")).Records.size(), 1u);
}

TEST_F(ServiceConnectionsTest, ByteCountersGrowOnlyWhileConnected)
{
    HRASCONN modem = Service.Dial("Provider", {}, T0);
    EXPECT_EQ(Service.Find(modem, T0 + 4999)->BytesReceived, 0u);
    TConnectionView second = *Service.Find(modem, T0 + 6000);
    // 60 % of 56000 bit/s received and 15 % sent during one connected second.
    EXPECT_EQ(second.BytesReceived, 4200u);
    EXPECT_EQ(second.BytesSent, 1050u);
    EXPECT_EQ(Service.Find(modem, T0 + 7000)->BytesReceived, 8400u);

    Service.HangUp(modem, T0 + 7000);
    TConnectionView lingering = *Service.Find(modem, T0 + 8000);
    EXPECT_EQ(lingering.BytesReceived, 8400u);
    EXPECT_EQ(lingering.BytesSent, 2100u);

    // A connection pinned as connected counts from the dial; a faster line counts faster.
    HRASCONN isdn = Service.Dial("ISDN", {.PinnedState = RASCS_Connected}, T0);
    EXPECT_EQ(Service.Find(isdn, T0 + 1000)->BytesReceived, 4800u);
    EXPECT_EQ(Service.Find(isdn, T0 + 1000)->ConnectedSinceMs, T0);
}

} // namespace
