#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/PppPeers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TCachedFile;

// The pppd links of the machine, as the system root shows them at every call: the peers as
// phonebook entries and the running pppd processes as connections. What has not changed
// since the last call is not read again (see TFileCache and FindPppLinks). The only thing it writes
// is the link file in the service folder, which keeps the handles and what was seen of each
// link, under the service's lock.
class TPppBackend {
public:
    explicit TPppBackend(std::string folder);

    std::string LinksPath() const { return FFolder + "/ppp-links"; }

    std::vector<TPppPeer> Peers() const { return ReadPppPeers(); }
    // The links at nowMs in handle order; a link whose pppd is gone is listed once more as
    // disconnected and then forgotten.
    std::vector<TConnectionView> Connections(int64_t nowMs) const;
    // Nothing when the handle is no pppd link's.
    std::optional<TConnectionView> Find(HRASCONN handle, int64_t nowMs) const;
    // Ends the link as poff does, with SIGTERM to its pppd. False when pppd has already
    // ended; ERasInvalidHandle when the handle is no pppd link's; ERasHangUpRefused when the
    // process is not that pppd any more or may not be signalled by the caller.
    bool HangUp(HRASCONN handle, int64_t nowMs) const;
    // The handle of the entry's running link, if it has one.
    std::optional<HRASCONN> LiveLink(const std::string& entry, int64_t nowMs) const;

private:
    std::vector<TConnectionView> Observe(int64_t nowMs, TPppLinkTable* tableOut = nullptr) const;
    // The stored links, nothing for a damaged file; `file` tells whether there is one and
    // whether it could be read.
    std::optional<TPppLinkTable> ReadLinks(TCachedFile& file) const;
    // The same before a write: throws ERasUnreadableFile for a file that could not be read.
    std::optional<TPppLinkTable> ReadLinksToWrite() const;

    std::string FFolder;
};
