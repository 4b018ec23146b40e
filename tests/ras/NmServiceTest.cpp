// The service with NetworkManager's connections, against python3-dbusmock's NetworkManager on a
// bus of its own: which profiles are entries, a connection's states from activating to gone,
// its byte counters, hang-ups NetworkManager accepts or refuses, and NetworkManager or its bus
// going away or not being there at all.

#include "ras/service/NmBus.h"
#include "ras/service/NmLinkTable.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/NmMock.h"
#include "tests/support/PppTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
constexpr unsigned kUpRunning = 0x10d1;

class NmServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Mock.Unavailable().empty())
            GTEST_SKIP() << "No NetworkManager double: " << Mock.Unavailable();
    }

    // What the service sees once everything NetworkManager said so far has arrived.
    std::vector<TConnectionView> Poll(int64_t nowMs)
    {
        EXPECT_TRUE(TNmBus::Shared().SyncForTests());
        return Service.Connections(nowMs);
    }
    std::vector<TPhonebookEntry> Entries()
    {
        EXPECT_TRUE(TNmBus::Shared().SyncForTests());
        return Service.Phonebook();
    }
    // A GSM profile active on a modem whose traffic runs through ppp0.
    std::string ActivateGsm(uint32_t state, const std::string& name = "Mobil")
    {
        Profile = Mock.AddProfile(name, "gsm");
        Device = Mock.AddDevice("wwan0", "ttyUSB2", "ppp0");
        return Mock.Activate(Profile, Device, "1", state);
    }

    TPppTree Tree; // the system root, for the interface counters
    TNmMock Mock;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
    std::string Profile;
    std::string Device;
};

TEST_F(NmServiceTest, TheFirstPhonebookReadWaitsForNetworkManagersAnswers)
{
    // A program lists the phonebook once at its start, right after connecting to the bus,
    // and NetworkManager may take longer to answer than a poll waits.
    Mock.AddProfile("Mobil", "gsm");
    Mock.AnswerListingAfter(50);
    const std::vector<TPhonebookEntry> entries = Service.Phonebook();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "Mobil");
}

