#pragma once

#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

// The line functions of the telephony interface (version 2.0), as "Tapi32.dll" exports them.
// The line devices are the distinct devices of the stand-in dial-up service's phonebook, each
// named by its device name; a call exists on a line while a connection on that device is
// connected, and its rate is the connection's speed. Records follow the published layout of a
// program built for 32-bit Windows. Every record starts with dwTotalSize (set by the caller),
// dwNeededSize and dwUsedSize: a record smaller than its fixed part is refused with
// LINEERR_STRUCTURETOOSMALL; otherwise the fixed part is filled, dwNeededSize says what the
// whole answer takes, and the variable part is filled only when it fits whole.

typedef DWORD HLINEAPP;
typedef DWORD HLINE;
typedef DWORD HCALL;
typedef HLINEAPP* LPHLINEAPP;
typedef HLINE* LPHLINE;
typedef uintptr_t DWORD_PTR;
typedef void (*LINECALLBACK)(
    DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

constexpr LONG LINEERR_BADDEVICEID = static_cast<LONG>(0x80000002);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x8000000C);
constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x8000000D);
constexpr LONG LINEERR_INVALAPPHANDLE = static_cast<LONG>(0x80000015);
constexpr LONG LINEERR_INVALCALLHANDLE = static_cast<LONG>(0x80000018);
constexpr LONG LINEERR_INVALLINEHANDLE = static_cast<LONG>(0x8000002B);
constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);
constexpr LONG LINEERR_INVALCALLSELECT = static_cast<LONG>(0x8000001F);
constexpr LONG LINEERR_INVALPRIVSELECT = static_cast<LONG>(0x80000034);

constexpr DWORD TAPI_VERSION_2_0 = 0x00020000;
constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLSELECT_LINE = 0x00000001;
constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINEBEARERMODE_DATA = 0x00000010;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLORIGIN_OUTBOUND = 0x00000001;

typedef struct linedialparams_tag {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
} LINEDIALPARAMS;

typedef struct lineextensionid_tag {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
} LINEEXTENSIONID, *LPLINEEXTENSIONID;

typedef struct linedevcaps_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures;
    DWORD dwSettableDevStatus;
    DWORD dwDeviceClassesSize;
    DWORD dwDeviceClassesOffset;
} LINEDEVCAPS, *LPLINEDEVCAPS;

typedef struct linecalllist_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwCallsNumEntries;
    DWORD dwCallsSize;
    DWORD dwCallsOffset;
} LINECALLLIST, *LPLINECALLLIST;

typedef struct linecallinfo_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    HLINE hLine;
    DWORD dwLineDeviceID;
    DWORD dwAddressID;
    DWORD dwBearerMode;
    DWORD dwRate;
    DWORD dwMediaMode;
    DWORD dwAppSpecific;
    DWORD dwCallID;
    DWORD dwRelatedCallID;
    DWORD dwCallParamFlags;
    DWORD dwCallStates;
    DWORD dwMonitorDigitModes;
    DWORD dwMonitorMediaModes;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigin;
    DWORD dwReason;
    DWORD dwCompletionID;
    DWORD dwNumOwners;
    DWORD dwNumMonitors;
    DWORD dwCountryCode;
    DWORD dwTrunk;
    DWORD dwCallerIDFlags;
    DWORD dwCallerIDSize;
    DWORD dwCallerIDOffset;
    DWORD dwCallerIDNameSize;
    DWORD dwCallerIDNameOffset;
    DWORD dwCalledIDFlags;
    DWORD dwCalledIDSize;
    DWORD dwCalledIDOffset;
    DWORD dwCalledIDNameSize;
    DWORD dwCalledIDNameOffset;
    DWORD dwConnectedIDFlags;
    DWORD dwConnectedIDSize;
    DWORD dwConnectedIDOffset;
    DWORD dwConnectedIDNameSize;
    DWORD dwConnectedIDNameOffset;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectionIDSize;
    DWORD dwRedirectionIDOffset;
    DWORD dwRedirectionIDNameSize;
    DWORD dwRedirectionIDNameOffset;
    DWORD dwRedirectingIDFlags;
    DWORD dwRedirectingIDSize;
    DWORD dwRedirectingIDOffset;
    DWORD dwRedirectingIDNameSize;
    DWORD dwRedirectingIDNameOffset;
    DWORD dwAppNameSize;
    DWORD dwAppNameOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwDisplaySize;
    DWORD dwDisplayOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwChargingInfoSize;
    DWORD dwChargingInfoOffset;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwCallTreatment;
    DWORD dwCallDataSize;
    DWORD dwCallDataOffset;
    DWORD dwSendingFlowspecSize;
    DWORD dwSendingFlowspecOffset;
    DWORD dwReceivingFlowspecSize;
    DWORD dwReceivingFlowspecOffset;
} LINECALLINFO, *LPLINECALLINFO;

