// pppd links through the built librasapi32.so and rasdial, with the fake tree named by
// ZELTIX_SYSTEM_ROOT as the program's process would see it.

#include "ras/service/RasRecords.h"
#include "ras/service/RasService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PppTree.h"
#include "tests/support/RasLibrary.h"

#include <gtest/gtest.h>

namespace {

class PppLibraryTest : public TRasLibraryTest {
protected:
    void SetUp() override
    {
        TRasLibraryTest::SetUp();
        Service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
        Tree.Peer("dsl", "plugin rp-pppoe.so nic-eth0\n");
        Tree.Peer("isp", "/dev/ttyUSB0 115200\n");
    }
    DWORD State(HRASCONN handle, RASCONNSTATUSA& status)
    {
        status = {};
        status.dwSize = sizeof status;
        return Symbol<TRasGetConnectStatusA>("RasGetConnectStatusA")(handle, &status);
    }

    TPppTree Tree;
    TRasService Service{Folder.Path()};
};

TEST_F(PppLibraryTest, EntriesListThePeersAfterTheOwnOnes)
{
    RASENTRYNAMEA names[8] = {};
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = sizeof names, count = 0;
    ASSERT_EQ(Symbol<TRasEnumEntriesA>("RasEnumEntriesA")(nullptr, nullptr, names, &bytes, &count), 0u);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(names[0].szEntryName, "Provider");
    EXPECT_STREQ(names[1].szEntryName, "dsl");
    EXPECT_STREQ(names[2].szEntryName, "isp");
}

TEST_F(PppLibraryTest, LinkFromDialingToConnectedToHungUp)
{
    TPppdChild pppd;
    Tree.RealProcess(pppd.Pid());
    Tree.Write("/proc/net/route", "Iface\tDestination\n"); // not up yet
    Tree.PidFile("dsl", pppd.Pid(), "ppp0");
    std::vector<RASCONNA> records = Connections();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].hrasconn, kFirstPppHandle);
    EXPECT_STREQ(records[0].szEntryName, "dsl");
    EXPECT_STREQ(records[0].szDeviceType, "PPPoE");
    EXPECT_STREQ(records[0].szDeviceName, "eth0");
    RASCONNSTATUSA status;
    ASSERT_EQ(State(kFirstPppHandle, status), 0u);
    EXPECT_EQ(status.rasconnstate, RASCS_ConnectDevice);

    Tree.Interface("ppp0", "unknown", 0x10d1, 10, 20, true);
    ASSERT_EQ(State(kFirstPppHandle, status), 0u);
    EXPECT_EQ(status.rasconnstate, RASCS_Connected);

    EXPECT_EQ(Symbol<TRasHangUpA>("RasHangUpA")(kFirstPppHandle), 0u);
    EXPECT_TRUE(pppd.EndedBySigterm());
    ASSERT_EQ(State(kFirstPppHandle, status), 0u);
    EXPECT_EQ(status.rasconnstate, RASCS_Disconnected);
    ASSERT_EQ(Connections().size(), 1u);
    Now = T0 + 2000;                                                 // the ended link's linger time is over
    EXPECT_EQ(State(kFirstPppHandle, status), ERROR_INVALID_HANDLE); // what the program waits for
}

TEST_F(PppLibraryTest, RefusedHangUpIsAnErrorResult)
{
    TPppdChild other("sleeper");
    Tree.Process(other.Pid(), "pppd", 1, "pppd call isp");
    ASSERT_EQ(Connections().size(), 1u);
    DWORD result = Symbol<TRasHangUpA>("RasHangUpA")(kFirstPppHandle);
    EXPECT_EQ(result, ERROR_HANGUP_FAILED);
    char text[256];
    EXPECT_EQ(Symbol<TRasGetErrorStringA>("RasGetErrorStringA")(result, text, sizeof text), 0u);
    EXPECT_TRUE(other.Running());
}

TEST_F(PppLibraryTest, RasdialListsPppLinksAndSendsPeersToPon)
{
    Tree.Process(500, "pppd", 1, "/usr/sbin/pppd call isp");
    TChildResult list = RunChild(RASDIAL_PATH, {});
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_EQ(list.Out, "isp 0x00800001 RASCS_ConnectDevice\n");

    TChildResult book = RunChild(RASDIAL_PATH, {"--phonebook"});
    EXPECT_NE(book.Out.find("dsl: PPPoE, eth0, 0 bps\nisp: modem, /dev/ttyUSB0, 115200 bps\n"), std::string::npos)
        << book.Out;

    TChildResult dial = RunChild(RASDIAL_PATH, {"isp"});
    EXPECT_EQ(dial.ExitCode, 1);
    EXPECT_EQ(dial.Err, "rasdial: \"isp\" is a pppd peer: use pon/poff\n");
}

} // namespace
