#include "platform/Winsock.h"

#include "platform/Seams.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace Winsock {

namespace {

typedef std::array<uint8_t, 4> TAddress;

thread_local int LastError = 0;

// The storage gethostbyname answers with; it lives until the thread's next look-up.
struct THostStorage {
    std::string Name;
    std::vector<TAddress> Addresses;
    std::vector<char*> AddressList;
    char* NoAliases[1] = {nullptr};
    hostent Entry{};
};
thread_local THostStorage HostStorage;

void Record(std::string call)
{
    WinsockState().Calls.push_back(std::move(call));
}

int Fail(int error)
{
    LastError = error;
    return SOCKET_ERROR;
}

bool Started()
{
    if (WinsockState().Startups > 0)
        return true;
    LastError = WSANOTINITIALISED;
    return false;
}

std::string LocalHostName()
{
    if (const std::optional<std::string>& chosen = PlatformSeams().Sockets.HostName)
        return *chosen;
    char name[256] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0)
        return {};
    return name;
}

std::vector<TAddress> LocalAddresses()
{
    if (const auto& chosen = PlatformSeams().Sockets.LocalAddresses)
        return *chosen;
    std::vector<TAddress> others;
    std::vector<TAddress> loopback;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !(it->ifa_flags & IFF_UP))
            continue;
        TAddress address;
        std::memcpy(address.data(), &reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr, 4);
        bool isLoopback = (it->ifa_flags & IFF_LOOPBACK) || address[0] == 127;
        std::vector<TAddress>& target = isLoopback ? loopback : others;
        if (std::find(target.begin(), target.end(), address) == target.end())
            target.push_back(address);
    }
    ::freeifaddrs(list);
    others.insert(others.end(), loopback.begin(), loopback.end());
    return others;
}

// Asks the system's resolver for the IPv4 addresses of a name other than the local host's.
std::optional<std::vector<TAddress>> ResolvedAddresses(const char* name, std::string& canonicalName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0)
        return std::nullopt;
    std::vector<TAddress> addresses;
    for (addrinfo* it = result; it; it = it->ai_next) {
        if (it->ai_canonname && canonicalName.empty())
            canonicalName = it->ai_canonname;
        TAddress address;
        std::memcpy(address.data(), &reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr, 4);
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    ::freeaddrinfo(result);
    return addresses;
}

hostent* Answer(std::string name, std::vector<TAddress> addresses)
{
    THostStorage& storage = HostStorage;
    storage.Name = std::move(name);
    storage.Addresses = std::move(addresses);
    storage.AddressList.clear();
    for (TAddress& address : storage.Addresses)
        storage.AddressList.push_back(reinterpret_cast<char*>(address.data()));
    storage.AddressList.push_back(nullptr);
    storage.Entry.h_name = storage.Name.data();
    storage.Entry.h_aliases = storage.NoAliases;
    storage.Entry.h_addrtype = AF_INET;
    storage.Entry.h_length = 4;
    storage.Entry.h_addr_list = storage.AddressList.data();
    return &storage.Entry;
}

} // namespace

TWinsockState& WinsockState()
{
    // Never destroyed: a socket component that goes at program end still cleans up.
    alignas(TWinsockState) static unsigned char Storage[sizeof(TWinsockState)];
    static TWinsockState* const State = new (Storage) TWinsockState;
    return *State;
}

int WSAStartup(WORD versionRequested, LPWSADATA data)
{
    Record("WSAStartup(" + std::to_string(versionRequested & 0xFF) + "." + std::to_string(versionRequested >> 8) + ")");
    TWinsockState& state = WinsockState();
    ++state.StartupCalls;
    ++state.Startups;
    if (data) {
        std::memset(data, 0, sizeof(*data));
        // The layer speaks up to 2.2 and answers a request for less with what was asked for.
        bool above = (versionRequested & 0xFF) > 2 || ((versionRequested & 0xFF) == 2 && (versionRequested >> 8) > 2);
        data->wVersion = above ? 0x0202 : versionRequested;
        data->wHighVersion = 0x0202;
        std::snprintf(data->szDescription, sizeof(data->szDescription), "WinSock 2.0");
        std::snprintf(data->szSystemStatus, sizeof(data->szSystemStatus), "Running");
        data->iMaxSockets = 32767;
        data->iMaxUdpDg = 65467;
    }
    return 0;
}

int WSACleanup()
{
    Record("WSACleanup()");
    TWinsockState& state = WinsockState();
    ++state.CleanupCalls;
    if (state.Startups == 0)
        return Fail(WSANOTINITIALISED);
    --state.Startups;
    return 0;
}

int WSAGetLastError()
{
    return LastError;
}