TEST_F(NmServiceTest, OnlyChangesOfProfilesConnectionsAndTheirInterfacesAreAskedForAgain)
{
    ActivateGsm(kActivated);
    ASSERT_EQ(Poll(T0).size(), 1u);
    const uint64_t before = TNmBus::Shared().Refreshes();
    // What NetworkManager reports all day long on a desktop.
    Mock.SetUnsigned("/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "Connectivity", 4);
    Mock.SetUnsigned(Device, "org.freedesktop.NetworkManager.Device", "State", 100);
    Mock.SetUnsigned(Device, "org.freedesktop.NetworkManager.Device.Wired", "Speed", 1000);
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(TNmBus::Shared().Refreshes(), before);
    EXPECT_EQ(views[0].Speed, 1'000'000'000u) << "the link speed taken from the signal";

    Mock.AddProfile("CDMA", "cdma");
    EXPECT_EQ(Entries().size(), 2u);
    EXPECT_GT(TNmBus::Shared().Refreshes(), before);
}

TEST_F(NmServiceTest, DialUpProfilesAreEntriesAfterTheOwnAndThePeers)
{
    Service.AddEntry({"DSL", "isdn", "AVM ISDN Controller", 64000, ""}); // hidden by the profile
    Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    Tree.Peer("handy", "/dev/rfcomm0\n"); // hides the profile of its name
    Mock.AddProfile("Mobil [\xC3\x84]", "gsm", {{"connection.uuid", "1b2c3d4e-0000-4000-8000-000000000001"}});
    Mock.AddProfile("CDMA", "cdma", {{"connection.interface-name", "ttyUSB0"}});
    Mock.AddProfile("DSL", "pppoe", {{"pppoe.parent", "eth1"}, {"connection.interface-name", "ppp0"}});
    Mock.AddProfile("Handy", "bluetooth", {{"bluetooth.type", "dun"}});
    Mock.AddProfile("Tablet", "bluetooth", {{"bluetooth.type", "dun"}});
    // Not dial-up connections.
    Mock.AddProfile("WLAN", "802-11-wireless");
    Mock.AddProfile("LAN", "802-3-ethernet");
    Mock.AddProfile("PAN", "bluetooth", {{"bluetooth.type", "panu"}});
    // Names that cannot be entries, and a second profile of a name.
    Mock.AddProfile("\xE6\x97\xA5\xE6\x9C\xAC", "gsm");
    Mock.AddProfile(std::string(257, 'x'), "gsm");
    Mock.AddProfile("mobil [\xC3\xA4]", "cdma", {{"connection.uuid", "0a2c3d4e-0000-4000-8000-000000000002"}});

    // NetworkManager's profiles by name, which its restarts do not change; of two profiles of
    // one name the one with the lower UUID.
    const std::vector<TPhonebookEntry> expected{
        {"Provider", "modem", "Standard 56000 bps Modem", 56000, ""},
        {"handy", "modem", "/dev/rfcomm0", 0, ""},
        {"CDMA", "modem", "ttyUSB0", 0, ""},
        {"DSL", "PPPoE", "eth1", 0, ""},
        {"mobil [\xE4]", "modem", "", 0, ""},
        {"Tablet", "modem", "", 0, ""},
    };
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(Service.FindEntry("MOBIL [\xC4]")->Name, "mobil [\xE4]");

    // nmcli, not the service, dials and edits them.
    struct TRefusal {
        const char* What;
        std::function<void()> Action;
    };
    const std::vector<TRefusal> refusals{
        {"dial", [&] { Service.Dial("cdma", {}, T0); }},
        {"add",
            [&] {
                Service.AddEntry({"DSL", "modem", "x", 0, ""});
            }},
        {"remove", [&] { Service.RemoveEntry("mobil [\xE4]"); }},
    };
    for (const TRefusal& refusal : refusals) {
        try {
            refusal.Action();
            ADD_FAILURE() << refusal.What << " was not refused";
        } catch (const ERasNmConnection& e) {
            EXPECT_NE(std::string(e.what()).find("is a NetworkManager connection: use nmcli"), std::string::npos)
                << refusal.What << ": " << e.what();
        }
    }
    EXPECT_EQ(Service.RemoveEntry("Provider").Name, "Provider");
}

TEST_F(NmServiceTest, ActivationWalksToConnectedAndIsDisconnectedForTheLingerTime)
{
    Tree.Interface("ppp0", "unknown", kUpRunning, 1234, 56789, true);
    const std::string active = ActivateGsm(kActivating);
    struct TStep {
        int64_t At;
        int32_t State;
    };
    for (const TStep& step : {TStep{0, RASCS_OpenPort}, TStep{2500, RASCS_ConnectDevice},
             TStep{6000, RASCS_Authenticated}, TStep{60000, RASCS_Authenticated}}) {
        std::vector<TConnectionView> views = Poll(T0 + step.At);
        ASSERT_EQ(views.size(), 1u) << step.At;
        EXPECT_EQ(views[0].Handle, kFirstNmHandle);
        EXPECT_EQ(views[0].State, step.State) << step.At;
        EXPECT_EQ(views[0].DialedAtMs, T0);
        EXPECT_EQ(views[0].BytesSent, 0u) << "no bytes before it is activated";
    }

    Mock.SetState(active, kActivated);
    for (int64_t t : {T0 + 61000, T0 + 62000}) {
        std::vector<TConnectionView> views = Poll(t);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].Handle, kFirstNmHandle);
        EXPECT_EQ(views[0].Entry, "Mobil");
        EXPECT_EQ(views[0].DeviceType, "modem");
        EXPECT_EQ(views[0].DeviceName, "ttyUSB2");
        EXPECT_EQ(views[0].State, RASCS_Connected);
        EXPECT_EQ(views[0].ConnectedSinceMs, T0 + 61000);
        EXPECT_EQ(views[0].BytesSent, 1234u);
        EXPECT_EQ(views[0].BytesReceived, 56789u);
    }
    EXPECT_EQ(Entries().back().DeviceName, "ttyUSB2"); // the device it is active on
    TRasService other(Folder.Path());                  // another process polling the same service
    EXPECT_EQ(other.Find(kFirstNmHandle, T0 + 62500)->State, RASCS_Connected);

    Mock.SetState(active, kDeactivating);
    std::vector<TConnectionView> views = Poll(T0 + 63000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[0].HungUpAtMs, T0 + 63000);
    Mock.Remove(Device, active);
    ASSERT_EQ(Poll(T0 + 64999).size(), 1u);
    EXPECT_TRUE(Poll(T0 + 65000).empty());
    EXPECT_FALSE(Service.Find(kFirstNmHandle, T0 + 65000));
}

