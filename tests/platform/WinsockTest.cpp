#include "platform/Winsock.h"

#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/SeamScope.h"

#include <gtest/gtest.h>

#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using Address = std::array<uint8_t, 4>;

class WinsockTest : public ::testing::Test {
protected:
    // The socket layer as at program start, with nothing recorded.
    void SetUp() override { *Sockets = {}; }

    TPlatformSeamScope Seams;
    TSeamScope<Winsock::TWinsockState> Sockets{Winsock::WinsockState()};
};

// Starts the layer for one test and stops it again, whatever the test asserts.
struct TStartedLayer {
    TStartedLayer() { Winsock::WSAStartup(0x0101, &Data); }
    ~TStartedLayer() { Winsock::WSACleanup(); }
    Winsock::WSADATA Data{};
};

std::vector<Address> AddressesOf(const Winsock::hostent* host)
{
    std::vector<Address> result;
    for (char** it = host->h_addr_list; *it; ++it) {
        Address address;
        std::memcpy(address.data(), *it, 4);
        result.push_back(address);
    }
    return result;
}

TEST_F(WinsockTest, StartupDescribesTheLayerAndEveryCleanupTakesOneStartBack)
{
    Winsock::WSADATA data;
    std::memset(&data, 0x55, sizeof(data));
    ASSERT_EQ(Winsock::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    EXPECT_STREQ(data.szDescription, "WinSock 2.0");
    EXPECT_STREQ(data.szSystemStatus, "Running");
    EXPECT_EQ(data.iMaxSockets, 32767);
    EXPECT_EQ(data.iMaxUdpDg, 65467);
    EXPECT_EQ(data.lpVendorInfo, nullptr);
    // A request above what the layer speaks gets its highest version.
    ASSERT_EQ(Winsock::WSAStartup(0x0303, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);

    EXPECT_EQ(Winsock::WSACleanup(), 0);
    EXPECT_EQ(Winsock::WSACleanup(), 0);
    EXPECT_EQ(Winsock::WSACleanup(), Winsock::SOCKET_ERROR);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSANOTINITIALISED);
    EXPECT_EQ(Winsock::WinsockState().StartupCalls, 2);
    EXPECT_EQ(Winsock::WinsockState().CleanupCalls, 3);
    EXPECT_EQ(Winsock::WinsockState().Calls,
        (std::vector<std::string>{
            "WSAStartup(1.1)", "WSAStartup(3.3)", "WSACleanup()", "WSACleanup()", "WSACleanup()"}));
}

TEST_F(WinsockTest, NothingWorksBeforeTheLayerIsStarted)
{
    EXPECT_EQ(Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), Winsock::INVALID_SOCKET);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSANOTINITIALISED);
    char name[64] = {};
    EXPECT_EQ(Winsock::gethostname(name, sizeof(name)), Winsock::SOCKET_ERROR);
    EXPECT_EQ(Winsock::gethostbyname(""), nullptr);
}

TEST_F(WinsockTest, LingerTakesTheWindowsRecordAndReachesTheSystemSocket)
{
    TStartedLayer layer;
    Winsock::SOCKET s = Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, Winsock::INVALID_SOCKET);

    for (Winsock::u_short seconds : {0, 7}) {
        Winsock::linger windowsLinger{1, seconds};
        ASSERT_EQ(Winsock::setsockopt(
                      s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&windowsLinger), sizeof(windowsLinger)),
            0);
        ::linger posixLinger{};
        socklen_t length = sizeof(posixLinger);
        ASSERT_EQ(::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &posixLinger, &length), 0);
        EXPECT_NE(posixLinger.l_onoff, 0);
        EXPECT_EQ(posixLinger.l_linger, seconds);
    }
    Winsock::linger off{0, 0};
    ASSERT_EQ(Winsock::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), 4), 0);
    ::linger posixLinger{};
    socklen_t length = sizeof(posixLinger);
    ::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &posixLinger, &length);
    EXPECT_EQ(posixLinger.l_onoff, 0);

    // Too short a record is refused rather than read past its end.
    EXPECT_EQ(
        Winsock::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), 2), Winsock::SOCKET_ERROR);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSAEFAULT);
    EXPECT_EQ(Winsock::closesocket(s), 0);
}

TEST_F(WinsockTest, AsyncSelectIsRememberedUntilTheSocketCloses)
{
    TStartedLayer layer;
    Winsock::SOCKET s = Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    HWND window = reinterpret_cast<HWND>(uintptr_t{0x4711});
    EXPECT_EQ(Winsock::WSAAsyncSelect(s, window, 1125, 61), 0);
    std::optional<Winsock::TAsyncSelection> selection = Winsock::AsyncSelectionOf(s);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->Window, window);
    EXPECT_EQ(selection->Msg, 1125u);
    EXPECT_EQ(selection->Events, 61);

    EXPECT_EQ(Winsock::closesocket(s), 0);
    EXPECT_FALSE(Winsock::AsyncSelectionOf(s));
    // Closed means gone: a second close and any further use are refused.
    EXPECT_EQ(Winsock::closesocket(s), Winsock::SOCKET_ERROR);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSAENOTSOCK);
    EXPECT_EQ(Winsock::WSAAsyncSelect(s, window, 1125, 61), Winsock::SOCKET_ERROR);
}

