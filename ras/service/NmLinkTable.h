#pragma once

#include "ras/service/ConnectionState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// NetworkManager's connections get the top half of the handles, above the pppd range, so a
// handle alone tells which backend it belongs to.
constexpr HRASCONN kFirstNmHandle = 0x80000001;
constexpr HRASCONN kLastNmHandle = 0xFFFFFFFF;

// What the service remembers of one of NetworkManager's active connections between two polls:
// its handle, its object path, when it was first seen, activated and gone, and the device it
// ran on, which is still shown after NetworkManager has forgotten it.
struct TNmLinkRecord {
    HRASCONN Handle = 0;
    int64_t SeenAtMs = 0;
    std::optional<int64_t> ConnectedSinceMs;
    std::optional<int64_t> GoneAtMs; // deactivated or vanished; disconnected for kPppLingerMs
    std::string ActivePath;          // the Connection.Active object, never reused by NetworkManager
    std::string DeviceType;          // "modem" or "PPPoE"
    std::string DeviceName;          // no blanks; "" while no device is known
    std::string Entry;

    friend bool operator==(const TNmLinkRecord&, const TNmLinkRecord&) = default;
};

struct TNmLinkTable {
    // Only grows, wrapping to the first handle after the last.
    uint64_t NextHandle = kFirstNmHandle;
    std::vector<TNmLinkRecord> Links; // in handle order

    friend bool operator==(const TNmLinkTable&, const TNmLinkTable&) = default;
};

std::string SerializeNmLinks(const TNmLinkTable& table);
// Nothing for a file that is not exactly what Serialize writes.
std::optional<TNmLinkTable> ParseNmLinks(std::string_view bytes);

// NetworkManager's active connection states.
enum : uint32_t {
    kNmActiveUnknown = 0,
    kNmActivating = 1,
    kNmActivated = 2,
    kNmDeactivating = 3,
    kNmDeactivated = 4,
};

// An active connection of a dial-up profile as this poll found it.
struct TNmObservedLink {
    std::string ActivePath;
    std::string Entry;
    std::string DeviceType;
    std::string DeviceName;
    uint32_t State = kNmActiveUnknown;
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
};

// Brings the table up to what this poll observed and returns the connections at nowMs in
// handle order: a connection seen activating gets the next handle and walks through the dialing
// states, one a second, until NetworkManager has activated it; one that is deactivating or no
// longer listed is disconnected for kPppLingerMs, as a pppd link, and then forgotten. A
// connection once gone stays gone, and one first seen deactivating is never listed.
std::vector<TConnectionView> MergeNmLinks(
    TNmLinkTable& table, const std::vector<TNmObservedLink>& observed, int64_t nowMs);

// The connections as stored, without news from NetworkManager (while its state is not known
// yet): nothing changes but the dialing walk.
std::vector<TConnectionView> StoredNmLinks(const TNmLinkTable& table, int64_t nowMs);
