#pragma once

#include "platform/WinTypes.h"
#include "platform/Windows.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Windows sockets 1.1 over POSIX sockets. The system already declares socket, setsockopt,
// gethostname and gethostbyname globally, so the stand-in keeps the published names inside the
// namespace Winsock. Address families, socket types, protocols, levels and option names are the
// system's own (AF_INET, SOCK_STREAM, IPPROTO_TCP, SOL_SOCKET, SO_LINGER); the records that
// differ on Windows (linger, hostent, WSADATA) are Windows records here.
namespace Winsock {

typedef unsigned short u_short;
typedef UINT_PTR SOCKET;

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr std::size_t WSADESCRIPTION_LEN = 256;
constexpr std::size_t WSASYS_STATUS_LEN = 128;

// Events a window asks WSAAsyncSelect to be told about.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

// Error codes WSAGetLastError reports.
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSANO_DATA = 11004;

// The Windows layout of the socket layer's description (the 32-bit record of version 1.1).
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;
static_assert(offsetof(WSADATA, szDescription) == 4);
static_assert(offsetof(WSADATA, szSystemStatus) == 261);
static_assert(offsetof(WSADATA, iMaxSockets) == 390);
static_assert(offsetof(WSADATA, iMaxUdpDg) == 392);

// The Windows lingering option: two 16-bit fields, 4 bytes.
struct linger {
    u_short l_onoff;
    u_short l_linger;
};
static_assert(sizeof(linger) == 4);

// The Windows host entry; addresses in h_addr_list are h_length bytes in network order, the
// list ends with a null pointer.
struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

// Starts the socket layer for this process and describes it in data. Returns 0.
int WSAStartup(WORD versionRequested, LPWSADATA data);
// Stops the socket layer once per WSAStartup; SOCKET_ERROR when it is not started.
int WSACleanup();
int WSAGetLastError();

SOCKET socket(int af, int type, int protocol);
// SO_LINGER at SOL_SOCKET takes the Windows linger record; other options pass on unchanged.
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
// Remembers that window hwnd wants message msg for the given events of socket s. A socket that
// never connects has nothing to report, so nothing is delivered yet.
int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events);
int closesocket(SOCKET s);
// The local host name; SOCKET_ERROR (WSAEFAULT) when it does not fit into namelen bytes.
int gethostname(char* name, int namelen);
// The host entry of a name, in storage of the calling thread that the next call reuses. The
// local host name (in any case) and the empty name answer, as on Windows, with the machine's
// interface addresses, those of other interfaces first and loopback last; any other name goes
// to the resolver. nullptr when there is no entry.
hostent* gethostbyname(const char* name);

// What WSAAsyncSelect remembered for a socket.
struct TAsyncSelection {
    HWND Window = nullptr;
    UINT Msg = 0;
    long Events = 0;
};
std::optional<TAsyncSelection> AsyncSelectionOf(SOCKET s);

// The socket layer of this process: what it has started and made, and every call in order.
// Sockets are made and used on the user-interface thread, so it needs no lock. The machine
// underneath (host name, addresses, a socket that fails) is TPlatformSeams::Sockets.
struct TWinsockState {
    // WSAStartup calls not yet undone by WSACleanup.
    int Startups = 0;
    int StartupCalls = 0;
    int CleanupCalls = 0;
    std::set<SOCKET> OpenSockets;
    std::map<SOCKET, TAsyncSelection> Selections;
    // Every call of the stand-in, as a short text such as "socket(2,1,6)".
    std::vector<std::string> Calls;
    // The name gethostbyname was last asked for.
    std::string LastLookedUp;
};
TWinsockState& WinsockState();

} // namespace Winsock
