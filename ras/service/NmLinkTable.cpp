#include "ras/service/NmLinkTable.h"

#include "ras/service/LinkFile.h"
#include "ras/service/PppLinkTable.h"

#include <algorithm>
#include <iterator>

namespace {

// Version 2 added each link's profile UUID after its path.
constexpr std::string_view kVersionLine = "ZeltixNmLinks 2";
constexpr std::string_view kVersion1Line = "ZeltixNmLinks 1";

// NetworkManager does not say how far an activation has got; the dial's steps, one a second,
// show that it goes on.
constexpr int64_t kActivationStepMs = 1000;

std::optional<TNmLinkRecord> ParseRecord(std::string_view line, bool withUuid)
{
    TNmLinkRecord r;
    if (TakeField(line) != "Link" || !ParseNumber<HRASCONN>(TakeField(line), kFirstNmHandle, kLastNmHandle, r.Handle) ||
        !ParseNumber<int64_t>(TakeField(line), 0, kMaxTimeMs, r.SeenAtMs) ||
        !ParseOptionalTime(TakeField(line), r.ConnectedSinceMs) || !ParseOptionalTime(TakeField(line), r.GoneAtMs))
        return std::nullopt;
    r.ActivePath = TakeField(line);
    if (withUuid) {
        std::string_view uuid = TakeField(line);
        if (uuid != "-" && !IsNmLinkUuid(uuid))
            return std::nullopt;
        r.Uuid = uuid == "-" ? std::string_view() : uuid;
    }
    r.DeviceType = TakeField(line);
    std::string_view device = TakeField(line);
    if (!r.ActivePath.starts_with('/') || r.DeviceType.empty() || device.empty() || line.empty())
        return std::nullopt;
    r.DeviceName = device == "-" ? std::string_view() : device;
    // The entry name is the rest of the line: entry names hold no line breaks.
    r.Entry = line;
    return r;
}

TConnectionView View(const TNmLinkRecord& record, int64_t nowMs)
{
    TConnectionView view;
    view.Handle = record.Handle;
    view.Entry = record.Entry;
    view.DeviceType = record.DeviceType;
    view.DeviceName = record.DeviceName;
    view.DialedAtMs = record.SeenAtMs;
    view.ConnectedSinceMs = record.ConnectedSinceMs;
    view.HungUpAtMs = record.GoneAtMs;
    if (record.GoneAtMs) {
        view.State = RASCS_Disconnected;
    } else if (record.ConnectedSinceMs) {
        view.State = RASCS_Connected;
    } else {
        int64_t step = std::max<int64_t>(0, nowMs - record.SeenAtMs) / kActivationStepMs;
        view.State = kDialSteps[std::min<int64_t>(step, std::size(kDialSteps) - 1)];
    }
    return view;
}

bool IsLive(uint32_t state)
{
    return state == kNmActiveUnknown || state == kNmActivating || state == kNmActivated;
}

} // namespace

