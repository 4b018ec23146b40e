// Reading peer files and the link file: what a peer's options make of its entry, and which
// files are passed over.

#include "ras/service/PppPeers.h"
#include "ras/service/PppLinkTable.h"
#include "tests/support/PppTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

bool NoInterface(const std::string&)
{
    return false;
}

TEST(PppPeerFileTest, SerialDeviceAndSpeed)
{
    TPppPeer peer = ParsePeerFile("isp",
        "# dial the provider\n/dev/ttyUSB0\n115200\n"
        "connect \"/usr/sbin/chat -v -f /etc/chatscripts/isp\"\n"
        "noauth defaultroute usepeerdns\n",
        NoInterface);
    EXPECT_EQ(peer.Name, "isp");
    EXPECT_EQ(peer.DeviceType, "modem");
    EXPECT_EQ(peer.DeviceName, "/dev/ttyUSB0");
    EXPECT_EQ(peer.Speed, 115200u);
    EXPECT_EQ(peer.LinkName, "");
}

TEST(PppPeerFileTest, NumbersThatAreArgumentsOrNoLineRateAreNoSpeed)
{
    TPppPeer peer = ParsePeerFile("isp", "ttyS1 mtu 1200 mru 9600 holdoff 300 idle 600 12345\n", NoInterface);
    EXPECT_EQ(peer.DeviceName, "/dev/ttyS1");
    EXPECT_EQ(peer.Speed, 0u);

    peer = ParsePeerFile("isp", "/dev/ttyACM0 57600 # 115200 only in a comment\n", NoInterface);
    EXPECT_EQ(peer.Speed, 57600u);
}

TEST(PppPeerFileTest, PppoePluginWithNicWordOrBareInterface)
{
    TPppPeer peer =
        ParsePeerFile("dsl", "plugin rp-pppoe.so nic-eth0\nuser \"me@isp\"\nlinkname dsl-link\n", NoInterface);
    EXPECT_EQ(peer.DeviceType, "PPPoE");
    EXPECT_EQ(peer.DeviceName, "eth0");
    EXPECT_EQ(peer.LinkName, "dsl-link");

    // The interface may come before the plugin line, and be given bare.
    peer = ParsePeerFile("dsl", "enp3s0\nnoauth\nplugin /usr/lib/pppd/2.4.9/pppoe.so\n",
        [](const std::string& name) { return name == "enp3s0"; });
    EXPECT_EQ(peer.DeviceType, "PPPoE");
    EXPECT_EQ(peer.DeviceName, "enp3s0");
}

TEST(PppPeerFileTest, QuotesEscapesAndInterfaceOptions)
{
    TPppPeer peer = ParsePeerFile("x", "'/dev/tty USB9' ifname ppp-x\n", NoInterface);
    EXPECT_EQ(peer.DeviceName, "/dev/tty USB9");
    EXPECT_EQ(peer.Interface, "ppp-x");
    peer = ParsePeerFile("x", "/dev/ttyS0 unit 3\n", NoInterface);
    EXPECT_EQ(peer.Interface, "ppp3");
    peer = ParsePeerFile("x", "/dev/ttyS\\ 0 user", NoInterface); // an option cut off at the end
    EXPECT_EQ(peer.DeviceName, "/dev/ttyS 0");
}

TEST(PppPeerFileTest, NoDeviceIsTheSerialLinePppdRunsOn)
{
    TPppPeer peer = ParsePeerFile("plain", "noauth\n", NoInterface);
    EXPECT_EQ(peer.DeviceType, "modem");
    EXPECT_EQ(peer.DeviceName, "");
}

// A peer that talks through a command or a socket has no serial device: the device name is
// what it talks through. Every device name is as far as the connection record's 128 characters
// hold it, in ANSI; one that cannot be is passed over.
TEST(PppPeerFileTest, PtyAndSocketPeersNameWhatTheyTalkThrough)
{
    const std::string longCommand = "ssh -t gw.example.net " + std::string(200, 'a');
    struct TCase {
        std::string Options;
        std::string DeviceName;
        std::string DeviceType = "modem";
    };
    for (const TCase& c : std::vector<TCase>{
             {"pty \"ssh -t gw.example.net pppd notty\"\nnoauth\n", "ssh -t gw.example.net pppd notty"},
             {"/dev/ttyS0 115200 pty 'pptp vpn.example.net --nolaunchpppd'\n", "pptp vpn.example.net --nolaunchpppd"},
             {"socket 192.0.2.1:5000\n", "192.0.2.1:5000"},
             {"pty '" + longCommand + "'\n", longCommand.substr(0, 128)},
             {"pty 'ssh gr\xC3\xBCn.example'\n", "ssh gr\xFCn.example"},
             {"pty ''\n", "pty"},
             {"pty 'ssh \xE4\xB8\xAD'\n", "pty"},      // not representable in ANSI
             {"pty 'ssh host\nsecond line'\n", "pty"}, // a line break would split the log line
             {"tty" + std::string(125, 'a') + "\n", "/dev/tty" + std::string(120, 'a')}, // found by fuzz_ppp_files
             {"/dev/ttyUSB\xC3\xBC\n", "/dev/ttyUSB\xFC"},
             {"'/dev/tty\xE4\xB8\xAD' /dev/ttyS1\n", "/dev/ttyS1"},
             {"plugin rp-pppoe.so nic-" + std::string(200, 'e') + "\n", std::string(128, 'e'), "PPPoE"},
             {"plugin rp-pppoe.so nic-eth0 'nic-eth\x01'\n", "eth0", "PPPoE"},
         }) {
        TPppPeer peer = ParsePeerFile("vpn", c.Options, NoInterface);
        EXPECT_EQ(peer.DeviceType, c.DeviceType) << c.Options;
        EXPECT_EQ(peer.DeviceName, c.DeviceName) << c.Options;
    }
}

