#pragma once

#include "ras/service/RasRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Handles start at a value no caller would mistake for "none" or a small index.
constexpr HRASCONN kFirstConnectionHandle = 0x00010001;
// Bounds for the times in the table, so that sums of times and durations cannot overflow.
constexpr int64_t kMaxTimeMs = int64_t{1} << 50;     // some 35000 years after 1970
constexpr int64_t kMaxDurationMs = int64_t{1} << 40; // some 34 years

// One dialled connection as stored. Its state is not stored: it follows from these times.
struct TConnectionRecord {
    HRASCONN Handle = 0;
    std::string Entry; // ANSI, as spelled in the phonebook
    std::string DeviceType;
    std::string DeviceName;
    uint32_t Speed = 0;
    int64_t DialedAtMs = 0; // ms since the Unix epoch
    int64_t ConnectAfterMs = 5000;
    std::optional<int32_t> PinnedState;
    uint32_t Error = 0;
    std::optional<int64_t> HungUpAtMs;
    int64_t LingerMs = 2000; // how long it stays listed as disconnected after the hang-up

    friend bool operator==(const TConnectionRecord&, const TConnectionRecord&) = default;
};

struct TConnectionTable {
    // Never decreases, so a handle is never handed out twice; 2^32 means "used up".
    uint64_t NextHandle = kFirstConnectionHandle;
    std::vector<TConnectionRecord> Records; // in dial order

    friend bool operator==(const TConnectionTable&, const TConnectionTable&) = default;
};

// The file is text: a version line, the next handle, one line per connection with its strings
// quoted and percent-escaped, and an end line with the count so a truncated file is noticed.
std::string SerializeConnectionTable(const TConnectionTable& table);
// Throws ERasCorruptTable, naming the line, for anything but what Serialize writes.
TConnectionTable ParseConnectionTable(std::string_view bytes);
