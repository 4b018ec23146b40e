#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/NmLinkTable.h"
#include "ras/service/Phonebook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TCachedFile;

// NetworkManager's metered connections, as its D-Bus objects show them (see TNmBus): every
// profile of type gsm, cdma or pppoe, or bluetooth with type dun, is a phonebook entry named by
// its id, and every active connection of such a profile a connection. Like the pppd backend it
// writes only its link file in the service folder, nm-links, which keeps the handles and what
// was seen of each connection, under the service's lock. NetworkManager activates and edits its
// connections itself (nmcli); the service only lists them and deactivates them.
class TNmBackend {
public:
    explicit TNmBackend(std::string folder);

    std::string LinksPath() const { return FFolder + "/nm-links"; }

    // In NetworkManager's order; of several profiles with one name (case aside) the first.
    // Names that cannot be entry names are left out, as pppd peers' are (see EntryName).
    std::vector<TPhonebookEntry> Entries() const;
    // The connections at nowMs in handle order; one that is deactivated or gone is listed as
    // disconnected for kPppLingerMs, then forgotten. While NetworkManager is not reachable its
    // connections are gone.
    std::vector<TConnectionView> Connections(int64_t nowMs) const;
    // Nothing when the handle is no NetworkManager connection's.
    std::optional<TConnectionView> Find(HRASCONN handle, int64_t nowMs) const;
    // Deactivates the connection through NetworkManager; it is then disconnected. False when it
    // was already; ERasInvalidHandle when the handle is no NetworkManager connection's;
    // ERasHangUpDenied when NetworkManager (PolicyKit) denies it, ERasHangUpRefused when it
    // refuses otherwise or cannot be reached.
    bool HangUp(HRASCONN handle, int64_t nowMs) const;
    // The handle of the entry's connection that is not disconnected, if it has one.
    std::optional<HRASCONN> LiveLink(const std::string& entry, int64_t nowMs) const;

private:
    std::vector<TConnectionView> Observe(int64_t nowMs, TNmLinkTable* tableOut = nullptr) const;
    // The stored links, nothing for a damaged file; `file` tells whether there is one and
    // whether it could be read.
    std::optional<TNmLinkTable> ReadLinks(TCachedFile& file) const;
    // The same before a write: throws ERasUnreadableFile for a file that could not be read.
    std::optional<TNmLinkTable> ReadLinksToWrite() const;
    void WriteLinks(const TNmLinkTable& table) const;

    std::string FFolder;
};