// NetworkManager's own guess (a phone's USB tethering, a hotspot's vendor flag), which its
// real devices cannot be made to give in a test.
TEST_F(NmServiceTest, AConnectionOnADeviceGuessedMeteredIsAnEntryWhileItLasts)
{
    const std::string profile = Mock.AddProfile("Tethering", "802-3-ethernet");
    Device = Mock.AddDevice("usb0", "usb0", "usb0");
    const std::string active = Mock.Activate(profile, Device, "1", kActivated);
    EXPECT_TRUE(Poll(T0).empty());
    EXPECT_TRUE(Entries().empty());

    Mock.SetMetered(Device, 3);
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, "Tethering");
    EXPECT_EQ(views[0].State, RASCS_Connected);
    EXPECT_EQ(views[0].DeviceType, "ethernet");
    EXPECT_EQ(views[0].DeviceName, "usb0");
    EXPECT_EQ(Entries(), (std::vector<TPhonebookEntry>{{"Tethering", "ethernet", "usb0", 0, ""}}));

    Mock.Remove(Device, active);
    EXPECT_EQ(Poll(T0 + 2000).at(0).State, RASCS_Disconnected);
    EXPECT_TRUE(Entries().empty()) << "listed only while it is active on such a device";
}

TEST_F(NmServiceTest, DeactivatedFromOutsideThenActivatedAgainIsANewConnection)
{
    Tree.Interface("ppp0", "unknown", kUpRunning, 1, 2, true);
    std::string active = ActivateGsm(kActivated);
    ASSERT_EQ(Poll(T0).size(), 1u);
    Mock.Remove(Device, active);
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[0].DeviceName, "ttyUSB2") << "the device it ran on stays";

    Mock.Activate(Profile, Device, "2", kActivated);
    views = Poll(T0 + 2000);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[1].Handle, kFirstNmHandle + 1);
    EXPECT_EQ(views[1].State, RASCS_Connected);
    EXPECT_EQ(views[1].ConnectedSinceMs, T0 + 2000);
}

TEST_F(NmServiceTest, AfterARestartAPathUsedAgainIsAnotherProfilesNewConnection)
{
    // NetworkManager numbers its active connections from 1 again at each start.
    const std::string uuid = "0d6f5c2e-1b1a-4c59-9d0f-3b1f5e1a0a01";
    const std::string active =
        Mock.Activate(Mock.AddProfile("DSL A", "pppoe", {{"connection.uuid", uuid}}), "", "1", kActivated);
    ASSERT_EQ(Poll(T0).size(), 1u);
    Mock.StopNetworkManager();
    Mock.StartNetworkManager();
    ASSERT_EQ(Mock.Unavailable(), "");
    ASSERT_EQ(Mock.Activate(Mock.AddProfile("DSL B", "pppoe"), "", "1", kActivated), active);
    // Before the service has heard of it, a hang-up of DSL A leaves DSL B's connection alone.
    EXPECT_EQ(TNmBus::Shared().Deactivate(active, uuid, T0 + 500).ErrorName,
        "org.freedesktop.NetworkManager.ConnectionNotActive");
    const std::vector<std::string> calls = Mock.Calls();
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "DeactivateConnection " + active), calls.end());

    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].Entry, "DSL A");
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[1].Handle, kFirstNmHandle + 1);
    EXPECT_EQ(views[1].Entry, "DSL B");
    EXPECT_EQ(views[1].State, RASCS_Connected);
}

