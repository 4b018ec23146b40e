#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/LinkBackend.h"
#include "ras/service/NmLinkTable.h"
#include "ras/service/Phonebook.h"
#include "ras/service/ServiceFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// NetworkManager's metered connections, as its D-Bus objects show them (see TNmBus): every
// profile of type gsm, cdma or pppoe, or bluetooth with type dun, every profile marked metered
// (connection.metered yes: a phone tethered over USB, Wi-Fi or Bluetooth PAN, an LTE router on
// Ethernet), and a profile while it is active on a device NetworkManager takes as metered, is a
// phonebook entry named by its id, and its active connection a connection. Like the pppd
// backend it writes only its link file in the service folder, nm-links, which keeps the handles
// and what was seen of each connection, under the service's lock. NetworkManager activates and
// edits its connections itself (nmcli); the service only lists them and deactivates them.
class TNmBackend : public TLinkBackend<TNmBackend, TNmLinkTable> {
public:
    explicit TNmBackend(std::string folder);

    // By name, letter case aside, then by profile UUID, an order NetworkManager's restarts do not
    // change; of several profiles with one name the first. Names that cannot be entry names are
    // left out, as pppd peers' are (see EntryName).
    std::vector<TPhonebookEntry> Entries() const;
    // Connections lists the connections in handle order; one that is deactivated or gone is
    // listed as disconnected for kPppLingerMs, then forgotten. When NetworkManager leaves the
    // bus, its connections stay as they were for a few seconds, for a restarted NetworkManager
    // to take them over, and are then gone. Find and LiveLink look among them.

    // Deactivates the connection through NetworkManager; it is then disconnected. False when it
    // was already; ERasInvalidHandle when the handle is no NetworkManager connection's;
    // ERasHangUpDenied when NetworkManager (PolicyKit) denies it, ERasHangUpRefused when it
    // refuses otherwise or cannot be reached.
    bool HangUp(HRASCONN handle, int64_t nowMs) const;

private:
    friend class TLinkBackend<TNmBackend, TNmLinkTable>;
    static constexpr TLinkFileKind<TNmLinkTable> kLinks = {
        "nm-links", "NetworkManager link file", kMaxNmLinksBytes, kFirstNmHandle, ParseNmLinks, SerializeNmLinks};

    std::vector<TConnectionView> Observe(int64_t nowMs, TNmLinkTable* tableOut) const;
};
