// The service with pppd links, against fake system trees: the merged phonebook, a link's
// states from dialing to gone, handles, the files that must not fool it, and the counters.

#include "platform/DialUpSource.h"
#include "platform/PerfData.h"
#include "ras/service/PppBackend.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/PppTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
// IFF_UP | IFF_POINTOPOINT | IFF_RUNNING | IFF_NOARP | IFF_MULTICAST, as the kernel reports a
// ppp link; the tree writes them as sysfs has them
constexpr unsigned kUpRunning = 0x10d1;

class PppServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tree.Peer("isp", "/dev/ttyUSB0\n115200\nconnect '/usr/sbin/chat -f /etc/chatscripts/isp'\n");
        Tree.Peer("dsl", "plugin rp-pppoe.so\nnic-eth0\nlinkname dsl-link\n");
    }

    // pppd for the peer, dialing: known only by its command line.
    void StartPppd(int pid, const std::string& peer, uint64_t startTime = 5000)
    {
        Tree.Process(pid, "pppd", startTime, "/usr/sbin/pppd call " + peer);
    }
    // Its interface is up with an address, and pppd has written its pid file.
    void BringUp(
        int pid, const std::string& linkName, const std::string& interface, uint64_t tx = 1000, uint64_t rx = 5000)
    {
        Tree.PidFile(linkName, pid, interface);
        Tree.Interface(interface, "unknown", kUpRunning, tx, rx, true);
    }
    void EndPppd(int pid, const std::string& linkName, const std::string& interface)
    {
        Tree.RemoveProcess(pid);
        std::filesystem::remove(Tree.Root() + "/run/ppp-" + linkName + ".pid");
        Tree.RemoveInterface(interface);
    }

    std::vector<TConnectionView> Poll(int64_t nowMs) { return Service.Connections(nowMs); }

    TPppTree Tree;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
};

TEST_F(PppServiceTest, WithoutPeersTheServiceIsAsItWasAndWritesNothing)
{
    std::filesystem::remove_all(Tree.Root() + "/etc/ppp/peers");
    Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    StartPppd(100, "isp"); // a pppd whose peer file is gone is nothing of ours
    ASSERT_EQ(Service.Phonebook().size(), 1u);
    EXPECT_TRUE(Poll(T0).empty());
    EXPECT_FALSE(Folder.Exists("ppp-links"));
}

TEST_F(PppServiceTest, PeersFollowTheOwnEntriesAndWinTheirNames)
{
    Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    // An own entry that a peer file created later hides.
    std::filesystem::remove(Tree.Root() + "/etc/ppp/peers/dsl");
    Service.AddEntry({"DSL", "isdn", "AVM ISDN Controller", 64000, ""});
    Tree.Peer("dsl", "plugin rp-pppoe.so\nnic-eth0\n");

    std::vector<TPhonebookEntry> entries = Service.Phonebook();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "Provider");
    EXPECT_EQ(entries[1], (TPhonebookEntry{"dsl", "PPPoE", "eth0", 0, ""}));
    EXPECT_EQ(entries[2], (TPhonebookEntry{"isp", "modem", "/dev/ttyUSB0", 115200, ""}));
    EXPECT_EQ(Service.FindEntry("ISP")->DeviceName, "/dev/ttyUSB0");
}

