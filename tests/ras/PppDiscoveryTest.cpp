// What a poll of the pppd links costs while nothing changes, and that what changes is still
// seen: pid files through inotify, a dialing pppd through the process list every few seconds
// of the service's time, over the machine's own /proc.

#include "ras/service/FileCache.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/PppLinks.h"
#include "ras/service/PppProcesses.h"
#include "ras/service/RasService.h"
#include "tests/support/PppTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;

// A real process named pppd whose command line calls the peer, as `pon NAME` starts it: a
// shell run through a link named pppd, waiting on a pipe that only its end closes.
class TDialingPppd {
public:
    // With `now` false the process waits as what it was forked as until Exec().
    TDialingPppd(const std::string& folder, const std::string& peer, bool now = true)
    {
        const std::string link = folder + "/pppd";
        std::filesystem::create_symlink("/bin/sh", link);
        int input[2], go[2], execed[2];
        if (::pipe(input) != 0 || ::pipe(go) != 0 || ::pipe2(execed, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(input[0], 0);
            ::close(go[1]);
            char byte;
            if (!now && ::read(go[0], &byte, 1) != 1)
                ::_exit(126);
            ::execl(link.c_str(), "pppd", "-c", "read x", "call", peer.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(go[0]);
        ::close(execed[1]);
        FInput = input[1];
        FGo = go[1];
        FExeced = execed[0];
        if (now)
            Exec();
    }
    void Exec()
    {
        (void)!::write(FGo, "x", 1);
        // The exec closes the other end: from then on the process is pppd by name.
        char byte;
        (void)!::read(FExeced, &byte, 1);
        ::close(FExeced);
        ::close(FGo);
        FExeced = FGo = -1;
    }
    ~TDialingPppd() { End(); }

    int Pid() const { return FPid; }
    void End()
    {
        if (FPid <= 0)
            return;
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
        ::close(FInput);
        if (FGo >= 0)
            ::close(FGo), ::close(FExeced);
        FPid = -1;
    }

private:
    int FPid = -1;
    int FInput = -1;
    int FGo = -1;
    int FExeced = -1;
};

class PppDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tree.Peer("isp", "/dev/ttyUSB0\n115200\n");
        Tree.Peer("dsl", "plugin rp-pppoe.so\nnic-eth0\n");
    }

    // The tree's /proc becomes the machine's, which tells nothing through inotify. Its own
    // peer has a name no test running beside this one calls.
    void UseRealProc()
    {
        Tree.Peer(Dialled, "/dev/ttyUSB0\n115200\n");
        std::filesystem::remove_all(Tree.Root() + "/proc");
        std::filesystem::create_directory_symlink("/proc", Tree.Root() + "/proc");
    }

    struct TCost {
        uint64_t Reads, Listings, Scans;
    };
    static TCost Cost()
    {
        TFileCache& cache = TFileCache::Shared();
        return {cache.FileReads(), cache.FolderListings(), PppProcessScans()};
    }

    std::vector<TConnectionView> Poll(int64_t nowMs) { return Service.Connections(nowMs); }

    const std::string Dialled = "dial" + std::to_string(::getpid());
    TPppTree Tree;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
};

TEST_F(PppDiscoveryTest, IdlePollsReadNothingAndSearchTheProcessListEveryThreeSeconds)
{
    UseRealProc();
    EXPECT_TRUE(Poll(T0).empty());
    TCost before = Cost();
    for (int64_t t = T0 + 1000; t <= T0 + 2999; t += 1000)
        EXPECT_TRUE(Poll(t).empty());
    TCost after = Cost();
    EXPECT_EQ(after.Reads, before.Reads);
    EXPECT_EQ(after.Listings, before.Listings);
    EXPECT_EQ(after.Scans, before.Scans);

    EXPECT_TRUE(Poll(T0 + 3000).empty());
    EXPECT_EQ(Cost().Scans, before.Scans + 1);
    EXPECT_TRUE(Poll(T0 + 1000).empty()) << "a clock set back";
    EXPECT_EQ(Cost().Scans, before.Scans + 2);
}

TEST_F(PppDiscoveryTest, ADialingPppdIsFoundByTheNextSearchAndReportedGoneOnce)
{
    UseRealProc();
    Poll(T0);
    TTempDir bin;
    TDialingPppd pppd(bin.Path(), Dialled);
    const uint64_t scans = Cost().Scans;
    EXPECT_TRUE(Poll(T0 + 2000).empty());
    std::vector<TConnectionView> views = Poll(T0 + 3000);
    EXPECT_EQ(Cost().Scans, scans + 1);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, Dialled);
    EXPECT_EQ(views[0].State, RASCS_ConnectDevice);
    EXPECT_EQ(views[0].DialedAtMs, T0 + 3000);

    pppd.End();
    views = Poll(T0 + 4000);
    ASSERT_EQ(views.size(), 1u) << "its end is seen at once, not at the next search";
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[0].HungUpAtMs, T0 + 4000);
    EXPECT_TRUE(Poll(T0 + 6000).empty());
}

TEST_F(PppDiscoveryTest, ADialingPppdAmongManyNewProcessesIsFoundByTheNextSearch)
{
    UseRealProc();
    Poll(T0);
    // More new pids than a search looks at one by one: it lists /proc instead.
    for (int i = 0; i < 100; ++i)
        std::thread([] {}).join();
    TTempDir bin;
    TDialingPppd pppd(bin.Path(), Dialled);
    std::vector<TConnectionView> views = Poll(T0 + 3000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, Dialled);
}

