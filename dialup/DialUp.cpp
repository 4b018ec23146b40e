#include "dialup/DialUp.h"

#include "base/Ansi.h"
#include "dialup/RasBinding.h"
#include "platform/Kernel.h"
#include "platform/Windows.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

// The platform fills at most this many records per call; a larger phonebook or connection
// table is answered with ERROR_BUFFER_TOO_SMALL.
constexpr int MaxRecords = 100;
// How long the hang-up wait sleeps on its messages between two looks at the handle.
constexpr DWORD HangUpCheckMs = 10;

} // namespace

TDialUp::TDialUp(QObject* AOwner)
    : QObject(AOwner)
{
    // Straight to the fields: a new component speaks English until its owner chooses.
    FLanguage = ralgEnglish;
    StringBase = 2000;
    GetDUNA();
}

TDialUp::~TDialUp() = default;

int TDialUp::GetEntries()
{
    FEntries.clear();

    std::array<RASENTRYNAMEA, MaxRecords> EntryNames{};
    static_assert(sizeof(EntryNames) == 26400);
    EntryNames[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD ByteCount = sizeof(EntryNames);
    DWORD EntryCount = 0;

    const DWORD Result = RasBinding::RasEnumEntriesA(nullptr, nullptr, EntryNames.data(), &ByteCount, &EntryCount);
    if (Result != 0)
        return static_cast<int>(Result);

    // The count is the platform's; never read past the buffer whatever it says.
    const int Count = std::min(static_cast<int>(EntryCount), MaxRecords);
    for (int i = 0; i < Count; ++i) {
        const char* Name = EntryNames[i].szEntryName;
        FEntries.append(AnsiToString(std::string_view(Name, strnlen(Name, RAS_MaxEntryName + 1))));
        if (OnEntryGet)
            OnEntryGet(this, Name);
    }
    return 0;
}

int TDialUp::GetActiveConnections(int& Count)
{
    // One status record for the whole call.
    TRasConnStatusA Status{};
    Status.dwSize = sizeof(TRasConnStatusA);

    // Not cleared: the platform writes every record it reports, and only those are read. The
    // first record's size tells it which record layout the caller has.
    std::array<RASCONNA, MaxRecords> Connections;
    static_assert(sizeof(Connections) == 41200);
    Connections[0].dwSize = sizeof(RASCONNA);
    DWORD ByteCount = sizeof(Connections);

    // The platform writes the number of connections straight into the caller's variable.
    const DWORD Result =
        RasBinding::RasEnumConnectionsA(Connections.data(), &ByteCount, reinterpret_cast<LPDWORD>(&Count));
    if (Result != 0)
        return static_cast<int>(Result);

    FUnreadConnections.clear();
    const int Reported = std::min(Count, MaxRecords);
    for (int i = 0; i < Reported; ++i) {
        RASCONNA& Connection = Connections[i];
        // A connection whose status cannot be read is not reported: the record would still hold
        // another connection's state, and a connection still dialling would pass for connected.
        const DWORD StatusResult = RasBinding::RasGetConnectStatusA(Connection.hrasconn, &Status);
        if (StatusResult != 0) {
            if (StatusResult != ERROR_INVALID_HANDLE)
                FUnreadConnections.push_back(static_cast<int>(Connection.hrasconn));
            continue;
        }
        const QString StatusString = GetStatusString(Status.rasconnstate, static_cast<int>(Status.dwError));
        if (OnActiveConnection)
            OnActiveConnection(this, static_cast<int>(Connection.hrasconn), Status, StatusString,
                Connection.szEntryName, Connection.szDeviceType, Connection.szDeviceName);
    }
    return 0;
}

int TDialUp::HangUp(int Handle)
{
    TRasConnStatusA Status{};
    Status.dwSize = sizeof(TRasConnStatusA);

    const DWORD Result = RasBinding::RasHangUpA(static_cast<HRASCONN>(Handle));
    if (Result == 0) {
        // The line is only free once the platform has forgotten the handle. The timers keep
        // running meanwhile, so a poll tick may report (and even hang up) inside this wait.
        // Between checks the thread sleeps on its messages rather than spinning, and a program
        // that is being closed stops waiting.
        while (RasBinding::RasGetConnectStatusA(static_cast<HRASCONN>(Handle), &Status) != ERROR_INVALID_HANDLE) {
            if (!WaitAndProcessMessages(HangUpCheckMs))
                break;
        }
    }
    return static_cast<int>(Result);
}
