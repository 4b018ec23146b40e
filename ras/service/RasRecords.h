#pragma once

#include <cstddef>
#include <cstdint>

// The published ANSI interface of the dial-up library: its records, constants and functions,
// laid out byte for byte as the Windows library hands them out. librasapi32.so implements the
// functions; the program's dial-up code sees this header through platform/RasApi.h.

// The basic types with their published widths. Identical typedefs may be repeated, so this
// agrees with any other header that declares them the same way.
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef uint32_t UINT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
// A connection handle is a 32-bit number here, so that records have the published size.
typedef uint32_t HRASCONN;

#define ZELTIX_RAS_API __attribute__((visibility("default")))

constexpr DWORD RAS_MaxEntryName = 256;
constexpr DWORD RAS_MaxDeviceType = 16;
constexpr DWORD RAS_MaxDeviceName = 128;

enum RASCONNSTATE : int32_t {
    RASCS_OpenPort = 0,
    RASCS_PortOpened,
    RASCS_ConnectDevice,
    RASCS_DeviceConnected,
    RASCS_AllDevicesConnected,
    RASCS_Authenticate,
    RASCS_AuthNotify,
    RASCS_AuthRetry,
    RASCS_AuthCallback,
    RASCS_AuthChangePassword,
    RASCS_AuthProject,
    RASCS_AuthLinkSpeed,
    RASCS_AuthAck,
    RASCS_ReAuthenticate,
    RASCS_Authenticated,
    RASCS_PrepareForCallback,
    RASCS_WaitForModemReset,
    RASCS_WaitForCallback,
    RASCS_Projected,
    RASCS_StartAuthentication,
    RASCS_CallbackComplete,
    RASCS_LogonNetwork,
    RASCS_SubEntryConnected,
    RASCS_SubEntryDisconnected,
    RASCS_Interactive = 4096,
    RASCS_RetryAuthentication,
    RASCS_CallbackSetByCaller,
    RASCS_PasswordExpired,
    RASCS_InvokeEapUI,
    RASCS_Connected = 8192,
    RASCS_Disconnected,
};

// Result codes of the functions below; 0 is success.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_PORT_ALREADY_OPEN = 602;
constexpr DWORD ERROR_BUFFER_TOO_SMALL = 603;
constexpr DWORD ERROR_PORT_NOT_CONNECTED = 606;
constexpr DWORD ERROR_DEVICE_DOES_NOT_EXIST = 608;
constexpr DWORD ERROR_BUFFER_INVALID = 610;
constexpr DWORD ERROR_ALREADY_DISCONNECTING = 617;
constexpr DWORD ERROR_PORT_DISCONNECTED = 619;
constexpr DWORD ERROR_CANNOT_OPEN_PHONEBOOK = 621;
constexpr DWORD ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
constexpr DWORD ERROR_CORRUPT_PHONEBOOK = 625;
constexpr DWORD ERROR_DISCONNECTION = 628;
constexpr DWORD ERROR_REMOTE_DISCONNECTION = 629;
constexpr DWORD ERROR_HARDWARE_FAILURE = 630;
constexpr DWORD ERROR_USER_DISCONNECTION = 631;
constexpr DWORD ERROR_INVALID_SIZE = 632;
constexpr DWORD ERROR_PORT_NOT_AVAILABLE = 633;
constexpr DWORD ERROR_UNKNOWN = 635;
constexpr DWORD ERROR_REQUEST_TIMEOUT = 638;
constexpr DWORD ERROR_AUTH_INTERNAL = 645;
constexpr DWORD ERROR_NO_DIALIN_PERMISSION = 649;
constexpr DWORD ERROR_SERVER_NOT_RESPONDING = 650;
constexpr DWORD ERROR_FROM_DEVICE = 651;
constexpr DWORD ERROR_LINE_BUSY = 676;
constexpr DWORD ERROR_VOICE_ANSWER = 677;
constexpr DWORD ERROR_NO_ANSWER = 678;
constexpr DWORD ERROR_NO_CARRIER = 679;
constexpr DWORD ERROR_NO_DIALTONE = 680;
constexpr DWORD ERROR_AUTHENTICATION_FAILURE = 691;
constexpr DWORD ERROR_PORT_OR_DEVICE = 692;
constexpr DWORD ERROR_PPP_TIMEOUT = 718;
constexpr DWORD ERROR_PPP_NO_PROTOCOLS_CONFIGURED = 720;
constexpr DWORD ERROR_PPP_NO_RESPONSE = 721;
constexpr DWORD ERROR_PPP_LCP_TERMINATED = 734;
constexpr DWORD ERROR_UNREACHABLE = 769;
constexpr DWORD ERROR_HANGUP_FAILED = 753;
constexpr DWORD ERROR_DEVICE_NOT_FOUND = 797;

