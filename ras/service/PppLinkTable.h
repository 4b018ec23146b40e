#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/PppLinks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// pppd links get handles of their own range, far above the demo service's first handle and
// below the NetworkManager links' range (see NmLinkTable.h).
constexpr HRASCONN kFirstPppHandle = 0x00800001;
constexpr HRASCONN kLastPppHandle = 0x7FFFFFFF;

// What the service remembers of a pppd link between two polls: its handle, which process it
// is, and when it was first seen, connected and gone.
struct TPppLinkRecord {
    HRASCONN Handle = 0;
    int Pid = 0;
    uint64_t StartTime = 0;
    int64_t SeenAtMs = 0;
    std::optional<int64_t> ConnectedSinceMs;
    std::optional<int64_t> GoneAtMs; // pppd ended; disconnected for kPppLingerMs, then dropped
    std::string Entry;

    friend bool operator==(const TPppLinkRecord&, const TPppLinkRecord&) = default;
};

struct TPppLinkTable {
    // Only grows (wrapping to the first handle after kLastPppHandle), so a handle comes back
    // only after some two billion links. Files written when the range ran to UINT32_MAX may
    // hold a larger value: the next link then wraps.
    uint64_t NextHandle = kFirstPppHandle;
    std::vector<TPppLinkRecord> Links; // in handle order

    friend bool operator==(const TPppLinkTable&, const TPppLinkTable&) = default;
};

std::string SerializePppLinks(const TPppLinkTable& table);
// Nothing for a file that is not exactly what Serialize writes.
std::optional<TPppLinkTable> ParsePppLinks(std::string_view bytes);

// A link found in this poll with its interface's state.
struct TObservedLink {
    TPppLink Link;
    TInterfaceStatus Status;
};

// How long an ended link is reported disconnected: as long as a demo connection that was
// hung up, and longer than the program's poll interval.
constexpr int64_t kPppLingerMs = 2000;

// Brings the table up to what this poll observed and returns the connections as they stand
// at nowMs: a new process gets the next handle, a running pppd is connecting the device until
// its interface is up, then connected; a link no longer observed is disconnected for
// kPppLingerMs, then forgotten.
std::vector<TConnectionView> MergePppLinks(TPppLinkTable& table, const std::vector<TObservedLink>& observed,
    const std::vector<TPppPeer>& peers, int64_t nowMs);
