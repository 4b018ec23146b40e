#pragma once

#include "platform/WinTypes.h"
#include "platform/Windows.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TClock;
class TRasService;
struct TPerfStatsTable;
struct TShellExecuteCall;

// What a test may put in place of the machine underneath the stand-in interfaces. Every field
// starts as the machine's own; the interfaces read them here and nowhere else, so a test that
// saves the whole object and puts it back leaves nothing behind.
struct TPlatformSeams {
    // Ticks, local time and Sleep (GetTickCount, GetLocalTime); null: the system clock. The
    // test keeps the clock alive.
    TClock* Clock = nullptr;
    // The platform family Win32Platform reports; none: the NT family.
    std::optional<DWORD> PlatformId;
    // The folder the program lives in; empty: the executable's folder.
    QString ProgramDir;
    // The folders LoadLibraryA searches; empty: the program directory, then the installed one.
    std::vector<std::string> LibrarySearchPath;

    // The folder that stands for $XDG_CONFIG_HOME for the registry keys kept in files; empty:
    // the desktop's own.
    std::string RegistryConfigHome;
    // The folders of those keys cannot be written, whatever the file system says (a test that
    // runs as root is never stopped by permissions).
    bool RegistryFoldersReadOnly = false;

    // The dial-up service that the registry statistics and telephony read, at the time DialUpNow
    // gives; null: the service in ResolveRasFolder() at wall-clock time. The test keeps it alive.
    TRasService* DialUpService = nullptr;
    std::function<int64_t()> DialUpNow;
    // HKEY_PERFORMANCE_DATA "906" answers with this function's result and bytes (the caller's
    // buffer receives them under the usual size rules when the result is ERROR_SUCCESS, and as
    // undefined contents otherwise); empty: the block built from the service.
    std::function<LONG(std::string& Bytes)> PerfDataSource;
    // HKEY_DYN_DATA's statistics answer from this table, read at every call so the test may
    // change it between reads; null: the service's table. The test keeps the table.
    const TPerfStatsTable* PerfStats = nullptr;

    // The desktop's notification area: true stands for one that takes icons without showing
    // them anywhere, false for none; no value is the desktop's own. The watch notices a change
    // as it would notice a real one.
    std::optional<bool> NotificationArea;
    // While set, ShellExecuteA hands every call to it, opens nothing and reports success.
    std::function<void(const TShellExecuteCall&)> ShellExecuteRecorder;
    // A fixed position for GetCursorPos; none: the real cursor.
    std::optional<POINT> CursorPos;
    // SetTimer fails as when the system has run out of timers.
    bool TimersExhausted = false;
    // How long a start waits for a holder of the program folder that does not answer; none:
    // the program's own patience.
    std::optional<int> InstancePatienceMs;
    // Where a session without a runtime folder keeps the user's socket folder; none: /tmp.
    std::optional<QString> InstanceTempFolder;

    // The socket layer's view of the machine.
    struct TSockets {
        // Addresses of the local host instead of the machine's interfaces (an empty list: none).
        std::optional<std::vector<std::array<uint8_t, 4>>> LocalAddresses;
        // The local host name instead of the machine's.
        std::optional<std::string> HostName;
        // socket returns this handle and makes nothing (INVALID_SOCKET: it fails);
        // closesocket refuses such a handle.
        std::optional<UINT_PTR> SocketHandle;
    } Sockets;
};

// The one set of replaceable parts of the platform stand-in.
TPlatformSeams& PlatformSeams();
