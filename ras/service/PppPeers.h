#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One peer file of /etc/ppp/peers, as far as the phonebook and the link discovery need it.
struct TPppPeer {
    std::string Name;       // the entry name: the file name in ANSI
    std::string FileName;   // the file name as it is on disk, for "pppd call NAME"
    std::string DeviceType; // "modem" for a serial device, "PPPoE" for the PPPoE plugin
    std::string DeviceName; // "/dev/ttyUSB0", the Ethernet interface for PPPoE, or the pty
                            // command or socket address a peer talks through
    uint32_t Speed = 0;     // the bare number option, bits per second
    std::string LinkName;   // the linkname option: the pid file is ppp-LINKNAME.pid
    std::string Interface;  // the ppp interface the ifname or unit option fixes, if any

    friend bool operator==(const TPppPeer&, const TPppPeer&) = default;
};

// A name from the machine (a peer's file name, a NetworkManager connection's id; UTF-8) as an
// entry name in ANSI; nothing when it cannot stand as one: empty, a dot file's, with control
// characters, not in Windows-1252 or longer than the records hold.
std::optional<std::string> EntryName(std::string_view name);

// A device name from the machine (a peer file's serial device, interface or pty command;
// UTF-8) in ANSI, cut to what the records hold, as every name of a record is; nothing when it
// cannot be one: empty, with control characters or not in Windows-1252.
std::optional<std::string> DeviceName(std::string_view name);

// Reads the options of one peer file. isInterface tells whether a bare word names a network
// interface, as the PPPoE plugin accepts "eth0" as well as "nic-eth0".
TPppPeer ParsePeerFile(
    std::string_view fileName, std::string_view bytes, const std::function<bool(const std::string&)>& isInterface);

// The peers below the system root, sorted by file name. A file that is unreadable, too big,
// not a regular file or whose name cannot be an entry name is left out.
std::vector<TPppPeer> ReadPppPeers();
