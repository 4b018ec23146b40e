#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/LinkBackend.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/PppPeers.h"
#include "ras/service/ServiceFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The pppd links of the machine, as the system root shows them at every call: the peers as
// phonebook entries and the running pppd processes as connections. What has not changed
// since the last call is not read again (see TFileCache and FindPppLinks). The only thing it writes
// is the link file in the service folder, which keeps the handles and what was seen of each
// link, under the service's lock.
class TPppBackend : public TLinkBackend<TPppBackend, TPppLinkTable> {
public:
    explicit TPppBackend(std::string folder);

    std::vector<TPppPeer> Peers() const { return ReadPppPeers(); }
    // Connections lists the links in handle order; a link whose pppd is gone is listed once
    // more as disconnected and then forgotten. Find and LiveLink look among them.

    // Ends the link as poff does, with SIGTERM to its pppd. False when pppd has already
    // ended; ERasInvalidHandle when the handle is no pppd link's; ERasHangUpRefused when the
    // process is not that pppd any more or may not be signalled by the caller.
    bool HangUp(HRASCONN handle, int64_t nowMs) const;

private:
    friend class TLinkBackend<TPppBackend, TPppLinkTable>;
    static constexpr TLinkFileKind<TPppLinkTable> kLinks = {
        "ppp-links", "pppd link file", kMaxPppLinksBytes, kFirstPppHandle, ParsePppLinks, SerializePppLinks};

    std::vector<TConnectionView> Observe(int64_t nowMs, TPppLinkTable* tableOut) const;
};
