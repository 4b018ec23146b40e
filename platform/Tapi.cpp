#include "platform/Tapi.h"

#include "platform/DialUpSource.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TLineDevice {
    std::string Name;
    DWORD MaxRate = 0;
};

struct TLineAppState {
    std::vector<TLineDevice> Devices;
};

struct TOpenLine {
    HLINEAPP App;
    DWORD DeviceID;
};

struct TCall {
    HLINEAPP App;
    HLINE Line;
    DWORD DeviceID;
    HRASCONN Connection;
    DWORD Rate;
};

// The telephony service of this process: its applications, open lines and known calls.
struct TTelephonyState {
    std::map<HLINEAPP, TLineAppState> Apps;
    std::map<HLINE, TOpenLine> Lines;
    std::map<HCALL, TCall> Calls;
    // One counter for all three kinds, so a handle of one kind is never taken for another.
    DWORD NextHandle = 0x00010001;
};

TTelephonyState& Telephony()
{
    static TTelephonyState State;
    return State;
}

constexpr std::string_view ProviderInfo = "Zeltix dial-up service";

// One line per distinct device name, in phonebook order; its rate is the fastest entry's.
std::vector<TLineDevice> LineDevices()
{
    std::vector<TLineDevice> Devices;
    for (const TPhonebookEntry& Entry : DialUpPhonebook()) {
        auto Same = [&](const TLineDevice& Device) { return Device.Name == Entry.DeviceName; };
        auto Found = std::find_if(Devices.begin(), Devices.end(), Same);
        if (Found == Devices.end())
            Devices.push_back({Entry.DeviceName, Entry.Speed});
        else
            Found->MaxRate = std::max(Found->MaxRate, Entry.Speed);
    }
    return Devices;
}

const TLineDevice* FindDevice(HLINEAPP App, DWORD DeviceID, LONG& Error)
{
    const auto& Apps = Telephony().Apps;
    auto FoundApp = Apps.find(App);
    if (FoundApp == Apps.end()) {
        Error = LINEERR_INVALAPPHANDLE;
        return nullptr;
    }
    if (DeviceID >= FoundApp->second.Devices.size()) {
        Error = LINEERR_BADDEVICEID;
        return nullptr;
    }
    return &FoundApp->second.Devices[DeviceID];
}

LONG CheckVersions(DWORD APIVersion, DWORD ExtVersion)
{
    if (APIVersion != TAPI_VERSION_2_0)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (ExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    return 0;
}

// Clears everything after dwTotalSize and notes what the fixed part takes.
template <typename TRecord>
void StartRecord(TRecord* Record)
{
    const DWORD Total = Record->dwTotalSize;
    std::memset(Record, 0, sizeof(TRecord));
    Record->dwTotalSize = Total;
    Record->dwNeededSize = sizeof(TRecord);
    Record->dwUsedSize = sizeof(TRecord);
}

// Appends bytes to the record's variable part when they fit whole; the size and offset stay 0
// otherwise. dwNeededSize counts them either way.
template <typename TRecord>
void AppendVariable(TRecord* Record, std::string_view Bytes, DWORD& Size, DWORD& Offset)
{
    const DWORD Length = static_cast<DWORD>(Bytes.size());
    Record->dwNeededSize += Length;
    if (Record->dwTotalSize - Record->dwUsedSize < Length)
        return;
    // An empty text may have no bytes at all, and memcpy must not be handed a null pointer.
    if (Length != 0)
        std::memcpy(reinterpret_cast<char*>(Record) + Record->dwUsedSize, Bytes.data(), Length);
    Size = Length;
    Offset = Record->dwUsedSize;
    Record->dwUsedSize += Length;
}

} // namespace

LONG lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK, LPCSTR, LPDWORD lpdwNumDevs)
{
    if (!lphLineApp || !lpdwNumDevs)
        return LINEERR_INVALPOINTER;
    const HLINEAPP App = Telephony().NextHandle++;
    TLineAppState& State = Telephony().Apps[App];
    State.Devices = LineDevices();
    *lphLineApp = App;
    *lpdwNumDevs = static_cast<DWORD>(State.Devices.size());
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
    LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID)
{
    LONG Error = 0;
    if (!FindDevice(hLineApp, dwDeviceID, Error))
        return Error;
    if (!lpdwAPIVersion || !lpExtensionID)
        return LINEERR_INVALPOINTER;
    if (dwAPILowVersion > TAPI_VERSION_2_0 || dwAPIHighVersion < TAPI_VERSION_2_0)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = TAPI_VERSION_2_0;
    *lpExtensionID = LINEEXTENSIONID{};
    return 0;
}

