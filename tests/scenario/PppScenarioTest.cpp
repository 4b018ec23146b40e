#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/Program.h"
#include "app/Seams.h"
#include "app/TariffModel.h"
#include "app/ZeltixFrm.h"
#include "base/FormatSettings.h"
#include "platform/Library.h"
#include "platform/ProgramDir.h"
#include "platform/Seams.h"
#include "platform/Winsock.h"
#include "tests/app/ApplicationScope.h"
#include "tests/scenario/ProgramEnvironment.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/PppTree.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace {

// The whole program watching a pppd link: a peer file becomes a tariff row, and the link coming
// up and going down becomes one priced session with its log lines.
TEST(PppScenarioTest, APppLinkBecomesOnePricedSession)
{
    TPppTree tree;
    TProgramEnvironment environment(std::array<uint8_t, 4>{192, 168, 0, 5});
    ASSERT_TRUE(environment.GermanFormats.Ok());
    const TTempDir& programFolder = environment.ProgramFolder;
    TFakeClock clock;

    tree.Peer("isp", "/dev/ttyUSB0\n115200\nnoauth\n");
    programFolder.Write("conns.ini", "[isp]\r\nKosten=2,50\r\n");
    {
        std::unique_ptr<TForm1> form = CreateMainWindow();
        ASSERT_NE(form, nullptr);
        const int tariff = form->FindTariffRow("isp");
        ASSERT_GE(tariff, 0);
        EXPECT_EQ(form->Tariffs->TariffText(tariff), "2,50");

        // pppd is running and its interface is not up yet: the link dials.
        tree.Process(4242, "pppd", 1000, "pppd call isp");
        tree.PidFile("isp", 4242, "ppp0");
        tree.Interface("ppp0", "unknown", 0x1, 0, 0, false);
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "isp: Verbinde");
        EXPECT_EQ(form->History->Count(), 0);

        // Up, running and routed: connected.
        tree.Interface("ppp0", "unknown", 0x1 | 0x40, 1200, 34000, true);
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "isp: Verbunden");
        ASSERT_EQ(form->History->Count(), 1);
        EXPECT_EQ(form->History->Text(0, hcCost), "2,50");

        tree.Interface("ppp0", "unknown", 0x1 | 0x40, 5000, 90000, true);
        RunEventLoopFor(clock, 60000);
        EXPECT_EQ(form->History->Text(0, hcDuration), "00:01:00");
        EXPECT_EQ(form->History->Text(0, hcCost), "5,00");
        EXPECT_EQ(form->Label3->text(), "Empfangene Bytes: 90000");
        EXPECT_EQ(form->Label4->text(), "Connectionspeed: 115200 bps");

        // pppd ends: the link is reported disconnected once, then gone.
        tree.RemoveProcess(4242);
        tree.RemoveInterface("ppp0");
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "isp: Getrennt");
        EXPECT_FALSE(form->Online);
        RunEventLoopFor(clock, 1000);
        form->close();
    }
    const std::string log = programFolder.Read("Protokol.txt");
    EXPECT_NE(log.find("] Verbindung zu isp aufgenommen!\r\n  DeviceName: /dev/ttyUSB0\r\n  DeviceType: modem\r\n"
                       "  IP Address: 192.168.0.5\r\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("] Verbindung zu isp getrennt!\r\n\r\n"), std::string::npos) << log;
    EXPECT_FALSE(programFolder.Exists("error.log"));
}

} // namespace