TEST_F(NmServiceTest, HangUpDeactivatesTheConnectionThroughNetworkManager)
{
    const std::string active = ActivateGsm(kActivated);
    ASSERT_EQ(Poll(T0).size(), 1u);
    EXPECT_TRUE(Service.HangUp(kFirstNmHandle, T0 + 1000));
    std::vector<std::string> calls = Mock.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "DeactivateConnection " + active), calls.end());
    EXPECT_EQ(Service.Find(kFirstNmHandle, T0 + 1000)->State, RASCS_Disconnected);
    EXPECT_FALSE(Service.HangUp(kFirstNmHandle, T0 + 1500)) << "a second hang-up is harmless";
    EXPECT_THROW(Service.HangUp(kFirstNmHandle, T0 + 3000), ERasInvalidHandle);

    // By name, as rasdial does.
    Mock.Activate(Profile, Device, "2", kActivated);
    ASSERT_EQ(Poll(T0 + 4000).size(), 1u);
    TConnectionRecord hungUp = Service.HangUpEntry("MOBIL", T0 + 5000);
    EXPECT_EQ(hungUp.Handle, kFirstNmHandle + 1);
    EXPECT_EQ(hungUp.Entry, "Mobil");
    EXPECT_THROW(Service.HangUpEntry("Mobil", T0 + 5500), ERasNotConnected);
}

TEST_F(NmServiceTest, RefusedDeactivationIsAnErrorNamingTheConnectionAndNetworkManagersAnswer)
{
    struct TCase {
        const char* ErrorName;
        bool Denied;
    };
    const std::string active = ActivateGsm(kActivated, "Mobil [\xC3\x84]");
    ASSERT_EQ(Poll(T0).size(), 1u);
    for (const TCase& c : {TCase{"org.freedesktop.NetworkManager.PermissionDenied", true},
             TCase{"org.freedesktop.NetworkManager.Failed", false}}) {
        Mock.RefuseDeactivation(c.ErrorName, "Not authorized to deactivate connections");
        try {
            Service.HangUp(kFirstNmHandle, T0 + 1000);
            ADD_FAILURE() << c.ErrorName << " was taken as success";
        } catch (const ERasHangUpRefused& e) {
            EXPECT_EQ(dynamic_cast<const ERasHangUpDenied*>(&e) != nullptr, c.Denied) << c.ErrorName;
            EXPECT_EQ(std::string(e.what()),
                "NetworkManager refused to deactivate the connection 0x80000001 (\"Mobil [\xC3\x84]\"): " +
                    std::string(c.ErrorName) + ": Not authorized to deactivate connections");
        }
        std::vector<TConnectionView> views = Poll(T0 + 2000);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].State, RASCS_Connected) << "a refused hang-up changes nothing";
    }
}

TEST_F(NmServiceTest, CountersFromNetworkManagerWhenTheInterfaceHasNoneHere)
{
    ActivateGsm(kActivated); // ppp0 is not in the system root
    Mock.AddStatistics(Device, 300, 4000);
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].BytesSent, 300u);
    EXPECT_EQ(views[0].BytesReceived, 4000u);
    ASSERT_TRUE(TNmBus::Shared().SyncForTests());
    EXPECT_EQ(Mock.StatisticsRefreshRate(Device), 1000u) << "asked to count every second";

    Mock.SetStatistics(Device, 5000, 90000);
    views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].BytesSent, 5000u);
    EXPECT_EQ(views[0].BytesReceived, 90000u);

    // The kernel's counters win once the interface has them.
    Tree.Interface("ppp0", "unknown", kUpRunning, 7, 8, true);
    EXPECT_EQ(Poll(T0 + 2000)[0].BytesReceived, 8u);
}