#pragma pack(push, 4)

typedef struct tagRASENTRYNAMEA {
    DWORD dwSize;
    CHAR szEntryName[RAS_MaxEntryName + 1];
} RASENTRYNAMEA, *LPRASENTRYNAMEA;

typedef struct tagRASCONNA {
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[RAS_MaxEntryName + 1];
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
} RASCONNA, *LPRASCONNA;

typedef struct tagRASCONNSTATUSA {
    DWORD dwSize;
    RASCONNSTATE rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
} RASCONNSTATUSA, *LPRASCONNSTATUSA;

#pragma pack(pop)

static_assert(sizeof(RASCONNSTATE) == 4);

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(offsetof(RASENTRYNAMEA, dwSize) == 0);
static_assert(offsetof(RASENTRYNAMEA, szEntryName) == 4);

static_assert(sizeof(RASCONNA) == 412);
static_assert(offsetof(RASCONNA, hrasconn) == 4);
static_assert(offsetof(RASCONNA, szEntryName) == 8);
static_assert(offsetof(RASCONNA, szDeviceType) == 265);
static_assert(offsetof(RASCONNA, szDeviceName) == 282);

static_assert(sizeof(RASCONNSTATUSA) == 160);
static_assert(offsetof(RASCONNSTATUSA, rasconnstate) == 4);
static_assert(offsetof(RASCONNSTATUSA, dwError) == 8);
static_assert(offsetof(RASCONNSTATUSA, szDeviceType) == 12);
static_assert(offsetof(RASCONNSTATUSA, szDeviceName) == 29);

extern "C" {

ZELTIX_RAS_API DWORD RasEnumEntriesA(
    LPCSTR reserved, LPCSTR lpszPhonebook, LPRASENTRYNAMEA lpRasEntryName, LPDWORD lpcb, LPDWORD lpcEntries);
ZELTIX_RAS_API DWORD RasEnumConnectionsA(LPRASCONNA lprasconn, LPDWORD lpcb, LPDWORD lpcConnections);
ZELTIX_RAS_API DWORD RasGetConnectStatusA(HRASCONN hrasconn, LPRASCONNSTATUSA lprasconnstatus);
ZELTIX_RAS_API DWORD RasHangUpA(HRASCONN hrasconn);
ZELTIX_RAS_API DWORD RasGetErrorStringA(UINT uErrorValue, LPSTR lpszErrorString, DWORD cBufSize);

// Not a dial-up function: replaces the library's wall clock (milliseconds since the Unix
// epoch) so tests can move time by hand. NULL restores the real clock. A C export rather than
// a seam object: callers reach the library only by name through GetProcAddress, across a C
// boundary that carries no C++ objects.
ZELTIX_RAS_API void ZeltixRasSetTimeSource(long long (*nowMs)(void));

} // extern "C"

// The same functions as pointer types, for callers that look them up at run time.
typedef DWORD (*TRasEnumEntriesA)(LPCSTR, LPCSTR, LPRASENTRYNAMEA, LPDWORD, LPDWORD);
typedef DWORD (*TRasEnumConnectionsA)(LPRASCONNA, LPDWORD, LPDWORD);
typedef DWORD (*TRasGetConnectStatusA)(HRASCONN, LPRASCONNSTATUSA);
typedef DWORD (*TRasHangUpA)(HRASCONN);
typedef DWORD (*TRasGetErrorStringA)(UINT, LPSTR, DWORD);
typedef void (*TZeltixRasSetTimeSource)(long long (*)(void));
