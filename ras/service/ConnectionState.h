#pragma once

#include "ras/service/ConnectionTable.h"

#include <cstdint>
#include <optional>
#include <string>

// A connection as it looks at one moment: what the dial-up functions and the program see.
struct TConnectionView {
    HRASCONN Handle = 0;
    std::string Entry;
    std::string DeviceType;
    std::string DeviceName;
    uint32_t Speed = 0;
    int32_t State = RASCS_OpenPort;
    uint32_t Error = 0;
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
    int64_t DialedAtMs = 0;
    std::optional<int64_t> ConnectedSinceMs; // when it reached RASCS_Connected, if it did
    std::optional<int64_t> HungUpAtMs;
};

// The states a dial passes through before it is connected, in order.
inline constexpr int32_t kDialSteps[] = {
    RASCS_OpenPort,
    RASCS_PortOpened,
    RASCS_ConnectDevice,
    RASCS_DeviceConnected,
    RASCS_AllDevicesConnected,
    RASCS_Authenticate,
    RASCS_Authenticated,
};

// Times from a clock are held to the range the table stores.
int64_t ClampTime(int64_t ms);

// A hung-up connection whose linger time has passed no longer exists.
bool IsGone(const TConnectionRecord& record, int64_t nowMs);

// The connection at that moment, or nothing when it is gone. Before the hang-up it walks
// through the dialing states evenly over its connect time and is then connected, unless a
// state is pinned; after the hang-up it is disconnected. Bytes flow only while connected.
std::optional<TConnectionView> ViewAt(const TConnectionRecord& record, int64_t nowMs);

// "RASCS_Connected" for 8192 and so on; nullptr for a number that is no state.
const char* RasConnStateName(int32_t state);
std::optional<int32_t> RasConnStateFromName(std::string_view name);