TEST_F(WinsockTest, SocketSeamsFailOrHandOutAHandleWithoutMakingAnything)
{
    TStartedLayer layer;
    Seams->Sockets.SocketHandle = Winsock::INVALID_SOCKET;
    EXPECT_EQ(Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), Winsock::INVALID_SOCKET);
    Seams->Sockets.SocketHandle = 0x12345;
    EXPECT_EQ(Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), 0x12345u);
    // A handle the layer never made is never closed on the system.
    EXPECT_EQ(Winsock::closesocket(0x12345), Winsock::SOCKET_ERROR);
    Seams->Sockets.SocketHandle.reset();
    Winsock::SOCKET s = Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_LT(s, 0x10000u);
    EXPECT_EQ(Winsock::closesocket(s), 0);
}

TEST_F(WinsockTest, HostNameMustFitWithItsTerminator)
{
    TStartedLayer layer;
    Seams->Sockets.HostName = "zeltix-host";
    char name[12];
    std::memset(name, 'x', sizeof(name));
    ASSERT_EQ(Winsock::gethostname(name, 12), 0);
    EXPECT_STREQ(name, "zeltix-host");
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(Winsock::gethostname(name, 11), Winsock::SOCKET_ERROR);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSAEFAULT);
    EXPECT_EQ(name[0], 'x');
}

TEST_F(WinsockTest, LocalHostNameInAnyCaseAndTheEmptyNameAnswerWithTheLocalAddresses)
{
    TStartedLayer layer;
    Seams->Sockets.HostName = "Zeltix-Host";
    std::vector<Address> injected{{192, 168, 0, 1}, {10, 0, 0, 7}, {127, 0, 0, 1}};
    Seams->Sockets.LocalAddresses = injected;

    for (const char* name : {"Zeltix-Host", "ZELTIX-HOST", ""}) {
        SCOPED_TRACE(name);
        Winsock::hostent* host = Winsock::gethostbyname(name);
        ASSERT_NE(host, nullptr);
        EXPECT_STREQ(host->h_name, "Zeltix-Host");
        EXPECT_EQ(host->h_addrtype, AF_INET);
        EXPECT_EQ(host->h_length, 4);
        ASSERT_NE(host->h_aliases, nullptr);
        EXPECT_EQ(host->h_aliases[0], nullptr);
        EXPECT_EQ(AddressesOf(host), injected);
        EXPECT_EQ(Winsock::WinsockState().LastLookedUp, name);
    }

    Seams->Sockets.LocalAddresses = std::vector<Address>{};
    EXPECT_EQ(Winsock::gethostbyname("zeltix-host"), nullptr);
    EXPECT_EQ(Winsock::WSAGetLastError(), Winsock::WSANO_DATA);
}

TEST_F(WinsockTest, OtherNamesGoToTheResolver)
{
    TStartedLayer layer;
    Seams->Sockets.HostName = "zeltix-host";
    Seams->Sockets.LocalAddresses = {{192, 168, 0, 1}};
    // A numeric name needs no network to resolve.
    Winsock::hostent* host = Winsock::gethostbyname("10.1.2.3");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(AddressesOf(host), (std::vector<Address>{{10, 1, 2, 3}}));
    EXPECT_EQ(Winsock::WinsockState().LastLookedUp, "10.1.2.3");
}

TEST_F(WinsockTest, TheMachinesOwnNameAnswersWithOtherInterfacesBeforeLoopback)
{
    TStartedLayer layer;
    char name[256] = {};
    ASSERT_EQ(Winsock::gethostname(name, sizeof(name)), 0);
    char systemName[256] = {};
    ::gethostname(systemName, sizeof(systemName) - 1);
    EXPECT_STREQ(name, systemName);

    bool hasOther = false;
    bool hasAny = false;
    ifaddrs* list = nullptr;
    ASSERT_EQ(::getifaddrs(&list), 0);
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !(it->ifa_flags & IFF_UP))
            continue;
        hasAny = true;
        if (!(it->ifa_flags & IFF_LOOPBACK))
            hasOther = true;
    }
    ::freeifaddrs(list);
    if (!hasAny)
        GTEST_SKIP() << "this machine has no IPv4 interface";

    Winsock::hostent* host = Winsock::gethostbyname(name);
    ASSERT_NE(host, nullptr);
    std::vector<Address> addresses = AddressesOf(host);
    ASSERT_FALSE(addresses.empty());
    // Once a loopback address appears, only loopback addresses follow.
    bool inLoopback = false;
    for (const Address& address : addresses) {
        if (address[0] == 127)
            inLoopback = true;
        else
            EXPECT_FALSE(inLoopback) << "an interface address follows a loopback address";
    }
    if (!hasOther)
        GTEST_SKIP() << "this machine has only loopback addresses";
    EXPECT_NE(addresses.front()[0], 127);
}

} // namespace
