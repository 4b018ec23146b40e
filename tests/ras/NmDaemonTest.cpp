// The service against Debian's NetworkManager itself, in a private network namespace with a bus
// of its own: which profiles are entries, activations of Ethernet, PPPoE and modem profiles to
// connected and back with the kernel's counters, PolicyKit's refusals, and the daemon or its bus
// restarted under a running service. python3-dbusmock's double (NmServiceTest) stays for what
// the real daemon cannot be made to do.

#include "tests/support/NmDaemon.h"
#include "ras/service/NmBus.h"
#include "ras/service/NmLinkTable.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <map>
#include <memory>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'900'000'000'000;

TNmDaemonOptions Options(bool rootOnly, bool veth, bool pppd, const std::string& modem)
{
    TNmDaemonOptions options;
    options.RootOnly = rootOnly;
    options.Veth = veth;
    options.Pppd = pppd;
    options.Modem = modem;
    return options;
}

class NmDaemonTest : public ::testing::Test {
protected:
    // Starts the daemon; false (the test is skipped, saying why) where it cannot run.
    bool Start(const TNmDaemonOptions& options = Options(false, true, false, ""))
    {
        Daemon = std::make_unique<TNmDaemon>(options);
        return Daemon->Unavailable().empty();
    }

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
    // A metered Ethernet profile on the interface, with an address of its own.
    void AddEthernet(const std::string& name, const std::string& interface, const std::string& address,
        const std::string& metered = "yes")
    {
        Daemon->AddProfile("ethernet", name,
            {"ifname", interface, "connection.metered", metered, "ipv4.method", "manual", "ipv4.addresses", address,
                "ipv6.method", "disabled"});
    }
    std::string DevicePath(const std::string& interface)
    {
        const std::string out = Daemon->Run({"busctl", "call", "org.freedesktop.NetworkManager",
            "/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "GetDeviceByIpIface", "s", interface});
        return out.substr(out.find('"') + 1, out.rfind('"') - out.find('"') - 1);
    }
    uint32_t RefreshRate(const std::string& device)
    {
        const std::string out = Daemon->Run({"busctl", "get-property", "org.freedesktop.NetworkManager", device,
            "org.freedesktop.NetworkManager.Device.Statistics", "RefreshRateMs"});
        return static_cast<uint32_t>(std::strtoul(out.c_str() + 2, nullptr, 10));
    }
    // A rate set by a call nobody waits for, once NetworkManager has taken it: it answers a
    // read at once but takes a Set only after checking who may.
    uint32_t RefreshRateOnceTaken(const std::string& device, uint32_t expected)
    {
        uint32_t rate = RefreshRate(device);
        WaitUntil(10000, [&] { return (rate = RefreshRate(device)) == expected; });
        return rate;
    }
    bool Active(const std::string& name)
    {
        return Daemon->Nmcli({"-g", "GENERAL.STATE", "connection", "show", name}).find("activated") !=
            std::string::npos;
    }

    std::unique_ptr<TNmDaemon> Daemon;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
};

#define START_OR_SKIP(...)                                                                                             \
    if (!Start(__VA_ARGS__))                                                                                           \
    GTEST_SKIP() << "No NetworkManager of the test's own: " << Daemon->Unavailable()

TEST_F(NmDaemonTest, DialUpAndMeteredProfilesAreEntriesInAnOrderRestartsKeep)
{
    START_OR_SKIP();
    // Added out of order, so that NetworkManager's own order (by object path, renumbered at a
    // restart from the files it loads) is not the entries' order by chance.
    AddEthernet("LAN Handy", "veth0", "10.1.1.1/24");
    Daemon->AddProfile("wifi", "WLAN", {"ssid", "Zuhause"});
    Daemon->AddProfile("gsm", "Mobil", {"ifname", "*", "gsm.apn", "internet"});
    Daemon->AddProfile("wifi", "Hotspot", {"ssid", "Hotspot", "connection.metered", "yes"});
    Daemon->AddProfile("pppoe", "DSL", {"ifname", "ppp0", "pppoe.parent", "veth1", "pppoe.username", "u"});
    AddEthernet("Buero", "veth1", "10.1.2.1/24", "no");
    Daemon->AddProfile(
        "bluetooth", "PAN", {"bt-type", "panu", "bluetooth.bdaddr", "00:11:22:33:44:66", "connection.metered", "yes"});
    Daemon->AddProfile(
        "bluetooth", "Handy", {"bt-type", "dun", "bluetooth.bdaddr", "00:11:22:33:44:55", "gsm.apn", "internet"});
    Daemon->AddProfile("bluetooth", "Kopfhoerer", {"bt-type", "panu", "bluetooth.bdaddr", "00:11:22:33:44:77"});
    Daemon->AddProfile("cdma", "CDMA", {"ifname", "*"});

    const std::vector<TPhonebookEntry> expected{
        {"CDMA", "modem", "", 0, ""},
        {"DSL", "PPPoE", "veth1", 0, ""},
        {"Handy", "modem", "", 0, ""},
        {"Hotspot", "wifi", "", 0, ""},
        {"LAN Handy", "ethernet", "veth0", 0, ""},
        {"Mobil", "modem", "", 0, ""},
        {"PAN", "bt", "", 0, ""},
    };
    EXPECT_EQ(Entries(), expected);
    Daemon->Restart();
    EXPECT_EQ(Entries(), expected) << "after NetworkManager's restart";
}

TEST_F(NmDaemonTest, AMeteredEthernetLinkIsAConnectionWithTheKernelsCounters)
{
    START_OR_SKIP();
    AddEthernet("LAN Handy", "veth0", "10.1.1.1/24");
    AddEthernet("Buero", "veth1", "10.1.2.1/24", "no");
    Daemon->Nmcli({"connection", "up", "Buero"});
    EXPECT_TRUE(Poll(T0).empty()) << "an unmetered link is none of the service's";

    Daemon->Nmcli({"connection", "up", "LAN Handy"});
    std::vector<TConnectionView> views = Poll(T0 + 1000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Handle, kFirstNmHandle);
    EXPECT_EQ(views[0].Entry, "LAN Handy");
    EXPECT_EQ(views[0].State, RASCS_Connected);
    EXPECT_EQ(views[0].DeviceType, "ethernet");
    EXPECT_EQ(views[0].DeviceName, "veth0");
    EXPECT_EQ(views[0].Speed, UINT32_MAX) << "a veth end's 10 Gb/s, as far as the records reach";
    const uint64_t sent = views[0].BytesSent;

    // One frame of 14 bytes Ethernet, 20 IP, 8 UDP and 5 of payload.
    Daemon->Run({"ip", "neigh", "add", "10.1.1.9", "lladdr", "02:00:00:00:00:09", "dev", "veth0"});
    Daemon->Run({"bash", "-c", "echo -n hallo >/dev/udp/10.1.1.9/9"});
    views = Poll(T0 + 2000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].BytesSent, sent + 47);

    // Deactivated from outside, then hung up by the service.
    Daemon->Nmcli({"connection", "down", "LAN Handy"});
    views = Poll(T0 + 3000);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_Disconnected);
    EXPECT_EQ(views[0].HungUpAtMs, T0 + 3000);
    Daemon->Nmcli({"connection", "up", "LAN Handy"});
    views = Poll(T0 + 4000);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].State, RASCS_Connected);
    EXPECT_TRUE(Service.HangUp(views[1].Handle, T0 + 5000));
    EXPECT_FALSE(Active("LAN Handy"));
    EXPECT_EQ(Service.Find(views[1].Handle, T0 + 5000)->State, RASCS_Disconnected);
}