TEST_F(PppServiceTest, LinkDialsConnectsAndIsReportedDisconnectedBeforeItGoes)
{
    StartPppd(100, "isp");
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Handle, kFirstPppHandle);
    EXPECT_EQ(views[0].Entry, "isp");
    EXPECT_EQ(views[0].State, RASCS_ConnectDevice);
    EXPECT_EQ(views[0].DeviceType, "modem");
    EXPECT_EQ(views[0].DeviceName, "/dev/ttyUSB0");
    EXPECT_EQ(views[0].Speed, 115200u);
    EXPECT_EQ(views[0].DialedAtMs, T0);
    EXPECT_FALSE(views[0].ConnectedSinceMs);

    BringUp(100, "isp", "ppp0", 1234, 56789);
    for (int64_t t : {T0 + 3000, T0 + 4000}) {
        views = Poll(t);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].Handle, kFirstPppHandle);
        EXPECT_EQ(views[0].State, RASCS_Connected);
        EXPECT_EQ(views[0].ConnectedSinceMs, T0 + 3000); // first seen up, not re-stamped
        EXPECT_EQ(views[0].BytesSent, 1234u);
        EXPECT_EQ(views[0].BytesReceived, 56789u);
    }

    EndPppd(100, "isp", "ppp0");
    views = Poll(T0 + 9000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Handle, kFirstPppHandle);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[0].HungUpAtMs, T0 + 9000);
    views = Poll(T0 + 10999);
    ASSERT_EQ(views.size(), 1u) << "a second listing within the linger time still sees it";
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_TRUE(Poll(T0 + 11000).empty());
    EXPECT_FALSE(Service.Find(kFirstPppHandle, T0 + 11000));
}

TEST_F(PppServiceTest, LookUpsSeeAGoneLinkDisconnectedUntilItsLingerTimeIsOver)
{
    StartPppd(100, "isp");
    BringUp(100, "isp", "ppp0");
    Poll(T0);
    EndPppd(100, "isp", "ppp0");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Service.Find(kFirstPppHandle, T0 + 1000 + i)->State, RASCS_Disconnected);
    ASSERT_EQ(Poll(T0 + 2000).size(), 1u);
    EXPECT_FALSE(Service.Find(kFirstPppHandle, T0 + 3000));
}

// A link's entry is found by its name in any letter case, as the phonebook finds entries and as
// the NetworkManager backend finds its connections.
TEST_F(PppServiceTest, LiveLinkFindsTheEntryNameInAnyLetterCase)
{
    StartPppd(100, "isp");
    BringUp(100, "isp", "ppp0");
    TPppBackend backend(Folder.Path());
    const struct {
        const char* Entry;
        std::optional<HRASCONN> Handle;
    } rows[] = {
        {"isp", kFirstPppHandle},
        {"ISP", kFirstPppHandle},
        {"Isp", kFirstPppHandle},
        {"dsl", std::nullopt},
        {"isp2", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(backend.LiveLink(row.Entry, T0), row.Handle) << row.Entry;

    EndPppd(100, "isp", "ppp0");
    EXPECT_EQ(backend.LiveLink("ISP", T0 + 1000), std::nullopt) << "a disconnected link is not live";
}

TEST_F(PppServiceTest, PppoeLinkThroughLinknamePidFileInRunPppd)
{
    Tree.Process(300, "pppd", 77, "/usr/sbin/pppd call dsl");
    Tree.PidFile("dsl-link", 300, "ppp1", "/run/pppd");
    Tree.Interface("ppp1", "up", kUpRunning, 10, 20, true);
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, "dsl");
    EXPECT_EQ(views[0].DeviceType, "PPPoE");
    EXPECT_EQ(views[0].DeviceName, "eth0");
    EXPECT_EQ(views[0].State, RASCS_Connected);
}

TEST_F(PppServiceTest, NoFalseConnectedBeforeTheInterfaceIsFullyUp)
{
    StartPppd(100, "isp");
    Tree.PidFile("isp", 100, "ppp0");
    struct TCase {
        const char* Operstate;
        unsigned Flags;
        bool Routed;
    };
    for (TCase c : {TCase{"unknown", kUpRunning, false}, TCase{"down", kUpRunning, true},
             TCase{"unknown", 0x1091, true}, TCase{"unknown", 0x10d0, true}, TCase{"garbage", kUpRunning, true}}) {
        Tree.RemoveInterface("ppp0");
        Tree.Interface("ppp0", c.Operstate, c.Flags, 1, 1, c.Routed);
        std::vector<TConnectionView> views = Poll(T0);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].State, RASCS_ConnectDevice) << c.Operstate << " " << c.Flags;
        EXPECT_EQ(views[0].BytesSent, 0u);
    }
    Tree.RemoveInterface("ppp0");
    Tree.Write("/sys/class/net/ppp0/flags", "0xzz\n");
    EXPECT_EQ(Poll(T0)[0].State, RASCS_ConnectDevice);
    Tree.Write("/run/ppp-isp.pid", "100\n../../../etc\n"); // an interface that is a path
    EXPECT_EQ(Poll(T0)[0].State, RASCS_ConnectDevice);
}