namespace {

// An unticked peer is refused the way poff ends a link: its pppd gets SIGTERM, and the
// program waits until the link is gone.
TEST(PppScenarioTest, AnUntickedPeersPppdReceivesSigterm)
{
    TFakeServiceEnvironment environment;
    ASSERT_TRUE(environment.GermanFormats.Ok());
    const TTempDir& programFolder = environment.ProgramFolder;
    TFakeClock& clock = environment.Clock;
    TPppTree& tree = environment.Tree;

    tree.Peer("isp", "/dev/ttyUSB0\n");
    programFolder.Write("conns.ini", "[isp]\r\nChecked=0\r\n");
    TPppdChild pppd;
    tree.RealProcess(pppd.Pid());
    tree.PidFile("isp", pppd.Pid(), "ppp0");
    tree.Interface("ppp0", "unknown", 0x1 | 0x40, 100, 200, true);
    {
        std::unique_ptr<TForm1> form = CreateMainWindow();
        ASSERT_NE(form, nullptr);
        // The hang-up waits for the link to go, time passing as it waits.
        RunEventLoopFor(clock, 1000);
        EXPECT_TRUE(form->StatusText().endsWith(" - Verbindungsversuch zu isp abgebrochen!"))
            << form->StatusText().toStdString();
        EXPECT_EQ(form->History->Count(), 0);
        EXPECT_TRUE(form->isVisible());
    }
    EXPECT_TRUE(pppd.EndedBySigterm());
}

} // namespace

namespace {

// The whole program over a real kernel interface: a veth end named ppp0 in a private network
// namespace is the link of a peer that talks through a pty command, timed and priced from the
// kernel's flags, route table and counters, and logged with the command as its device.
TEST(PppScenarioTest, ARealKernelInterfaceBecomesOnePricedSession)
{
    TPppKernelTree tree;
    if (!tree.Unavailable().empty())
        GTEST_SKIP() << "No real kernel interface for the test: " << tree.Unavailable();
    TProgramEnvironment environment(std::array<uint8_t, 4>{10, 64, 0, 1});
    ASSERT_TRUE(environment.GermanFormats.Ok());
    const TTempDir& programFolder = environment.ProgramFolder;
    TFakeClock clock;

    tree.Peer("vpn", "pty \"ssh -t gw.example.net pppd notty\"\nnoauth\n");
    programFolder.Write("conns.ini", "[vpn]\r\nKosten=2,50\r\n");
    TPppdChild pppd;
    tree.PidFile("vpn", pppd.Pid(), "ppp0");
    {
        std::unique_ptr<TForm1> form = CreateMainWindow();
        ASSERT_NE(form, nullptr);
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "vpn: Verbinde");

        tree.Ip("link add ppp0 type veth peer name ppp0-far");
        tree.Ip("link set ppp0-far up");
        tree.Ip("link set ppp0 up");
        tree.Ip("addr add 10.64.0.1/24 dev ppp0");
        tree.Ip("neigh add 10.64.0.9 lladdr 02:00:00:00:00:09 dev ppp0");
        tree.SettleLink("ppp0");
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "vpn: Verbunden");
        ASSERT_EQ(form->History->Count(), 1);
        EXPECT_EQ(form->History->Text(0, hcCost), "2,50");

        tree.SendDatagram("10.64.0.9", 5); // one frame of 47 bytes
        RunEventLoopFor(clock, 60000);
        EXPECT_EQ(form->History->Text(0, hcDuration), "00:01:00");
        EXPECT_EQ(form->History->Text(0, hcCost), "5,00");
        EXPECT_EQ(form->Label2->text(), "Gesendete Bytes: 47");

        // Ended as poff ends it: pppd removes its interface and pid file as it goes.
        ASSERT_EQ(::kill(pppd.Pid(), SIGTERM), 0);
        EXPECT_TRUE(pppd.EndedBySigterm());
        tree.Ip("link del ppp0");
        std::filesystem::remove(tree.Root() + "/run/ppp-vpn.pid");
        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "vpn: Getrennt");
        EXPECT_FALSE(form->Online);
        RunEventLoopFor(clock, 1000);
        form->close();
    }
    const std::string log = programFolder.Read("Protokol.txt");
    EXPECT_NE(log.find("] Verbindung zu vpn aufgenommen!\r\n  DeviceName: ssh -t gw.example.net pppd notty\r\n"
                       "  DeviceType: modem\r\n  IP Address: 10.64.0.1\r\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("] Verbindung zu vpn getrennt!\r\n\r\n"), std::string::npos) << log;
    EXPECT_FALSE(programFolder.Exists("error.log"));
}

} // namespace
