#include "ras/service/PppBackend.h"

#include "ras/service/AnsiText.h"
#include "ras/service/FileCache.h"
#include "ras/service/RasErrors.h"
#include "ras/service/ServiceFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
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
    : TLinkBackend(std::move(folder))
{
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
    RefuseUnreadableLinks(file);
    const std::vector<TObservedLink> observed = ObserveLinks(peers, nowMs);
    return StoreMerge(
        stored, [&](TPppLinkTable& table) { return MergePppLinks(table, observed, peers, nowMs); }, tableOut);
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
