#pragma once

#include "platform/WinTypes.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TRegistryKey;

// The dynamic statistics of the Windows 9x family: HKEY_LOCAL_MACHINE
// "System\CurrentControlSet\Control\PerfStats\Enum" has a subkey per statistic object, and
// HKEY_DYN_DATA "PerfStats\StatData" (and "StartStat"/"StopStat", whose reading starts and
// stops a counter) has a value "<object>\<counter>" per counter, 4 bytes little-endian.
// Drawn from the stand-in dial-up service: a "KERNEL" object, and a "Dial-Up Adapter" (then
// "Dial-Up Adapter #2", ...) per connection that exists, at least one, whose
// "TotalBytesXmit", "TotalBytesRecvd" and "ConnectSpeed" are the connection's.

struct TPerfStatsTable {
    std::vector<std::string> Objects;
    // Value name ("Dial-Up Adapter\TotalBytesXmit") and its bytes, in any order.
    std::vector<std::pair<std::string, std::string>> Values;
};

// The table the service's connections give right now.
TPerfStatsTable DialUpPerfStats();
// A counter value as the statistics keys hold it.
std::string PerfStatBytes(DWORD Value);

// A test may answer from a table of its own: TPlatformSeams::PerfStats.

// Providers for the registry's table.
std::unique_ptr<TRegistryKey> OpenDynDataKey(std::string_view Path);
std::unique_ptr<TRegistryKey> OpenPerfStatsEnumKey(std::string_view Path);