// Call parameters are never given here; the type is only named.
struct linecallparams_tag;
typedef linecallparams_tag* LPLINECALLPARAMS;

static_assert(sizeof(LINEDIALPARAMS) == 16);
static_assert(sizeof(LINEDEVCAPS) == 252);
static_assert(offsetof(LINEDEVCAPS, dwNeededSize) == 4);
static_assert(offsetof(LINEDEVCAPS, dwUsedSize) == 8);
static_assert(offsetof(LINEDEVCAPS, dwLineNameSize) == 32);
static_assert(offsetof(LINEDEVCAPS, dwLineNameOffset) == 36);
static_assert(offsetof(LINEDEVCAPS, dwStringFormat) == 40);
static_assert(offsetof(LINEDEVCAPS, dwMaxRate) == 56);
static_assert(offsetof(LINEDEVCAPS, MinDialParams) == 156);
static_assert(offsetof(LINEDEVCAPS, dwLineFeatures) == 236);
static_assert(sizeof(LINECALLLIST) == 24);
static_assert(offsetof(LINECALLLIST, dwCallsNumEntries) == 12);
static_assert(offsetof(LINECALLLIST, dwCallsOffset) == 20);
static_assert(sizeof(LINECALLINFO) == 324);
static_assert(offsetof(LINECALLINFO, hLine) == 12);
static_assert(offsetof(LINECALLINFO, dwRate) == 28);
static_assert(offsetof(LINECALLINFO, DialParams) == 64);
static_assert(offsetof(LINECALLINFO, dwCallerIDFlags) == 108);
static_assert(offsetof(LINECALLINFO, dwAppNameSize) == 208);
static_assert(offsetof(LINECALLINFO, dwCallTreatment) == 296);

// Starts a line application; the line devices are those of the service at this moment and
// stay so until lineShutdown. The callback is never called: nothing here raises line events.
LONG lineInitialize(
    LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback, LPCSTR lpszAppName, LPDWORD lpdwNumDevs);
// Only version 2.0 is offered; the extension identifier is all zero (no extensions).
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
    LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID);
LONG lineGetDevCaps(
    HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
    DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams);
// The calls on the line now; the call handles follow the record at dwCallsOffset.
LONG lineGetNewCalls(HLINE hLine, DWORD dwAddressID, DWORD dwSelect, LPLINECALLLIST lpCallList);
LONG lineGetCallInfo(HCALL hCall, LPLINECALLINFO lpCallInfo);
// Ends the application and closes its lines and calls.
LONG lineShutdown(HLINEAPP hLineApp);

// Holds a line application that lineInitialize started and shuts it down (lineShutdown) when it
// goes, which also closes every line opened through it.
class TLineApp {
public:
    TLineApp() = default;
    ~TLineApp();
    TLineApp(const TLineApp&) = delete;
    TLineApp& operator=(const TLineApp&) = delete;

    // Where lineInitialize writes the application; only a started one is shut down, so a
    // failed start leaves nothing to end.
    LPHLINEAPP Receive() { return &FHandle; }
    HLINEAPP Handle() const { return FHandle; }

private:
    HLINEAPP FHandle = 0;
};
