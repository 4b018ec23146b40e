#include "ras/service/PppBackend.h"

#include "ras/service/AnsiText.h"
#include "ras/service/FileCache.h"
#include "ras/service/FileLock.h"
#include "ras/service/RasErrors.h"
#include "ras/service/ServiceFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/types.h>

namespace {

std::vector<TObservedLink> ObserveLinks(const std::vector<TPppPeer>& peers, int64_t nowMs)
{
    std::vector<TObservedLink> observed;
    std::string routes;
    bool routesRead = false;
    for (TPppLink& link : FindPppLinks(peers, nowMs)) {
        TInterfaceStatus status;
        if (!link.Interface.empty()) {
            if (!routesRead)
                routes = ReadRouteTable(), routesRead = true;
            status = ReadInterfaceStatus(link.Interface, routes);
        }
        observed.push_back({std::move(link), status});
    }
    return observed;
}

} // namespace

TPppBackend::TPppBackend(std::string folder)
    : FFolder(std::move(folder))
{
}

std::optional<TPppLinkTable> TPppBackend::ReadLinks(TCachedFile& file) const
{
    std::shared_ptr<const std::optional<TPppLinkTable>> table =
        TFileCache::Shared().Parsed<std::optional<TPppLinkTable>>(
            LinksPath(), file, ParsePppLinks, kMaxPppLinksBytes, true);
    if (!table)
        return TPppLinkTable{};
    return *table;
}

std::optional<TPppLinkTable> TPppBackend::ReadLinksToWrite() const
{
    TCachedFile file;
    std::optional<TPppLinkTable> table = ReadLinks(file);
    RefuseUnreadable(file, "pppd link file", LinksPath(), kMaxPppLinksBytes);
    return table;
}

std::vector<TConnectionView> TPppBackend::Observe(int64_t nowMs, TPppLinkTable* tableOut) const
{
    std::vector<TPppPeer> peers = ReadPppPeers();
    TCachedFile file;
    std::optional<TPppLinkTable> stored = ReadLinks(file);
    const bool exists = file.Result == TReadResult::rrOk;
    // A machine without peers and without links remembered costs one folder look-up.
    if (peers.empty() && exists && stored && stored->Links.empty())
        return {};
    if (peers.empty() && !exists)
        return {};
    // The links' handles are kept in the file: one that is there but cannot be read is not
    // replaced by one that forgot them.
    RefuseUnreadable(file, "pppd link file", LinksPath(), kMaxPppLinksBytes);
    const std::vector<TObservedLink> observed = ObserveLinks(peers, nowMs);

    // A damaged link file loses the links' history, not the links: they come back with
    // new handles.
    TPppLinkTable table = stored.value_or(TPppLinkTable{});
    std::vector<TConnectionView> views = MergePppLinks(table, observed, peers, nowMs);
    if (stored && table == *stored) {
        if (tableOut)
            *tableOut = std::move(table);
        return views;
    }
    // Something changed: redo the merge on the file as it is under the lock, so two
    // processes polling at once hand out one handle per link.
    std::error_code ec;
    std::filesystem::create_directories(FFolder, ec);
    TFileLock lock(FFolder + "/ras.lock");
    table = ReadLinksToWrite().value_or(TPppLinkTable{});
    views = MergePppLinks(table, observed, peers, nowMs);
    SaveServiceFile(LinksPath(), SerializePppLinks(table));
    if (tableOut)
        *tableOut = std::move(table);
    return views;
}

std::vector<TConnectionView> TPppBackend::Connections(int64_t nowMs) const
{
    return Observe(nowMs);
}

std::optional<TConnectionView> TPppBackend::Find(HRASCONN handle, int64_t nowMs) const
{
    if (handle < kFirstPppHandle)
        return std::nullopt;
    for (TConnectionView& view : Observe(nowMs))
        if (view.Handle == handle)
            return std::move(view);
    return std::nullopt;
}

std::optional<HRASCONN> TPppBackend::LiveLink(const std::string& entry, int64_t nowMs) const
{
    for (const TConnectionView& view : Observe(nowMs))
        if (view.Entry == entry && view.State != RASCS_Disconnected)
            return view.Handle;
    return std::nullopt;
}

bool TPppBackend::HangUp(HRASCONN handle, int64_t nowMs) const
{
    TPppLinkTable table;
    Observe(nowMs, &table);
    for (const TPppLinkRecord& record : table.Links) {
        if (record.Handle != handle)
            continue;
        if (record.GoneAtMs)
            return false;
        // The signal goes to a real process, so the real /proc decides, whatever tree the
        // links were discovered in: it must be that very pppd, started at the time seen.
        std::optional<uint64_t> start = PppdStartTime("/proc/" + std::to_string(record.Pid));
        if (!start || *start != record.StartTime)
            throw ERasHangUpRefused("Process " + std::to_string(record.Pid) + " of the connection " +
                HandleText(handle) + " is not its pppd");
        if (::kill(record.Pid, SIGTERM) != 0) {
            const int error = errno;
            if (error == ESRCH)
                return false;
            const std::string message = "Cannot end pppd " + std::to_string(record.Pid) + " of the connection " +
                HandleText(handle) + ": " + std::strerror(error);
            if (error == EPERM)
                throw ERasHangUpDenied(message);
            throw ERasHangUpRefused(message);
        }
        return true;
    }
    throw ERasInvalidHandle("There is no connection with the handle " + HandleText(handle));
}
