// The exported dial-up functions of librasapi32.so. Each one asks the service folder afresh,
// so it always sees what rasdial and other processes did last (its files are read again only
// when they changed, see TFileCache), and turns every failure into a result code: no
// exception ever reaches a caller.

#include "ras/service/RasRecords.h"

#include "ras/rasapi32/ErrorStrings.h"
#include "ras/service/AnsiText.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasFolder.h"
#include "ras/service/RasService.h"
#include "ras/service/ReportOnce.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::atomic<long long (*)(void)> TimeSource{nullptr};

// Why this thread's last call, a refused hang-up, was refused, in the refusing party's own words
// (pppd's errno, NetworkManager's D-Bus error): RasGetErrorStringA adds it to the code's text, so
// the caller's record of the refusal says more than "access is denied". Any other call forgets
// it, so a later error of the same code is not given an old reason.
struct TRefusal {
    DWORD Code = 0;
    std::string Reason; // ANSI
};
thread_local TRefusal LastRefusal;

int64_t NowMs()
{
    if (long long (*source)(void) = TimeSource.load())
        return source();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A caller sees only the code, at every poll: why a service file cannot be read is said once
// per process, on the standard error, as the service says what it cannot see.
void RecordOnce(const ERasUnreadableFile& e)
{
    ReportOnce(e.Message(), "zeltix-ras: " + e.Message());
}

// Runs a function body, mapping the service's failures to the codes a caller expects;
// anything unforeseen gives `fallback`.
template <typename TBody>
DWORD Guard(DWORD fallback, TBody&& body) noexcept
{
    LastRefusal = {};
    try {
        return body();
    } catch (const ERasServiceBusy& e) {
        // Tried again at the caller's next poll; said once for each lock.
        ReportOnce("busy " + e.LockPath(), "zeltix-ras: " + e.Message());
        return ERROR_REQUEST_TIMEOUT;
    } catch (const ERasInvalidHandle&) {
        return ERROR_INVALID_HANDLE;
    } catch (const ERasUnknownEntry&) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    } catch (const ERasCorruptPhonebook&) {
        return ERROR_CORRUPT_PHONEBOOK;
    } catch (const ERasCannotOpenPhonebook& e) {
        RecordOnce(e);
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    } catch (const ERasUnreadableFile& e) {
        RecordOnce(e);
        return fallback;
    } catch (const ERasAlreadyConnected&) {
        return ERROR_PORT_ALREADY_OPEN;
    } catch (const ERasHangUpDenied& e) {
        LastRefusal = {ERROR_ACCESS_DENIED, Utf8ToAnsi(e.what()).value_or(std::string())};
        return ERROR_ACCESS_DENIED;
    } catch (const ERasHangUpRefused& e) {
        LastRefusal = {ERROR_HANGUP_FAILED, Utf8ToAnsi(e.what()).value_or(std::string())};
        return ERROR_HANGUP_FAILED;
    } catch (...) {
        return fallback;
    }
}

// Copies as much of the text as fits before the terminating NUL.
template <size_t N>
void CopyText(CHAR (&field)[N], std::string_view text)
{
    size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

DWORD ByteCount(size_t records, size_t recordSize)
{
    uint64_t bytes = static_cast<uint64_t>(records) * recordSize;
    return bytes > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(bytes);
}

} // namespace

DWORD RasEnumEntriesA(LPCSTR, LPCSTR, LPRASENTRYNAMEA lpRasEntryName, LPDWORD lpcb, LPDWORD lpcEntries)
{
    if (!lpRasEntryName || !lpcb || !lpcEntries)
        return ERROR_INVALID_PARAMETER;
    if (lpRasEntryName->dwSize != sizeof(RASENTRYNAMEA))
        return ERROR_INVALID_SIZE;
    return Guard(ERROR_CANNOT_OPEN_PHONEBOOK, [&]() -> DWORD {
        std::vector<TPhonebookEntry> entries = TRasService(ResolveRasFolder()).Phonebook();
        uint64_t needed = static_cast<uint64_t>(entries.size()) * sizeof(RASENTRYNAMEA);
        *lpcEntries = static_cast<DWORD>(entries.size());
        if (needed > *lpcb) {
            *lpcb = ByteCount(entries.size(), sizeof(RASENTRYNAMEA));
            return ERROR_BUFFER_TOO_SMALL;
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            RASENTRYNAMEA& record = lpRasEntryName[i];
            std::memset(&record, 0, sizeof record);
            record.dwSize = sizeof record;
            CopyText(record.szEntryName, entries[i].Name);
        }
        *lpcb = static_cast<DWORD>(needed);
        return ERROR_SUCCESS;
    });
}