SOCKET socket(int af, int type, int protocol)
{
    Record("socket(" + std::to_string(af) + "," + std::to_string(type) + "," + std::to_string(protocol) + ")");
    if (!Started())
        return INVALID_SOCKET;
    if (const std::optional<SOCKET>& chosen = PlatformSeams().Sockets.SocketHandle) {
        LastError = WSAEINVAL;
        return *chosen;
    }
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        LastError = WSAEINVAL;
        return INVALID_SOCKET;
    }
    WinsockState().OpenSockets.insert(static_cast<SOCKET>(fd));
    return static_cast<SOCKET>(fd);
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
{
    bool isLinger = level == SOL_SOCKET && optname == SO_LINGER;
    Winsock::linger windowsLinger{};
    if (isLinger && optval && optlen >= static_cast<int>(sizeof(windowsLinger)))
        std::memcpy(&windowsLinger, optval, sizeof(windowsLinger));
    Record(isLinger ? "setsockopt(SO_LINGER," + std::to_string(windowsLinger.l_onoff) + "," +
                std::to_string(windowsLinger.l_linger) + "," + std::to_string(optlen) + ")"
                    : "setsockopt(" + std::to_string(level) + "," + std::to_string(optname) + "," +
                std::to_string(optlen) + ")");
    if (!Started())
        return SOCKET_ERROR;
    if (!WinsockState().OpenSockets.count(s))
        return Fail(WSAENOTSOCK);
    if (!optval || optlen < 0 || (isLinger && optlen < static_cast<int>(sizeof(windowsLinger))))
        return Fail(WSAEFAULT);
    int result;
    if (isLinger) {
        // The system's record has two ints where Windows has two 16-bit fields.
        ::linger posixLinger{windowsLinger.l_onoff != 0 ? 1 : 0, windowsLinger.l_linger};
        result = ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &posixLinger, sizeof(posixLinger));
    } else {
        result = ::setsockopt(static_cast<int>(s), level, optname, optval, static_cast<socklen_t>(optlen));
    }
    return result == 0 ? 0 : Fail(WSAEINVAL);
}

int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events)
{
    Record("WSAAsyncSelect(" + std::to_string(msg) + "," + std::to_string(events) + ")");
    if (!Started())
        return SOCKET_ERROR;
    TWinsockState& state = WinsockState();
    if (!state.OpenSockets.count(s))
        return Fail(WSAENOTSOCK);
    state.Selections[s] = TAsyncSelection{hwnd, msg, events};
    return 0;
}

int closesocket(SOCKET s)
{
    Record("closesocket()");
    // Only sockets made here are closed, so a stray number never closes someone else's file.
    if (!Started())
        return SOCKET_ERROR;
    TWinsockState& state = WinsockState();
    if (!state.OpenSockets.count(s))
        return Fail(WSAENOTSOCK);
    state.OpenSockets.erase(s);
    state.Selections.erase(s);
    ::close(static_cast<int>(s));
    return 0;
}

int gethostname(char* name, int namelen)
{
    Record("gethostname(" + std::to_string(namelen) + ")");
    if (!Started())
        return SOCKET_ERROR;
    std::string hostName = LocalHostName();
    if (!name || namelen <= 0 || hostName.size() + 1 > static_cast<size_t>(namelen))
        return Fail(WSAEFAULT);
    std::memcpy(name, hostName.c_str(), hostName.size() + 1);
    return 0;
}

hostent* gethostbyname(const char* name)
{
    const std::string lookedUp = name ? name : "";
    WinsockState().LastLookedUp = lookedUp;
    Record("gethostbyname(" + lookedUp + ")");
    if (!Started())
        return nullptr;
    std::string localName = LocalHostName();
    if (lookedUp.empty() || ::strcasecmp(lookedUp.c_str(), localName.c_str()) == 0) {
        std::vector<TAddress> addresses = LocalAddresses();
        if (addresses.empty()) {
            LastError = WSANO_DATA;
            return nullptr;
        }
        return Answer(localName, std::move(addresses));
    }
    std::string canonicalName;
    std::optional<std::vector<TAddress>> addresses = ResolvedAddresses(lookedUp.c_str(), canonicalName);
    if (!addresses || addresses->empty()) {
        LastError = WSAHOST_NOT_FOUND;
        return nullptr;
    }
    return Answer(canonicalName.empty() ? lookedUp : canonicalName, std::move(*addresses));
}

std::optional<TAsyncSelection> AsyncSelectionOf(SOCKET s)
{
    const std::map<SOCKET, TAsyncSelection>& selections = WinsockState().Selections;
    auto it = selections.find(s);
    if (it == selections.end())
        return std::nullopt;
    return it->second;
}

} // namespace Winsock
