#include "ras/service/ConnectionState.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int64_t kDialStepCount = std::size(kDialSteps);

struct TStateName {
    int32_t State;
    const char* Name;
};

#define ZELTIX_STATE(name)                                                                                             \
    {                                                                                                                  \
        name, #name                                                                                                    \
    }
constexpr TStateName kStateNames[] = {
    ZELTIX_STATE(RASCS_OpenPort),
    ZELTIX_STATE(RASCS_PortOpened),
    ZELTIX_STATE(RASCS_ConnectDevice),
    ZELTIX_STATE(RASCS_DeviceConnected),
    ZELTIX_STATE(RASCS_AllDevicesConnected),
    ZELTIX_STATE(RASCS_Authenticate),
    ZELTIX_STATE(RASCS_AuthNotify),
    ZELTIX_STATE(RASCS_AuthRetry),
    ZELTIX_STATE(RASCS_AuthCallback),
    ZELTIX_STATE(RASCS_AuthChangePassword),
    ZELTIX_STATE(RASCS_AuthProject),
    ZELTIX_STATE(RASCS_AuthLinkSpeed),
    ZELTIX_STATE(RASCS_AuthAck),
    ZELTIX_STATE(RASCS_ReAuthenticate),
    ZELTIX_STATE(RASCS_Authenticated),
    ZELTIX_STATE(RASCS_PrepareForCallback),
    ZELTIX_STATE(RASCS_WaitForModemReset),
    ZELTIX_STATE(RASCS_WaitForCallback),
    ZELTIX_STATE(RASCS_Projected),
    ZELTIX_STATE(RASCS_StartAuthentication),
    ZELTIX_STATE(RASCS_CallbackComplete),
    ZELTIX_STATE(RASCS_LogonNetwork),
    ZELTIX_STATE(RASCS_SubEntryConnected),
    ZELTIX_STATE(RASCS_SubEntryDisconnected),
    ZELTIX_STATE(RASCS_Interactive),
    ZELTIX_STATE(RASCS_RetryAuthentication),
    ZELTIX_STATE(RASCS_CallbackSetByCaller),
    ZELTIX_STATE(RASCS_PasswordExpired),
    ZELTIX_STATE(RASCS_InvokeEapUI),
    ZELTIX_STATE(RASCS_Connected),
    ZELTIX_STATE(RASCS_Disconnected),
};
#undef ZELTIX_STATE

// A modem line carries more down than up: 60 % of the line rate received, 15 % sent.
uint64_t BytesAt(int64_t connectedMs, uint32_t speed, unsigned percent)
{
    unsigned __int128 bytes = static_cast<unsigned __int128>(connectedMs) * speed * percent / 800000;
    return bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

} // namespace

int64_t ClampTime(int64_t ms)
{
    return std::clamp<int64_t>(ms, 0, kMaxTimeMs);
}

bool IsGone(const TConnectionRecord& record, int64_t nowMs)
{
    return record.HungUpAtMs && ClampTime(nowMs) >= *record.HungUpAtMs + record.LingerMs;
}

std::optional<TConnectionView> ViewAt(const TConnectionRecord& record, int64_t nowMs)
{
    if (IsGone(record, nowMs))
        return std::nullopt;
    nowMs = ClampTime(nowMs);
    TConnectionView view;
    view.Handle = record.Handle;
    view.Entry = record.Entry;
    view.DeviceType = record.DeviceType;
    view.DeviceName = record.DeviceName;
    view.Speed = record.Speed;
    view.Error = record.Error;
    view.DialedAtMs = record.DialedAtMs;
    view.HungUpAtMs = record.HungUpAtMs;

    std::optional<int64_t> connectedAt;
    if (!record.PinnedState)
        connectedAt = record.DialedAtMs + record.ConnectAfterMs;
    else if (*record.PinnedState == RASCS_Connected)
        connectedAt = record.DialedAtMs;
    int64_t endMs = record.HungUpAtMs ? std::min(*record.HungUpAtMs, nowMs) : nowMs;
    if (connectedAt && *connectedAt <= endMs) {
        view.ConnectedSinceMs = connectedAt;
        view.BytesReceived = BytesAt(endMs - *connectedAt, record.Speed, 60);
        view.BytesSent = BytesAt(endMs - *connectedAt, record.Speed, 15);
    }

    int64_t elapsed = std::max<int64_t>(0, nowMs - record.DialedAtMs);
    if (record.HungUpAtMs)
        view.State = RASCS_Disconnected;
    else if (record.PinnedState)
        view.State = *record.PinnedState;
    else if (elapsed >= record.ConnectAfterMs)
        view.State = RASCS_Connected;
    else
        view.State = kDialSteps[elapsed * kDialStepCount / record.ConnectAfterMs];
    return view;
}

const char* RasConnStateName(int32_t state)
{
    for (const TStateName& s : kStateNames)
        if (s.State == state)
            return s.Name;
    return nullptr;
}

std::optional<int32_t> RasConnStateFromName(std::string_view name)
{
    for (const TStateName& s : kStateNames)
        if (name == s.Name)
            return s.State;
    return std::nullopt;
}