TEST_F(PppDiscoveryTest, AProcessSeenBeforeItExecsPppdIsFoundByTheNextSearch)
{
    UseRealProc();
    TTempDir bin;
    TDialingPppd pppd(bin.Path(), Dialled, false);
    EXPECT_TRUE(Poll(T0).empty()); // searched: the process is not pppd yet
    pppd.Exec();
    EXPECT_TRUE(Poll(T0 + 2000).empty());
    std::vector<TConnectionView> views = Poll(T0 + 3000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, Dialled);
    EXPECT_EQ(views[0].State, RASCS_ConnectDevice);
}

// In a process tree of plain files (another root than the kernel's /proc, which keeps no pid
// counter) every search reads every process: a process already read, then a pppd in its
// place, the same one after an exec or another one given the same pid, is found by the next
// search. An exec under the kernel's own /proc is the test before.
TEST_F(PppDiscoveryTest, InATreeOfPlainFilesAPidThatBecomesAPppdIsFoundByTheNextSearch)
{
    for (uint64_t startTime : {5000u, 7000u}) {
        SCOPED_TRACE(startTime);
        TPppTree tree;
        tree.Peer("isp", "/dev/ttyUSB0\n");
        TTempDir folder;
        TRasService service(folder.Path());
        tree.Process(300, "bash", 5000, "bash");
        EXPECT_TRUE(service.Connections(T0).empty());
        tree.Process(300, "pppd", startTime, "pppd call isp");
        EXPECT_TRUE(service.Connections(T0 + 1000).empty());
        std::vector<TConnectionView> views = service.Connections(T0 + 3000);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].Entry, "isp");
    }
}

TEST_F(PppDiscoveryTest, APidFileIsNoticedAtTheNextPollWithoutSearchingTheProcessList)
{
    std::filesystem::remove(Tree.Root() + "/etc/ppp/peers/dsl");
    TPppdChild pppd;
    Tree.RealProcess(pppd.Pid());
    EXPECT_TRUE(Poll(T0).empty());
    const uint64_t scans = Cost().Scans;
    Tree.PidFile("isp", pppd.Pid());
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, "isp");
    EXPECT_EQ(views[0].State, RASCS_ConnectDevice);

    // pppd rewrites it in place with the interface, which comes up.
    Tree.PidFile("isp", pppd.Pid(), "ppp0");
    Tree.Interface("ppp0", "unknown", 0x10d1, 10, 20, true);
    EXPECT_EQ(Poll(T0 + 2000).at(0).State, RASCS_Connected);
    // A second peer's pid file in a folder made only now.
    Tree.Peer("dsl", "plugin rp-pppoe.so\nnic-eth0\nlinkname dsl-link\n");
    TPppdChild second;
    Tree.RealProcess(second.Pid());
    Tree.PidFile("dsl-link", second.Pid(), "ppp1", "/run/pppd");
    EXPECT_EQ(Poll(T0 + 2500).size(), 2u);
    EXPECT_EQ(Cost().Scans, scans);
}

TEST_F(PppDiscoveryTest, PeerFilesAreReadAgainOnlyWhenTheyChange)
{
    Poll(T0);
    const TCost before = Cost();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Service.Phonebook().size(), 2u);
    EXPECT_EQ(Cost().Reads, before.Reads);
    EXPECT_EQ(Cost().Listings, before.Listings);

    Tree.Peer("isp", "/dev/ttyUSB1\n115200\n"); // in place, same size
    EXPECT_EQ(Service.FindEntry("isp")->DeviceName, "/dev/ttyUSB1");
    Tree.Peer("new", "/dev/ttyS0\n");
    EXPECT_EQ(Service.Phonebook().size(), 3u);
    std::filesystem::remove(Tree.Root() + "/etc/ppp/peers/dsl");
    EXPECT_EQ(Service.Phonebook().size(), 2u);
}

TEST(PppProcStatTest, NameAndStartTimeOrNothing)
{
    const std::string tail = " 1 1 1 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 5000 1000 100\n";
    struct TCase {
        std::string Stat;
        std::optional<std::string> Name;
    } cases[] = {
        {"42 (pppd) S" + tail, "pppd"}, {"42 (a) b (c) S" + tail, "a) b (c"}, // the name ends at the last parenthesis
        {"42 () S" + tail, ""}, {"42 (pppd) Z" + tail, std::nullopt},         // ended, not yet reaped
        {"42 (pppd) X" + tail, std::nullopt}, {"42 (pppd) S 1 2\n", std::nullopt},      // cut short
        {"42 pppd S" + tail, std::nullopt},                                             // no parentheses
        {"42 (pppd) S" + tail.substr(0, tail.find("5000")) + "5x00 1\n", std::nullopt}, // no number
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Stat);
        std::optional<TProcStat> stat = ParseProcStat(c.Stat);
        ASSERT_EQ(stat.has_value(), c.Name.has_value());
        if (stat) {
            EXPECT_EQ(stat->Name, *c.Name);
            EXPECT_EQ(stat->StartTime, 5000u);
        }
    }
}

TEST(PppProcStatTest, ThePeerACommandLineCalls)
{
    using namespace std::string_literals;
    EXPECT_EQ(CalledPeer("/usr/sbin/pppd\0call\0isp\0"s), "isp");
    EXPECT_EQ(CalledPeer("pppd\0nodetach\0call\0dsl\0debug\0"s), "dsl");
    EXPECT_EQ(CalledPeer("pppd\0file\0/etc/ppp/peers/mobil\0"s), "mobil");
    EXPECT_EQ(CalledPeer("pppd\0file\0/etc/ppp/options.x\0"s), std::nullopt);
    EXPECT_EQ(CalledPeer("pppd\0call\0"s), std::nullopt); // no name after it
    EXPECT_EQ(CalledPeer("call\0isp\0"s), std::nullopt);  // the program's own name is not an option
    EXPECT_EQ(CalledPeer(""), std::nullopt);
}

} // namespace
