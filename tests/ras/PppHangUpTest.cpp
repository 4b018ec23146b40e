// Hanging up pppd links: SIGTERM to a real process named pppd, and the refusals. The fake
// tree finds the links; the signal goes to a real process, so the real /proc decides whether
// it may be sent. Tests run as root here, where every process may be signalled: the refusals
// are therefore a process that is not pppd (a child of our own under another name) and a
// process that does not exist, both of which the fake tree claims to be pppd.

#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/PppTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
constexpr int kNoSuchPid = 4194305; // above the largest pid_max the kernel allows

class PppHangUpTest : public ::testing::Test {
protected:
    void SetUp() override { Tree.Peer("isp", "/dev/ttyUSB0 115200\n"); }

    HRASCONN LinkOf(int pid)
    {
        Tree.PidFile("isp", pid, "ppp0");
        Tree.Interface("ppp0", "unknown", 0x10d1, 1, 1, true);
        std::vector<TConnectionView> views = Service.Connections(T0);
        EXPECT_EQ(views.size(), 1u);
        return views.empty() ? 0 : views[0].Handle;
    }

    TPppTree Tree;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
};

TEST_F(PppHangUpTest, RealPppdEndsWithSigterm)
{
    TPppdChild pppd;
    Tree.RealProcess(pppd.Pid());
    HRASCONN handle = LinkOf(pppd.Pid());
    EXPECT_EQ(Service.Find(handle, T0)->State, RASCS_Connected);
    EXPECT_TRUE(Service.HangUp(handle, T0 + 1000));
    EXPECT_TRUE(pppd.EndedBySigterm());

    // Ended: its /proc folder is gone, it is reported disconnected for the linger time, and
    // hanging it up again is harmless until it is forgotten.
    EXPECT_FALSE(std::filesystem::exists(Tree.Root() + "/proc/" + std::to_string(pppd.Pid()) + "/comm"));
    EXPECT_FALSE(Service.HangUp(handle, T0 + 2000));
    EXPECT_EQ(Service.Connections(T0 + 2000).at(0).State, RASCS_Disconnected);
    EXPECT_FALSE(Service.HangUp(handle, T0 + 3999));
    EXPECT_THROW(Service.HangUp(handle, T0 + 4000), ERasInvalidHandle);
}

TEST_F(PppHangUpTest, HangUpByEntryNameAsRasdialDoes)
{
    TPppdChild pppd;
    Tree.RealProcess(pppd.Pid());
    HRASCONN handle = LinkOf(pppd.Pid());
    TConnectionRecord hungUp = Service.HangUpEntry("ISP", T0 + 1000);
    EXPECT_EQ(hungUp.Handle, handle);
    EXPECT_EQ(hungUp.Entry, "isp");
    EXPECT_TRUE(pppd.EndedBySigterm());
    EXPECT_THROW(Service.HangUpEntry("isp", T0 + 2000), ERasNotConnected);
}

TEST_F(PppHangUpTest, ProcessThatIsNotPppdIsNotSignalled)
{
    TPppdChild other("sleeper");
    Tree.Process(other.Pid(), "pppd", 1, "pppd call isp"); // the tree says pppd; /proc does not
    HRASCONN handle = LinkOf(other.Pid());
    EXPECT_THROW(Service.HangUp(handle, T0 + 1000), ERasHangUpRefused);
    EXPECT_TRUE(other.Running());
}

TEST_F(PppHangUpTest, PppdWithAnotherStartTimeIsAnotherProcess)
{
    TPppdChild pppd;
    Tree.Process(pppd.Pid(), "pppd", 1, "pppd call isp"); // right name, wrong start time
    HRASCONN handle = LinkOf(pppd.Pid());
    EXPECT_THROW(Service.HangUp(handle, T0 + 1000), ERasHangUpRefused);
    EXPECT_TRUE(pppd.Running());
}

TEST_F(PppHangUpTest, ProcessThatDoesNotExistIsRefused)
{
    Tree.Process(kNoSuchPid, "pppd", 1, "pppd call isp");
    HRASCONN handle = LinkOf(kNoSuchPid);
    EXPECT_THROW(Service.HangUp(handle, T0 + 1000), ERasHangUpRefused);
}

TEST_F(PppHangUpTest, UnknownHandlesAreInvalid)
{
    EXPECT_THROW(Service.HangUp(kFirstPppHandle, T0), ERasInvalidHandle);
    EXPECT_THROW(Service.HangUp(0xFFFFFFFF, T0), ERasInvalidHandle);
}

// Lowers or raises CAP_KILL in this thread's effective set; false where it cannot be changed.
bool SetKillCapability(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0 || !(data[CAP_KILL / 32].permitted & (1u << (CAP_KILL % 32))))
        return false;
    if (on)
        data[CAP_KILL / 32].effective |= 1u << (CAP_KILL % 32);
    else
        data[CAP_KILL / 32].effective &= ~(1u << (CAP_KILL % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

TEST_F(PppHangUpTest, AnotherUsersPppdIsDeniedAndSaysSo)
{
    // Another user's pppd, and a program without the right to signal other users' processes.
    // Only root can start a process as another user, so an ordinary user skips before trying.
    if (::geteuid() != 0 || !SetKillCapability(true))
        GTEST_SKIP() << "needs root (to start a pppd as another user) with CAP_KILL to take away";
    TPppdChild pppd("pppd", 65534);
    ASSERT_TRUE(pppd.Running()) << "the child could not become uid 65534";
    Tree.RealProcess(pppd.Pid());
    HRASCONN handle = LinkOf(pppd.Pid());
    ASSERT_TRUE(SetKillCapability(false));
    EXPECT_THROW(Service.HangUp(handle, T0 + 1000), ERasHangUpDenied);
    ASSERT_TRUE(SetKillCapability(true));
    EXPECT_TRUE(pppd.Running()) << "the link stays up";
}

} // namespace
