// A pppd link over a real kernel interface: a veth end named ppp0 in a private network
// namespace, seen by the service through the kernel's flags, sysfs and route table, from
// dialing to connected, through a lost carrier, to hung up and gone.

#include "ras/service/RasService.h"
#include "tests/support/PppTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;

TEST(PppKernelTest, VethNamedPpp0IsDialedConnectedAndGone)
{
    TPppKernelTree tree;
    if (!tree.Unavailable().empty())
        GTEST_SKIP() << "No real kernel interface for the test: " << tree.Unavailable();
    TTempDir folder;
    TRasService service(folder.Path());
    tree.Peer("isp", "/dev/ttyUSB0 115200\n");
    auto state = [&](int64_t nowMs) {
        std::vector<TConnectionView> views = service.Connections(nowMs);
        return views.size() == 1 ? views[0].State : -1;
    };

    // pppd has started and written its pid file; its interface is not there yet.
    TPppdChild pppd;
    tree.PidFile("isp", pppd.Pid());
    EXPECT_EQ(state(T0), RASCS_ConnectDevice);
    tree.PidFile("isp", pppd.Pid(), "ppp0");
    EXPECT_EQ(state(T0 + 1000), RASCS_ConnectDevice);

    // The interface exists, then is up and running, but has no address yet.
    tree.Ip("link add ppp0 type veth peer name ppp0-far");
    EXPECT_EQ(state(T0 + 2000), RASCS_ConnectDevice);
    tree.Ip("link set ppp0-far up");
    tree.Ip("link set ppp0 up");
    tree.SettleLink("ppp0");
    EXPECT_EQ(state(T0 + 3000), RASCS_ConnectDevice);

    // An address, and with it a route through the interface: connected. sysfs's flags say
    // only IFF_UP here; the kernel says running.
    tree.Ip("addr add 10.64.0.1/24 dev ppp0");
    // One datagram to a neighbour that is only an entry in the table: one frame of 14 bytes
    // Ethernet, 20 IP, 8 UDP and 5 of payload, and no address resolution.
    tree.Ip("neigh add 10.64.0.9 lladdr 02:00:00:00:00:09 dev ppp0");
    tree.SendDatagram("10.64.0.9", 5);
    std::vector<TConnectionView> views = service.Connections(T0 + 4000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Handle, kFirstPppHandle);
    EXPECT_EQ(views[0].State, RASCS_Connected);
    EXPECT_EQ(views[0].ConnectedSinceMs, T0 + 4000);
    EXPECT_EQ(views[0].BytesSent, 47u);
    EXPECT_EQ(views[0].BytesReceived, 0u);

    // The far end goes down: up, addressed and routed, but not running.
    tree.Ip("link set ppp0-far down");
    tree.SettleLink("ppp0");
    EXPECT_EQ(state(T0 + 5000), RASCS_ConnectDevice);
    tree.Ip("link set ppp0-far up");
    tree.SettleLink("ppp0");
    EXPECT_EQ(service.Find(kFirstPppHandle, T0 + 6000)->ConnectedSinceMs, T0 + 6000);

    // Hung up as poff does; pppd removes its interface and pid file as it ends.
    EXPECT_TRUE(service.HangUp(kFirstPppHandle, T0 + 7000));
    EXPECT_TRUE(pppd.EndedBySigterm());
    tree.Ip("link del ppp0");
    std::filesystem::remove(tree.Root() + "/run/ppp-isp.pid");
    EXPECT_EQ(state(T0 + 7000), RASCS_Disconnected);
    EXPECT_TRUE(service.Connections(T0 + 9000).empty());
}

} // namespace