TEST_F(NmDaemonTest, APppoeLinkShowsItsEthernetParentBeforeAndWhileConnected)
{
    START_OR_SKIP(Options(false, true, true, ""));
    Daemon->AddProfile("pppoe", "DSL",
        {"ifname", "ppp0", "pppoe.parent", "veth1", "pppoe.username", "u", "pppoe.password", "p", "ipv6.method",
            "disabled"});
    ASSERT_EQ(Entries().at(0).DeviceName, "veth1");
    Daemon->Nmcli({"connection", "up", "DSL"});
    std::vector<TConnectionView> views = Poll(T0);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].Entry, "DSL");
    EXPECT_EQ(views[0].State, RASCS_Connected);
    EXPECT_EQ(views[0].DeviceType, "PPPoE");
    EXPECT_EQ(views[0].DeviceName, "veth1");
    EXPECT_EQ(Entries().at(0).DeviceName, "veth1");
    EXPECT_TRUE(Service.HangUp(views[0].Handle, T0 + 1000));
    EXPECT_FALSE(Active("DSL"));
}

TEST_F(NmDaemonTest, AModemActivationThroughModemManager)
{
    for (const char* kind : {"gsm", "cdma"}) {
        SCOPED_TRACE(kind);
        START_OR_SKIP(Options(false, false, false, kind));
        TTempDir folder;
        TRasService service(folder.Path());
        Daemon->AddProfile(kind, "Mobil",
            std::string(kind) == "gsm" ? std::vector<std::string>{"ifname", "cdc-wdm0", "gsm.apn", "internet"}
                                       : std::vector<std::string>{"ifname", "cdc-wdm0"});
        Daemon->Nmcli({"connection", "up", "Mobil"});
        ASSERT_TRUE(TNmBus::Shared().SyncForTests());
        std::vector<TConnectionView> views = service.Connections(T0);
        ASSERT_EQ(views.size(), 1u);
        EXPECT_EQ(views[0].State, RASCS_Connected);
        EXPECT_EQ(views[0].DeviceType, "modem");
        EXPECT_EQ(views[0].DeviceName, "cdc-wdm0");
        Daemon.reset();
    }
}