LONG lineGetDevCaps(
    HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps)
{
    LONG Error = 0;
    const TLineDevice* Device = FindDevice(hLineApp, dwDeviceID, Error);
    if (!Device)
        return Error;
    if (LONG Versions = CheckVersions(dwAPIVersion, dwExtVersion))
        return Versions;
    if (!lpLineDevCaps)
        return LINEERR_INVALPOINTER;
    if (lpLineDevCaps->dwTotalSize < sizeof(LINEDEVCAPS))
        return LINEERR_STRUCTURETOOSMALL;

    StartRecord(lpLineDevCaps);
    lpLineDevCaps->dwPermanentLineID = dwDeviceID;
    lpLineDevCaps->dwStringFormat = STRINGFORMAT_ASCII;
    lpLineDevCaps->dwNumAddresses = 1;
    lpLineDevCaps->dwBearerModes = LINEBEARERMODE_DATA;
    lpLineDevCaps->dwMaxRate = Device->MaxRate;
    lpLineDevCaps->dwMediaModes = LINEMEDIAMODE_DATAMODEM;
    lpLineDevCaps->dwMaxNumActiveCalls = 1;
    const std::string Name = Device->Name + '\0';
    AppendVariable(lpLineDevCaps, std::string(ProviderInfo) + '\0', lpLineDevCaps->dwProviderInfoSize,
        lpLineDevCaps->dwProviderInfoOffset);
    AppendVariable(lpLineDevCaps, Name, lpLineDevCaps->dwLineNameSize, lpLineDevCaps->dwLineNameOffset);
    return 0;
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion, DWORD_PTR,
    DWORD dwPrivileges, DWORD, LPLINECALLPARAMS)
{
    LONG Error = 0;
    if (!FindDevice(hLineApp, dwDeviceID, Error))
        return Error;
    if (LONG Versions = CheckVersions(dwAPIVersion, dwExtVersion))
        return Versions;
    if (!lphLine)
        return LINEERR_INVALPOINTER;
    // Only watching is offered: nothing here owns or answers calls.
    if (dwPrivileges != LINECALLPRIVILEGE_NONE)
        return LINEERR_INVALPRIVSELECT;
    const HLINE Line = Telephony().NextHandle++;
    Telephony().Lines[Line] = {hLineApp, dwDeviceID};
    *lphLine = Line;
    return 0;
}

LONG lineGetNewCalls(HLINE hLine, DWORD, DWORD dwSelect, LPLINECALLLIST lpCallList)
{
    TTelephonyState& State = Telephony();
    auto FoundLine = State.Lines.find(hLine);
    if (FoundLine == State.Lines.end())
        return LINEERR_INVALLINEHANDLE;
    // Calls are asked for by line only; the address then plays no part.
    if (dwSelect != LINECALLSELECT_LINE)
        return LINEERR_INVALCALLSELECT;
    if (!lpCallList)
        return LINEERR_INVALPOINTER;
    if (lpCallList->dwTotalSize < sizeof(LINECALLLIST))
        return LINEERR_STRUCTURETOOSMALL;

    const TOpenLine& Line = FoundLine->second;
    const std::string& DeviceName = State.Apps[Line.App].Devices[Line.DeviceID].Name;
    std::vector<HCALL> Handles;
    for (const TConnectionView& Connection : DialUpConnections()) {
        if (Connection.State != RASCS_Connected || Connection.DeviceName != DeviceName)
            continue;
        // A call asked about again keeps its handle.
        auto Known = std::find_if(State.Calls.begin(), State.Calls.end(),
            [&](const auto& Call) { return Call.second.Line == hLine && Call.second.Connection == Connection.Handle; });
        HCALL Handle = Known != State.Calls.end() ? Known->first : State.NextHandle++;
        State.Calls[Handle] = {Line.App, hLine, Line.DeviceID, Connection.Handle, Connection.Speed};
        Handles.push_back(Handle);
    }

    StartRecord(lpCallList);
    const std::string_view Bytes(reinterpret_cast<const char*>(Handles.data()), Handles.size() * sizeof(HCALL));
    AppendVariable(lpCallList, Bytes, lpCallList->dwCallsSize, lpCallList->dwCallsOffset);
    if (lpCallList->dwCallsSize == Bytes.size())
        lpCallList->dwCallsNumEntries = static_cast<DWORD>(Handles.size());
    return 0;
}

LONG lineGetCallInfo(HCALL hCall, LPLINECALLINFO lpCallInfo)
{
    const std::map<HCALL, TCall>& Calls = Telephony().Calls;
    auto Found = Calls.find(hCall);
    if (Found == Calls.end())
        return LINEERR_INVALCALLHANDLE;
    if (!lpCallInfo)
        return LINEERR_INVALPOINTER;
    if (lpCallInfo->dwTotalSize < sizeof(LINECALLINFO))
        return LINEERR_STRUCTURETOOSMALL;
    const TCall& Call = Found->second;
    StartRecord(lpCallInfo);
    lpCallInfo->hLine = Call.Line;
    lpCallInfo->dwLineDeviceID = Call.DeviceID;
    lpCallInfo->dwBearerMode = LINEBEARERMODE_DATA;
    lpCallInfo->dwRate = Call.Rate;
    lpCallInfo->dwMediaMode = LINEMEDIAMODE_DATAMODEM;
    lpCallInfo->dwCallID = hCall;
    lpCallInfo->dwCallStates = LINECALLSTATE_CONNECTED;
    lpCallInfo->dwOrigin = LINECALLORIGIN_OUTBOUND;
    lpCallInfo->dwNumOwners = 0;
    lpCallInfo->dwNumMonitors = 1;
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp)
{
    TTelephonyState& State = Telephony();
    if (!State.Apps.erase(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    std::erase_if(State.Lines, [&](const auto& Line) { return Line.second.App == hLineApp; });
    std::erase_if(State.Calls, [&](const auto& Call) { return Call.second.App == hLineApp; });
    return 0;
}

TLineApp::~TLineApp()
{
    if (FHandle)
        lineShutdown(FHandle);
}
