#pragma once

#include "ras/service/PppPeers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A running pppd for a peer: the process, and the ppp interface once pppd has one.
struct TPppLink {
    std::string Entry; // the peer's entry name
    int Pid = 0;
    uint64_t StartTime = 0; // clock ticks after boot, from /proc/<pid>/stat: with the pid, the
                            // process's identity, as a pid alone may be reused
    std::string Interface;  // "" while pppd has not created it

    friend bool operator==(const TPppLink&, const TPppLink&) = default;
};

// The interface as the statistics need it. Up means pppd's link is usable: the interface is
// up and the kernel reports it running (its operational state up, or "unknown" as ppp
// interfaces have it), and it has an IPv4 address, which shows as a route through it in
// /proc/net/route.
struct TInterfaceStatus {
    bool Up = false;
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
};

// The process in `procDir` (a /proc/<pid> folder) if it is a pppd: its start time.
std::optional<uint64_t> PppdStartTime(const std::string& procDir);

// The running pppd of each peer that has one, found through its pid file ppp-NAME.pid (or
// ppp-LINKNAME.pid) in /run, /var/run or /run/pppd, else through "call NAME" in a pppd's
// command line. Everything is read below the system root; what vanishes or does not parse
// between two reads is passed over.
// What was found is kept for the next call (once per process), which reads nothing again
// unless a peer, a pid file or a plain-folder /proc changed, or a link's pppd ended; the
// process list is searched again for the peers without a pid file at most every three
// seconds of nowMs (the service's time) otherwise.
std::vector<TPppLink> FindPppLinks(const std::vector<TPppPeer>& peers, int64_t nowMs);

// The interface's state and 64-bit byte counters below the system root. `routes` is the text
// of /proc/net/route, read once for all links.
TInterfaceStatus ReadInterfaceStatus(const std::string& interface, std::string_view routes);
std::string ReadRouteTable();
// The interface's 64-bit byte counters in sysfs below the system root; false, with nothing
// changed, when it has none there.
bool ReadByteCounters(const std::string& interface, uint64_t& sent, uint64_t& received);