TEST_F(NmServiceTest, NetworkManagerOrItsBusGoingAwayEndsTheConnectionsQuietlyAfterAWhile)
{
    enum TGone { gNetworkManager, gBus };
    for (TGone gone : {gNetworkManager, gBus}) {
        SCOPED_TRACE(gone == gBus ? "bus" : "NetworkManager");
        TNmMock mock;
        ASSERT_EQ(mock.Unavailable(), "");
        TTempDir folder;
        TRasService service(folder.Path());
        const std::string device = mock.AddDevice("wwan0", "ttyUSB2", "ppp0");
        mock.Activate(mock.AddProfile("Mobil", "gsm"), device, "1", kActivated);
        mock.AddStatistics(device, 300, 4000);
        ASSERT_TRUE(TNmBus::Shared().SyncForTests());
        ASSERT_EQ(service.Connections(T0).size(), 1u);

        testing::internal::CaptureStderr();
        if (gone == gBus)
            mock.StopBus();
        else
            mock.StopNetworkManager();
        ASSERT_TRUE(TNmBus::Shared().SyncForTests());
        // A restart would take the link over: it stays as it was, counters and all, for ten
        // seconds, and then has ended.
        for (int64_t t = T0 + 1000; t < T0 + 11000; t += 1000) {
            std::vector<TConnectionView> views = service.Connections(t);
            ASSERT_EQ(views.size(), 1u) << t;
            EXPECT_EQ(views[0].State, RASCS_Connected) << t;
            EXPECT_EQ(views[0].BytesReceived, 4000u) << t;
        }
        std::vector<TConnectionView> views = service.Connections(T0 + 11000);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].State, RASCS_Disconnected);
        EXPECT_EQ(views[0].HungUpAtMs, T0 + 11000);
        EXPECT_TRUE(service.Connections(T0 + 13000).empty());
        const uint64_t attempts = TNmBus::Shared().ConnectAttempts();
        for (int64_t t = T0 + 13000; t < T0 + 14000; t += 10) {
            EXPECT_TRUE(service.Connections(t).empty());
            EXPECT_EQ(service.Phonebook().size(), 0u);
        }
        EXPECT_LE(TNmBus::Shared().ConnectAttempts() - attempts, 1u) << "no connection attempt per poll";
        EXPECT_THROW(service.HangUp(kFirstNmHandle, T0 + 14000), ERasInvalidHandle);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}

TEST_F(NmServiceTest, ARestartedNetworkManagerTakesTheLinksOverAndTheSessionsGoOn)
{
    // After its start NetworkManager takes over the links that stayed up, as new objects in an
    // order of its own: here the two connections swap their paths.
    const std::string uuidA = "0d6f5c2e-1b1a-4c59-9d0f-3b1f5e1a0a01";
    const std::string uuidB = "0d6f5c2e-1b1a-4c59-9d0f-3b1f5e1a0a02";
    struct TCase {
        const char* Name;
        bool PolledWhileGone;
        const char* DeviceOfBAfter; // B on another device is another link
    };
    for (const TCase& c : {TCase{"polled while gone", true, "ttyUSB3"},
             TCase{"restarted between polls", false, "ttyUSB3"}, TCase{"B on another device", true, "ttyUSB4"}}) {
        SCOPED_TRACE(c.Name);
        TNmMock mock;
        ASSERT_EQ(mock.Unavailable(), "");
        TTempDir folder;
        TRasService service(folder.Path());
        auto start = [&](const std::string& activeA, const std::string& activeB, const char* deviceB) {
            const std::string a = mock.AddDevice("wwan0", "ttyUSB2", "ppp0");
            const std::string b = mock.AddDevice("wwan1", deviceB, "ppp1");
            mock.Activate(mock.AddProfile("Mobil A", "gsm", {{"connection.uuid", uuidA}}), a, activeA, kActivated);
            mock.Activate(mock.AddProfile("Mobil B", "gsm", {{"connection.uuid", uuidB}}), b, activeB, kActivated);
            mock.AddStatistics(a, 10, 100);
            ASSERT_TRUE(TNmBus::Shared().SyncForTests());
        };
        start("1", "2", "ttyUSB3");
        ASSERT_EQ(service.Connections(T0).size(), 2u);

        mock.StopNetworkManager();
        if (c.PolledWhileGone) {
            ASSERT_TRUE(TNmBus::Shared().SyncForTests());
            std::vector<TConnectionView> views = service.Connections(T0 + 1000);
            ASSERT_EQ(views.size(), 2u);
            EXPECT_EQ(views[0].State, RASCS_Connected);
            EXPECT_EQ(views[0].BytesReceived, 100u);
            EXPECT_EQ(views[1].State, RASCS_Connected);
        }
        mock.StartNetworkManager();
        ASSERT_EQ(mock.Unavailable(), "");
        start("2", "1", c.DeviceOfBAfter);

        std::vector<TConnectionView> views = service.Connections(T0 + 2000);
        const bool sameDevice = std::string(c.DeviceOfBAfter) == "ttyUSB3";
        ASSERT_EQ(views.size(), sameDevice ? 2u : 3u);
        EXPECT_EQ(views[0].Handle, kFirstNmHandle);
        EXPECT_EQ(views[0].Entry, "Mobil A");
        EXPECT_EQ(views[0].State, RASCS_Connected);
        EXPECT_EQ(views[0].BytesReceived, 100u);
        EXPECT_EQ(views[1].Entry, "Mobil B");
        EXPECT_EQ(views[1].State, sameDevice ? RASCS_Connected : RASCS_Disconnected);
        if (!sameDevice) {
            EXPECT_EQ(views[2].Handle, kFirstNmHandle + 2);
            EXPECT_EQ(views[2].Entry, "Mobil B");
            EXPECT_EQ(views[2].State, RASCS_Connected);
        }
        // The links moved to their new paths: a hang-up reaches the right connection.
        EXPECT_TRUE(service.HangUp(kFirstNmHandle, T0 + 3000));
        const std::vector<std::string> calls = mock.Calls();
        EXPECT_NE(std::find(calls.begin(), calls.end(),
                      "DeactivateConnection /org/freedesktop/NetworkManager/ActiveConnection/2"),
            calls.end());
    }
}