DWORD RasEnumConnectionsA(LPRASCONNA lprasconn, LPDWORD lpcb, LPDWORD lpcConnections)
{
    if (!lprasconn || !lpcb || !lpcConnections)
        return ERROR_INVALID_PARAMETER;
    if (lprasconn->dwSize != sizeof(RASCONNA))
        return ERROR_INVALID_SIZE;
    return Guard(ERROR_UNKNOWN, [&]() -> DWORD {
        std::vector<TConnectionView> views = TRasService(ResolveRasFolder()).Connections(NowMs());
        uint64_t needed = static_cast<uint64_t>(views.size()) * sizeof(RASCONNA);
        *lpcConnections = static_cast<DWORD>(views.size());
        if (needed > *lpcb) {
            *lpcb = ByteCount(views.size(), sizeof(RASCONNA));
            return ERROR_BUFFER_TOO_SMALL;
        }
        for (size_t i = 0; i < views.size(); ++i) {
            RASCONNA& record = lprasconn[i];
            std::memset(&record, 0, sizeof record);
            record.dwSize = sizeof record;
            record.hrasconn = views[i].Handle;
            CopyText(record.szEntryName, views[i].Entry);
            CopyText(record.szDeviceType, views[i].DeviceType);
            CopyText(record.szDeviceName, views[i].DeviceName);
        }
        *lpcb = static_cast<DWORD>(needed);
        return ERROR_SUCCESS;
    });
}

DWORD RasGetConnectStatusA(HRASCONN hrasconn, LPRASCONNSTATUSA lprasconnstatus)
{
    if (!lprasconnstatus)
        return ERROR_INVALID_PARAMETER;
    if (lprasconnstatus->dwSize != sizeof(RASCONNSTATUSA))
        return ERROR_INVALID_SIZE;
    return Guard(ERROR_UNKNOWN, [&]() -> DWORD {
        std::optional<TConnectionView> view = TRasService(ResolveRasFolder()).Find(hrasconn, NowMs());
        if (!view)
            return ERROR_INVALID_HANDLE;
        RASCONNSTATUSA& status = *lprasconnstatus;
        std::memset(&status, 0, sizeof status);
        status.dwSize = sizeof status;
        status.rasconnstate = static_cast<RASCONNSTATE>(view->State);
        status.dwError = view->Error;
        CopyText(status.szDeviceType, view->DeviceType);
        CopyText(status.szDeviceName, view->DeviceName);
        return ERROR_SUCCESS;
    });
}

DWORD RasHangUpA(HRASCONN hrasconn)
{
    return Guard(ERROR_UNKNOWN, [&]() -> DWORD {
        // A second hang-up of the same connection is harmless, as on Windows.
        TRasService(ResolveRasFolder()).HangUp(hrasconn, NowMs());
        return ERROR_SUCCESS;
    });
}

DWORD RasGetErrorStringA(UINT uErrorValue, LPSTR lpszErrorString, DWORD cBufSize)
{
    if (!lpszErrorString)
        return ERROR_INVALID_PARAMETER;
    const char* generic = RasErrorText(uErrorValue);
    if (!generic)
        return ERROR_INVALID_PARAMETER;
    std::string text = generic;
    // The reason of the last refused hang-up, where it fits.
    if (LastRefusal.Code == uErrorValue && !LastRefusal.Reason.empty() &&
        text.size() + 1 + LastRefusal.Reason.size() < cBufSize)
        text += ' ' + LastRefusal.Reason;
    size_t length = text.size();
    if (cBufSize == 0 || length > cBufSize - 1)
        return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(lpszErrorString, text.c_str(), length + 1);
    return ERROR_SUCCESS;
}

void ZeltixRasSetTimeSource(long long (*nowMs)(void))
{
    TimeSource.store(nowMs);
}
