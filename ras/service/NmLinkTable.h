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
// its handle, its object path and profile, when it was first seen, activated and gone, and the
// device it ran on, which is still shown after NetworkManager has forgotten it.
struct TNmLinkRecord {
    HRASCONN Handle = 0;
    int64_t SeenAtMs = 0;
    std::optional<int64_t> ConnectedSinceMs;
    std::optional<int64_t> GoneAtMs; // deactivated or vanished; disconnected for kPppLingerMs
    // The Connection.Active object. NetworkManager numbers them from 1 again at each start, so
    // after a restart the path may be another profile's connection.
    std::string ActivePath;
    // The profile's connection.uuid, which outlives NetworkManager's restarts; "" for a link
    // read from a file of version 1, which never matches a connection again.
    std::string Uuid;
    std::string DeviceType; // "modem" or "PPPoE", else NetworkManager's device type ("ethernet")
    std::string DeviceName; // no blanks; "" while no device is known
    std::string Entry;

    friend bool operator==(const TNmLinkRecord&, const TNmLinkRecord&) = default;
};

struct TNmLinkTable {
    // Only grows, wrapping to the first handle after the last.
    uint64_t NextHandle = kFirstNmHandle;
    std::vector<TNmLinkRecord> Links; // in handle order

    friend bool operator==(const TNmLinkTable&, const TNmLinkTable&) = default;
};

// Always writes version 2, which keeps each link's profile UUID.
std::string SerializeNmLinks(const TNmLinkTable& table);
// Nothing for a file that is not exactly what Serialize writes, or what it wrote in version 1
// (links without a UUID).
std::optional<TNmLinkTable> ParseNmLinks(std::string_view bytes);

// NetworkManager's active connection states.
enum : uint32_t {
    kNmActiveUnknown = 0,
    kNmActivating = 1,
    kNmActivated = 2,
    kNmDeactivating = 3,
    kNmDeactivated = 4,
};

// A UUID that can identify a link: not empty, and one field of the link file (printable ASCII
// without blanks, not "-"). NetworkManager's are always such.
bool IsNmLinkUuid(std::string_view uuid);

// An active connection of an entry (a dial-up or metered profile) as this poll found it.
struct TNmObservedLink {
    std::string ActivePath;
    std::string Uuid;  // the profile's
    std::string Entry; // the profile's id as NetworkManager reports it now
    std::string DeviceType;
    std::string DeviceName;
    uint32_t State = kNmActiveUnknown;
    uint32_t Speed = 0; // bits per second, where NetworkManager knows it
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
};

// Brings the table up to what this poll observed and returns the connections at nowMs in
// handle order: a connection seen activating gets the next handle and walks through the dialing
// states, one a second, until NetworkManager has activated it; one that is deactivating or no
// longer listed is disconnected for kPppLingerMs, as a pppd link, and then forgotten. A
// connection once gone stays gone, and one first seen deactivating is never listed. An
// observed connection is a stored link only when both its path and its profile's UUID are the
// link's: a link whose path now belongs to another profile has ended, and the other profile's
// connection is a new one. A link's entry name is its profile's id as last observed. A
// connection without a usable UUID (see IsNmLinkUuid) cannot be told from another profile's
// after a restart and is not listed. After NetworkManager may have restarted (`restarted`), it
// has taken over the links that stayed up under new objects: a live link whose path and UUID
// are no longer observed goes on as the observed live connection of its profile on its device
// that is no stored link, so a restart neither ends a session nor starts it again.
std::vector<TConnectionView> MergeNmLinks(
    TNmLinkTable& table, const std::vector<TNmObservedLink>& observed, int64_t nowMs, bool restarted = false);

// The connections as stored, without news from NetworkManager (while its state is not known
// yet): nothing changes but the dialing walk.
std::vector<TConnectionView> StoredNmLinks(const TNmLinkTable& table, int64_t nowMs);