TEST(NmAbsentTest, WithoutABusNothingIsShownOrWrittenOrSaid)
{
    TTempDir folder;
    ::setenv("ZELTIX_SYSTEM_BUS", ("unix:path=" + folder.File("no-bus")).c_str(), 1);
    TRasService service(folder.Path());
    service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    testing::internal::CaptureStderr();
    const uint64_t attempts = TNmBus::Shared().ConnectAttempts();
    for (int64_t t = T0; t < T0 + 20000; t += 1000) {
        EXPECT_TRUE(service.Connections(t).empty());
        EXPECT_EQ(service.Phonebook().size(), 1u);
    }
    EXPECT_LE(TNmBus::Shared().ConnectAttempts() - attempts, 4u) << "tried every five seconds, not every poll";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(folder.Exists("nm-links"));
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 1);
}

TEST(NmAbsentTest, ALinkAnotherProcessLeftUpIsLeftAloneByOneThatNeverSawNetworkManager)
{
    // It cannot tell a restart from a NetworkManager gone for good: it neither shows the link
    // nor ends it, which would split a session the other process holds through a restart.
    TTempDir folder;
    ::setenv("ZELTIX_SYSTEM_BUS", ("unix:path=" + folder.File("no-bus")).c_str(), 1);
    TNmLinkTable table;
    table.NextHandle = kFirstNmHandle + 1;
    table.Links.push_back(
        {kFirstNmHandle, T0 - 60000, T0 - 60000, std::nullopt, "/org/freedesktop/NetworkManager/ActiveConnection/1",
            "5f9c3ac3-6e8e-4b40-9b0c-0f9a6c8d2e11", "modem", "ttyUSB2", "Mobil"});
    folder.Write("nm-links", SerializeNmLinks(table));
    TRasService service(folder.Path());
    EXPECT_TRUE(service.Connections(T0).empty());
    EXPECT_THROW(service.HangUpEntry("Mobil", T0), ERasNotConnected);
    EXPECT_EQ(ParseNmLinks(folder.Read("nm-links")), table);
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 1);
}