// A tree of plain files cannot be asked for the kernel's flags: the interface's sysfs files
// decide, and sysfs's flags file never holds IFF_RUNNING, so carrier stands for it.
TEST_F(PppServiceTest, InterfaceFilesAsSysfsShowsThem)
{
    StartPppd(100, "isp");
    Tree.PidFile("isp", 100, "ppp0");
    struct TCase {
        const char* Flags;
        const char* Carrier; // nullptr: no carrier file, as for an interface that is down
        const char* Operstate;
        int32_t State;
    };
    for (TCase c : {TCase{"0x1091", "1", "unknown", RASCS_Connected}, // a real ppp0
             TCase{"0x1003", "1", "up", RASCS_Connected},             // a veth end
             TCase{"0x10d1", "0", "unknown", RASCS_ConnectDevice},
             TCase{"0x1091", nullptr, "unknown", RASCS_ConnectDevice}}) {
        Tree.RemoveInterface("ppp0");
        Tree.Write("/sys/class/net/ppp0/flags", std::string(c.Flags) + "\n");
        Tree.Write("/sys/class/net/ppp0/operstate", std::string(c.Operstate) + "\n");
        if (c.Carrier)
            Tree.Write("/sys/class/net/ppp0/carrier", std::string(c.Carrier) + "\n");
        Tree.Write("/proc/net/route", "Iface\tDestination\nppp0\t0100000A\n");
        EXPECT_EQ(Poll(T0).at(0).State, c.State) << c.Flags << " " << (c.Carrier ? c.Carrier : "-");
    }
}

TEST_F(PppServiceTest, StaleOrBrokenPidFilesAndProcessesAreNoLinks)
{
    Tree.PidFile("isp", 200, "ppp0");
    Tree.Process(200, "bash", 1, "bash"); // the pid now belongs to something else
    Tree.Interface("ppp0", "unknown", kUpRunning, 1, 1, true);
    EXPECT_TRUE(Poll(T0).empty());

    Tree.Write("/run/ppp-isp.pid", "not a pid\nppp0\n");
    EXPECT_TRUE(Poll(T0).empty());
    Tree.PidFile("isp", 201, "ppp0"); // no such process at all
    EXPECT_TRUE(Poll(T0).empty());

    // A pppd that vanished between the name and the stat read, or whose stat is mangled.
    Tree.Process(202, "pppd", 1, "pppd call isp");
    std::filesystem::remove(Tree.Root() + "/proc/202/stat");
    Tree.Write("/proc/203/comm", "pppd\n");
    Tree.Write("/proc/203/stat", "203 (pppd) S 1 2\n");
    Tree.Write("/proc/203/cmdline", std::string("pppd\0call\0isp\0", 14));
    EXPECT_TRUE(Poll(T0).empty());
    EXPECT_FALSE(Folder.Exists("ppp-links"));
}