// Runs body in a child process that has entered the daemon's namespaces and then become
// "nobody", as a user outside the active desktop session; its standard error.
std::string AsNobodyInside(const TNmDaemon& daemon, const std::string& folder, const std::function<void()>& body)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe[1], 2);
        const std::string ns = daemon.Root().substr(0, daemon.Root().rfind('/')) + "/ns/";
        const int net = ::open((ns + "net").c_str(), O_RDONLY);
        const int mnt = ::open((ns + "mnt").c_str(), O_RDONLY);
        if (::setns(net, CLONE_NEWNET) != 0 || ::setns(mnt, CLONE_NEWNS) != 0 || ::setgroups(0, nullptr) != 0 ||
            ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) {
            std::fprintf(stderr, "cannot enter the namespace as nobody\n");
            ::_exit(1);
        }
        ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/run/dbus/system_bus_socket", 1);
        ::setenv("ZELTIX_RAS_DIR", folder.c_str(), 1);
        body();
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<size_t>(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return err;
}

TEST_F(NmDaemonTest, PolicyKitsRefusalsOfHangUpAndStatisticsAreSaidWithNetworkManagersAnswer)
{
    START_OR_SKIP(Options(true, true, false, ""));
    AddEthernet("LAN Handy", "veth0", "10.1.1.1/24");
    Daemon->Nmcli({"connection", "up", "LAN Handy"});
    const std::string device = DevicePath("veth0");
    TTempDir shared;
    ::chmod(shared.Path().c_str(), 0777);

    // Where the interface is not visible, the counters are NetworkManager's, which it keeps
    // only when asked: asking is refused, once, and the rate stays as it was.
    const std::string err = AsNobodyInside(*Daemon, shared.Path(), [&shared] {
        ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent", 1);
        TRasService service(shared.Path());
        for (int64_t t = T0; t < T0 + 3000; t += 1000) {
            service.Connections(t);
            TNmBus::Shared().SyncForTests();
        }
        try {
            service.HangUp(kFirstNmHandle, T0 + 3000);
        } catch (const ERasHangUpDenied& e) {
            std::fprintf(stderr, "denied: %s\n", e.what());
        }
    });
    const std::string refusal = "NetworkManager refused to count the bytes of its devices every second "
                                "(org.freedesktop.NetworkManager.PermissionDenied: ";
    EXPECT_NE(err.find(refusal), std::string::npos) << err;
    EXPECT_EQ(err.find(refusal), err.rfind(refusal)) << "said once: " << err;
    EXPECT_NE(err.find("denied: NetworkManager refused to deactivate the connection 0x80000001 (\"LAN Handy\"): "
                       "org.freedesktop.NetworkManager.PermissionDenied: Not authorized to deactivate connections"),
        std::string::npos)
        << err;
    EXPECT_EQ(RefreshRate(device), 0u);
    EXPECT_TRUE(Active("LAN Handy"));

    // Root may: the rate is raised while the counters come from NetworkManager, and put back
    // once they come from the kernel again, and when a process that raised it ends.
    ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent", 1);
    ASSERT_EQ(Poll(T0).size(), 1u);
    ASSERT_TRUE(TNmBus::Shared().SyncForTests());
    EXPECT_EQ(RefreshRate(device), 1000u);
    ::setenv("ZELTIX_SYSTEM_ROOT", Daemon->Root().c_str(), 1);
    ASSERT_EQ(Poll(T0 + 1000).size(), 1u);
    ASSERT_TRUE(TNmBus::Shared().SyncForTests());
    EXPECT_EQ(RefreshRateOnceTaken(device, 0), 0u);

    // NetworkManager takes a call only after asking the bus who sent it, so a put-back sent
    // just before the end was lost now and then: a few short runs in a row show it.
    for (int run = 0; run < 3; ++run) {
        TChildResult rasdial = RunChild(RASDIAL_PATH, {},
            {"ZELTIX_RAS_DIR=" + Folder.Path(), "ZELTIX_SYSTEM_ROOT=/nonexistent",
                "ZELTIX_SYSTEM_BUS=" + Daemon->Address()});
        EXPECT_NE(rasdial.Out.find("LAN Handy 0x80000001 RASCS_Connected"), std::string::npos) << rasdial.Out;
        EXPECT_EQ(RefreshRate(device), 0u) << "put back when rasdial ended, run " << run;
    }
}