TEST(PppPeersFolderTest, NoPeersFolderNoPeers)
{
    TPppTree tree;
    std::filesystem::remove_all(tree.Root() + "/etc/ppp");
    EXPECT_TRUE(ReadPppPeers().empty());
}

TEST(PppPeersFolderTest, AFolderThatCannotBeReadIsSaidOnce)
{
    TPppTree tree;
    const std::string folder = tree.Root() + "/etc/ppp/peers";
    std::filesystem::remove_all(folder);
    tree.Write("/etc/ppp/peers", "not a folder\n");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ReadPppPeers().empty());
    EXPECT_TRUE(ReadPppPeers().empty());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
        "zeltix-ras: " + folder +
            " cannot be read (Not a directory): its pppd peers are not listed. "
            "Debian lets the group dip read it.\n");
}

TEST(PppPeersFolderTest, SortedByNameAndOddFilesPassedOver)
{
    TPppTree tree;
    tree.Peer("zeta", "/dev/ttyUSB0 115200\n");
    tree.Peer("alpha", "plugin rp-pppoe.so nic-eth0\n");
    tree.Peer(".alpha.swp", "binary junk");
    tree.Peer("huge", std::string(70 * 1024, '#'));
    std::filesystem::create_directory(tree.Root() + "/etc/ppp/peers/subfolder");
    // A FIFO would block a plain open until someone writes to it.
    ASSERT_EQ(::mkfifo((tree.Root() + "/etc/ppp/peers/fifo").c_str(), 0644), 0);

    std::vector<TPppPeer> peers = ReadPppPeers();
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_EQ(peers[0].Name, "alpha");
    EXPECT_EQ(peers[0].DeviceType, "PPPoE");
    EXPECT_EQ(peers[1].Name, "zeta");
    EXPECT_EQ(peers[1].Speed, 115200u);
}

TEST(PppPeersFolderTest, Utf8FileNamesBecomeAnsiEntryNames)
{
    TPppTree tree;
    tree.Peer("Gr\xC3\xBC\x6E", "/dev/ttyS0\n");   // "Grün"
    tree.Peer("\xE2\x82\xAC-isp", "/dev/ttyS1\n"); // the euro sign is 0x80 in Windows-1252
    tree.Peer("\xE4\xB8\xAD", "/dev/ttyS2\n");     // not representable: no entry
    std::vector<TPppPeer> peers = ReadPppPeers();
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_EQ(peers[0].Name, "Gr\xFCn");
    EXPECT_EQ(peers[0].FileName, "Gr\xC3\xBC\x6E");
    EXPECT_EQ(peers[1].Name, "\x80-isp");
}

TEST(PppLinkFileTest, RoundTripAndDamage)
{
    TPppLinkTable table;
    table.NextHandle = kFirstPppHandle + 2;
    table.Links.push_back({kFirstPppHandle, 42, 123456, 1000, 2000, std::nullopt, "my isp"});
    table.Links.push_back({kFirstPppHandle + 1, 43, 7, 1500, std::nullopt, 3000, "dsl"});
    std::string bytes = SerializePppLinks(table);
    EXPECT_EQ(ParsePppLinks(bytes), table);

    EXPECT_FALSE(ParsePppLinks(bytes.substr(0, bytes.size() - 1)));         // cut off
    EXPECT_FALSE(ParsePppLinks(bytes.substr(0, bytes.rfind("End"))));       // no end line
    EXPECT_FALSE(ParsePppLinks("ZeltixPppLinks 1\nNextHandle 5\nEnd 0\n")); // demo range
    std::string badPid = bytes;
    badPid.replace(badPid.find(" 42 "), 4, " -1 ");
    EXPECT_FALSE(ParsePppLinks(badPid));
    EXPECT_FALSE(ParsePppLinks(""));
}

} // namespace