bool IsNmLinkUuid(std::string_view uuid)
{
    return !uuid.empty() && uuid != "-" &&
        std::all_of(uuid.begin(), uuid.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

std::string SerializeNmLinks(const TNmLinkTable& table)
{
    std::string out = LinkFileHead(kVersionLine, table.NextHandle);
    for (const TNmLinkRecord& r : table.Links) {
        out += "Link " + std::to_string(r.Handle) + ' ' + std::to_string(r.SeenAtMs);
        AppendOptionalTime(out, r.ConnectedSinceMs);
        AppendOptionalTime(out, r.GoneAtMs);
        out += ' ' + r.ActivePath + ' ' + (r.Uuid.empty() ? "-" : r.Uuid) + ' ' + r.DeviceType + ' ' +
            (r.DeviceName.empty() ? "-" : r.DeviceName) + ' ' + r.Entry + '\n';
    }
    return out + LinkFileEnd(table.Links.size());
}

std::optional<TNmLinkTable> ParseNmLinks(std::string_view bytes)
{
    constexpr uint64_t lastNext = uint64_t{kLastNmHandle} + 1;
    if (bytes.starts_with(kVersion1Line))
        // A file of an earlier service: its links, which cannot know their profile, are read
        // without a UUID rather than thrown away, so their handles stay taken and they end
        // (disconnected, lingering) at the next poll instead of vanishing. They never match a
        // connection again, since a path alone may be another profile's after a restart; a
        // connection that was up meanwhile gets a new handle once, at the upgrade.
        return ParseLinkFile<TNmLinkTable>(bytes, kVersion1Line, kFirstNmHandle, lastNext,
            [](std::string_view line) { return ParseRecord(line, false); });
    return ParseLinkFile<TNmLinkTable>(
        bytes, kVersionLine, kFirstNmHandle, lastNext, [](std::string_view line) { return ParseRecord(line, true); });
}

namespace {

// A stored link is an observed connection when both its path and its profile's UUID are the
// link's.
bool IsLink(const TNmLinkRecord& record, const TNmObservedLink& o)
{
    return record.ActivePath == o.ActivePath && record.Uuid == o.Uuid;
}

// Moves the live links NetworkManager took over after its restart to their new paths.
void FollowTakenOverLinks(TNmLinkTable& table, const std::vector<TNmObservedLink>& observed)
{
    std::vector<const TNmObservedLink*> fresh;
    for (const TNmObservedLink& o : observed)
        if (IsNmLinkUuid(o.Uuid) && IsLive(o.State) &&
            std::none_of(table.Links.begin(), table.Links.end(), [&o](const TNmLinkRecord& r) { return IsLink(r, o); }))
            fresh.push_back(&o);
    for (TNmLinkRecord& record : table.Links) {
        if (record.GoneAtMs || record.Uuid.empty() ||
            std::any_of(
                observed.begin(), observed.end(), [&record](const TNmObservedLink& o) { return IsLink(record, o); }))
            continue;
        auto it = std::find_if(fresh.begin(), fresh.end(), [&record](const TNmObservedLink* o) {
            return o->Uuid == record.Uuid &&
                (record.DeviceName.empty() || o->DeviceName.empty() || o->DeviceName == record.DeviceName);
        });
        if (it == fresh.end())
            continue;
        record.ActivePath = (*it)->ActivePath;
        fresh.erase(it);
    }
}

} // namespace

std::vector<TConnectionView> MergeNmLinks(
    TNmLinkTable& table, const std::vector<TNmObservedLink>& observed, int64_t nowMs, bool restarted)
{
    nowMs = ClampTime(nowMs);
    if (restarted)
        FollowTakenOverLinks(table, observed);
    std::vector<bool> matched(table.Links.size(), false);
    std::vector<std::pair<HRASCONN, const TNmObservedLink*>> live;
    for (const TNmObservedLink& o : observed) {
        if (!IsNmLinkUuid(o.Uuid))
            continue;
        // A record without a UUID (version 1) matches nothing, as o.Uuid is never "".
        auto it =
            std::find_if(table.Links.begin(), table.Links.end(), [&o](const TNmLinkRecord& r) { return IsLink(r, o); });
        if (it == table.Links.end()) {
            if (!IsLive(o.State))
                continue;
            TNmLinkRecord record;
            record.Handle = TakeLinkHandle(table, kFirstNmHandle, kLastNmHandle);
            record.SeenAtMs = nowMs;
            record.ActivePath = o.ActivePath;
            record.Uuid = o.Uuid;
            table.Links.push_back(std::move(record));
            matched.push_back(false);
            it = table.Links.end() - 1;
        }
        size_t index = static_cast<size_t>(it - table.Links.begin());
        if (matched[index])
            continue;
        matched[index] = true;
        TNmLinkRecord& record = *it;
        if (record.GoneAtMs)
            continue;
        // A renamed profile's connection goes on under its new name rather than ending: the link
        // did not go down, and ending it would log a hang-up that never happened and charge the
        // running minute twice, once under each name. No name NetworkManager no longer reports
        // is kept.
        record.Entry = o.Entry;
        record.DeviceType = o.DeviceType;
        // The device stays as last seen when NetworkManager has let go of it first.
        if (!o.DeviceName.empty())
            record.DeviceName = o.DeviceName;
        if (!IsLive(o.State)) {
            record.GoneAtMs = nowMs;
        } else if (o.State == kNmActivated) {
            if (!record.ConnectedSinceMs)
                record.ConnectedSinceMs = nowMs;
            live.push_back({record.Handle, &o});
        }
    }

    return SettleLinks(table, matched, nowMs, kPppLingerMs, [&](const TNmLinkRecord& record, size_t) {
        TConnectionView view = View(record, nowMs);
        for (const auto& [handle, link] : live)
            if (handle == record.Handle) {
                view.Speed = link->Speed;
                view.BytesSent = link->BytesSent;
                view.BytesReceived = link->BytesReceived;
            }
        return view;
    });
}

std::vector<TConnectionView> StoredNmLinks(const TNmLinkTable& table, int64_t nowMs)
{
    nowMs = ClampTime(nowMs);
    std::vector<TConnectionView> views;
    for (const TNmLinkRecord& record : table.Links)
        if (!record.GoneAtMs || nowMs < *record.GoneAtMs + kPppLingerMs)
            views.push_back(View(record, nowMs));
    return views;
}