TEST_F(NmDaemonTest, ARestartedDaemonsReusedPathsKeepTheSessionsApart)
{
    START_OR_SKIP();
    // Started in this order, the two connections swap their paths at NetworkManager's restart.
    AddEthernet("LAN Zwei", "veth1", "10.1.2.1/24");
    AddEthernet("LAN Handy", "veth0", "10.1.1.1/24");
    Daemon->Nmcli({"connection", "up", "LAN Zwei"});
    Daemon->Nmcli({"connection", "up", "LAN Handy"});
    std::map<HRASCONN, std::string> entries;
    for (const TConnectionView& view : Poll(T0))
        entries[view.Handle] = view.Entry;
    ASSERT_EQ(entries.size(), 2u);

    // Every poll, after a restart between two polls and while and after NetworkManager is off
    // the bus for two, shows both connected under their handles: nothing is hung up, nothing
    // dialled anew, and no handle is another profile's.
    auto expectUnbroken = [&](int64_t t) {
        std::map<HRASCONN, std::string> seen;
        for (const TConnectionView& view : Poll(t)) {
            EXPECT_EQ(view.State, RASCS_Connected) << view.Entry << " at " << t;
            seen[view.Handle] = view.Entry;
        }
        EXPECT_EQ(seen, entries) << t;
    };
    Daemon->Restart();
    expectUnbroken(T0 + 1000);
    expectUnbroken(T0 + 2000);
    Daemon->Stop();
    expectUnbroken(T0 + 3000);
    expectUnbroken(T0 + 4000);
    Daemon->Start();
    for (int64_t t = T0 + 5000; t <= T0 + 7000; t += 1000)
        expectUnbroken(t);
}

TEST_F(NmDaemonTest, ABusRestartedUnderTheServiceIsFoundAgain)
{
    START_OR_SKIP();
    AddEthernet("LAN Handy", "veth0", "10.1.1.1/24");
    Daemon->Nmcli({"connection", "up", "LAN Handy"});
    ASSERT_EQ(Poll(T0).size(), 1u);
    Daemon->RestartBus();
    std::vector<TConnectionView> views;
    // The service looks for a lost bus again after a few seconds of its own time.
    for (int64_t t = T0 + 1000; t <= T0 + 12000; t += 1000)
        views = Poll(t);
    ASSERT_FALSE(views.empty());
    EXPECT_EQ(views.back().Entry, "LAN Handy");
    EXPECT_EQ(views.back().State, RASCS_Connected);
    EXPECT_EQ(Entries().size(), 1u);
}

} // namespace
