#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/ConnectionTable.h"
#include "ras/service/NmBackend.h"
#include "ras/service/Phonebook.h"
#include "ras/service/PppBackend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TCachedFile;

struct TDialOptions {
    int64_t ConnectAfterMs = 5000;
    std::optional<int32_t> PinnedState = std::nullopt; // reported until the hang-up instead of the dial walk
    uint32_t Error = 0;                                // what the status record's dwError carries
    int64_t LingerMs = 2000;
};

// The stand-in dial-up service: the phonebook and the live connections, kept in one folder so
// that the program, the library and any number of rasdial processes share them. Nothing has
// to stay running: a connection's state follows from its stored times and the time asked
// about, which every call takes explicitly. Failures throw ERasService descendants.
// Entry names are ANSI (Windows-1252) bytes and are looked up without regard to case.
// Beside its own entries and connections it shows the machine's pppd peers and links (see
// TPppBackend): listed after its own, a peer's name hiding an own entry of the same name.
// Those are dialled and hung up with pon and poff; the service only hangs them up.
// After them come NetworkManager's dial-up connections (see TNmBackend): a profile's name hides
// an own entry of the same name, as a peer's does, and a peer hides a profile of its name (the
// peer's links are the ones the pppd backend can tell apart; NetworkManager's connections are
// listed under their name all the same). nmcli activates and edits them; the service only
// deactivates them.
class TRasService {
public:
    explicit TRasService(std::string folder);

    const std::string& Folder() const { return FFolder; }
    std::string PhonebookPath() const { return FFolder + "/rasphone.pbk"; }
    std::string TablePath() const { return FFolder + "/connections"; }

    // The service's own entries, then the pppd peers, then NetworkManager's connections.
    std::vector<TPhonebookEntry> Phonebook() const;
    std::optional<TPhonebookEntry> FindEntry(std::string_view name) const;
    void AddEntry(const TPhonebookEntry& entry);
    // The entry removed, as it was spelled.
    TPhonebookEntry RemoveEntry(std::string_view name);

    // The new connection's handle. The entry must exist and have no connection that is not
    // yet hung up.
    // pppd peers are not dialled here: ERasPppPeer; NetworkManager's connections neither:
    // ERasNmConnection (AddEntry and RemoveEntry refuse their names alike).
    HRASCONN Dial(std::string_view entry, const TDialOptions& options, int64_t nowMs);
    // Ends the connection; it stays listed as disconnected for its linger time (or the one
    // given). False, with nothing changed, when it was already hung up; ERasInvalidHandle
    // when it is gone or never existed.
    // A pppd link is ended with SIGTERM to its pppd (see TPppBackend::HangUp), a NetworkManager
    // connection is deactivated through NetworkManager (see TNmBackend::HangUp).
    bool HangUp(HRASCONN handle, int64_t nowMs, std::optional<int64_t> lingerMs = std::nullopt);
    // Hangs up the entry's connection that is not yet hung up and returns it as stored;
    // ERasNotConnected when there is none.
    TConnectionRecord HangUpEntry(
        std::string_view entry, int64_t nowMs, std::optional<int64_t> lingerMs = std::nullopt);

    // The connections that exist at that moment (dialing, connected or lingering), in dial
    // order, then the pppd links and then NetworkManager's connections, each in handle order.
    std::vector<TConnectionView> Connections(int64_t nowMs) const;
    std::optional<TConnectionView> Find(HRASCONN handle, int64_t nowMs) const;

private:
    // Both read through the process's file cache: unchanged files are not read again.
    std::shared_ptr<const std::string> ReadPhonebookBytes() const;
    // Throws ERasCannotOpenPhonebook when the phonebook is there but could not be read.
    void RefuseUnreadablePhonebook(const TCachedFile& file) const;
    std::vector<TPhonebookEntry> OwnEntries() const;
    // Throws ERasPppPeer when a pppd peer has that name.
    void RefusePppPeer(std::string_view name, const std::vector<TPppPeer>& peers) const;
    // Throws ERasNmConnection when one of NetworkManager's connections has that name.
    void RefuseNmConnection(std::string_view name) const;
    TConnectionTable ReadTable() const;
    // Drops the connections that are gone by then and writes the table in one step.
    void WriteTable(TConnectionTable& table, int64_t nowMs) const;
    std::string LockPath() const { return FFolder + "/ras.lock"; }
    void EnsureFolder() const;

    std::string FFolder;
    TPppBackend FPpp;
    TNmBackend FNm;
};