TEST_F(PppServiceTest, HandlesStayForTheLinkAndAreNeverHandedOutAgain)
{
    StartPppd(100, "isp");
    TRasService other(Folder.Path()); // another process polling the same service
    EXPECT_EQ(Poll(T0)[0].Handle, kFirstPppHandle);
    EXPECT_EQ(other.Connections(T0 + 1)[0].Handle, kFirstPppHandle);

    // The same pid started anew is another process: a new link.
    Tree.RemoveProcess(100);
    StartPppd(100, "isp", 9999);
    std::vector<TConnectionView> views = Poll(T0 + 2000);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].Handle, kFirstPppHandle);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[1].Handle, kFirstPppHandle + 1);
    EXPECT_EQ(views[1].State, RASCS_ConnectDevice);

    StartPppd(101, "dsl");
    views = Poll(T0 + 4000); // the ended link's linger time is over
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].Handle, kFirstPppHandle + 2);
}

TEST_F(PppServiceTest, DamagedLinkFileCostsTheHistoryNotTheLinks)
{
    StartPppd(100, "isp");
    Poll(T0);
    Folder.Write("ppp-links", "ZeltixPppLinks 1\nNextHandle 8388610\nLink garbage\n");
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_ConnectDevice);
    EXPECT_GE(views[0].Handle, kFirstPppHandle);
    EXPECT_EQ(Poll(T0 + 2000)[0].Handle, views[0].Handle); // the file is sound again
}

TEST_F(PppServiceTest, OwnConnectionsComeFirstAndKeepTheirHandles)
{
    Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    HRASCONN own = Service.Dial("Provider", {.ConnectAfterMs = 0}, T0);
    StartPppd(100, "isp");
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].Handle, own);
    EXPECT_EQ(views[1].Handle, kFirstPppHandle);
    EXPECT_EQ(Service.Find(own, T0)->Entry, "Provider");
    EXPECT_TRUE(Service.HangUp(own, T0));
}

TEST_F(PppServiceTest, PeersAreDialledAddedAndRemovedWithPonNotHere)
{
    try {
        Service.Dial("ISP", {}, T0);
        FAIL() << "dialled a pppd peer";
    } catch (const ERasPppPeer& e) {
        EXPECT_STREQ(e.what(), "\"isp\" is a pppd peer: use pon/poff");
    }
    EXPECT_THROW(Service.AddEntry({"dsl", "modem", "Modem", 56000, ""}), ERasPppPeer);
    EXPECT_THROW(Service.RemoveEntry("dsl"), ERasPppPeer);
}

TEST_F(PppServiceTest, CountersPastFourGibibytesWrapOnlyWhereThePlatformPublishesThem)
{
    StartPppd(100, "isp");
    const uint64_t sent = (uint64_t{1} << 32) + 5;
    const uint64_t received = (uint64_t{3} << 32) + 7;
    BringUp(100, "isp", "ppp0", sent, received);
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].BytesSent, sent);
    EXPECT_EQ(views[0].BytesReceived, received);

    // The performance data's port counters are 32 bits: the counter block of the one
    // instance ends the data, as its length, the bytes sent and received, padded to 8.
    std::string data;
    {
        TPlatformSeamScope seams;
        seams->DialUpService = &Service;
        seams->DialUpNow = [] { return T0 + 1000; };
        data = BuildPerformanceData("906", DialUpConnections(), T0 + 1000);
    }
    ASSERT_GE(data.size(), 16u);
    uint32_t counters[2];
    std::memcpy(counters, data.data() + data.size() - 12, sizeof counters);
    EXPECT_EQ(counters[0], 5u);
    EXPECT_EQ(counters[1], 7u);
}

} // namespace

namespace {

TEST_F(PppServiceTest, APppdThatEndedButWasNotReapedIsNoLongerALink)
{
    StartPppd(100, "isp");
    BringUp(100, "isp", "ppp0");
    ASSERT_EQ(Poll(T0).at(0).State, RASCS_Connected);
    // Its parent has not collected it yet: /proc still shows it, as a zombie.
    const std::string stat = Tree.Root() + "/proc/100/stat";
    std::string text;
    {
        std::ifstream in(stat);
        std::getline(in, text);
    }
    text.replace(text.find(") S "), 4, ") Z ");
    Tree.Write("/proc/100/stat", text + "\n");
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
}

} // namespace