TEST(NmLinkFileTest, RoundTripDamageAndTheHandleRanges)
{
    TNmLinkTable table;
    table.NextHandle = kFirstNmHandle + 2;
    table.Links.push_back(
        {kFirstNmHandle, 1000, 2000, std::nullopt, "/org/freedesktop/NetworkManager/ActiveConnection/7",
            "5f9c3ac3-6e8e-4b40-9b0c-0f9a6c8d2e11", "modem", "ttyUSB2", "Mobil [\xC4]"});
    table.Links.push_back({kFirstNmHandle + 1, 1500, std::nullopt, 3000,
        "/org/freedesktop/NetworkManager/ActiveConnection/8", "", "PPPoE", "", "my dsl"});
    const std::string bytes = SerializeNmLinks(table);
    EXPECT_EQ(ParseNmLinks(bytes), table);
    EXPECT_FALSE(ParseNmLinks(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(ParseNmLinks(bytes.substr(0, bytes.rfind("End"))));
    std::string pppHandle = bytes;
    pppHandle.replace(pppHandle.find(std::to_string(kFirstNmHandle)), 10, std::to_string(kLastPppHandle));
    EXPECT_FALSE(ParseNmLinks(pppHandle)) << "a handle of the pppd range";
    // Version 1 had no UUIDs; its links are written back as version 2.
    std::optional<TNmLinkTable> old1 =
        ParseNmLinks("ZeltixNmLinks 1\nNextHandle 2147483650\nLink 2147483649 1 2 - /a modem - Mobil\nEnd 1\n");
    ASSERT_TRUE(old1);
    EXPECT_EQ(old1->Links.at(0), (TNmLinkRecord{kFirstNmHandle, 1, 2, std::nullopt, "/a", "", "modem", "", "Mobil"}));
    EXPECT_EQ(ParseNmLinks(SerializeNmLinks(*old1)), old1);

    // The pppd range ends below: its old files, whose next handle could run to 2^32, still read
    // and wrap; a link with a handle of NetworkManager's range is damage.
    std::optional<TPppLinkTable> old = ParsePppLinks("ZeltixPppLinks 1\nNextHandle 4294967296\nEnd 0\n");
    ASSERT_TRUE(old);
    std::vector<TConnectionView> views = MergePppLinks(*old, {{{"isp", 7, 1, ""}, {}}}, {}, 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Handle, kFirstPppHandle);
    EXPECT_TRUE(ParsePppLinks("ZeltixPppLinks 1\nNextHandle 8388610\nLink " + std::to_string(kLastPppHandle) +
        " 42 1 1000 - - isp\nEnd 1\n"));
    EXPECT_FALSE(ParsePppLinks("ZeltixPppLinks 1\nNextHandle 8388610\nLink " + std::to_string(kFirstNmHandle) +
        " 42 1 1000 - - isp\nEnd 1\n"));
}

TEST(NmLinkMergeTest, AStoredLinkIsAConnectionOnlyWithItsPathAndProfile)
{
    const std::string path = "/org/freedesktop/NetworkManager/ActiveConnection/1";
    struct TCase {
        std::string StoredUuid; // "" as read from a file of version 1
        std::optional<int64_t> StoredGoneAtMs;
        std::string Uuid;
        std::string Entry;
        HRASCONN Handle; // of the observed connection; a new one ends the stored link
    };
    for (const TCase& c : std::vector<TCase>{
             {"A", std::nullopt, "A", "DSL A", kFirstNmHandle},
             {"A", std::nullopt, "B", "DSL B", kFirstNmHandle + 1}, // the path used again
             {"A", 500, "B", "DSL B", kFirstNmHandle + 1},          // ... while the link lingers
             {"A", std::nullopt, "A", "DSL A neu", kFirstNmHandle}, // the profile renamed
             {"", std::nullopt, "A", "DSL A", kFirstNmHandle + 1},
         }) {
        SCOPED_TRACE(c.StoredUuid + " " + c.Uuid + " " + c.Entry);
        TNmLinkTable table{kFirstNmHandle + 1,
            {{kFirstNmHandle, 0, 0, c.StoredGoneAtMs, path, c.StoredUuid, "PPPoE", "eth1", "DSL A"}}};
        std::vector<TConnectionView> views =
            MergeNmLinks(table, {{path, c.Uuid, c.Entry, "PPPoE", "eth1", kNmActivated}}, 1000);
        ASSERT_EQ(views.size(), c.Handle == kFirstNmHandle ? 1u : 2u);
        EXPECT_EQ(views.front().State, c.Handle == kFirstNmHandle ? RASCS_Connected : RASCS_Disconnected);
        EXPECT_EQ(views.back().Handle, c.Handle);
        EXPECT_EQ(views.back().Entry, c.Entry);
        EXPECT_EQ(views.back().State, RASCS_Connected);
    }
}

} // namespace
