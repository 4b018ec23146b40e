#include "ras/service/PppLinkTable.h"

#include "ras/service/LinkFile.h"

#include <algorithm>

namespace {

constexpr std::string_view kVersionLine = "ZeltixPppLinks 1";

std::optional<TPppLinkRecord> ParseRecord(std::string_view line)
{
    TPppLinkRecord r;
    if (TakeField(line) != "Link" ||
        !ParseNumber<HRASCONN>(TakeField(line), kFirstPppHandle, kLastPppHandle, r.Handle) ||
        !ParseNumber<int>(TakeField(line), 1, INT32_MAX, r.Pid) ||
        !ParseNumber<uint64_t>(TakeField(line), 0, UINT64_MAX, r.StartTime) ||
        !ParseNumber<int64_t>(TakeField(line), 0, kMaxTimeMs, r.SeenAtMs) ||
        !ParseOptionalTime(TakeField(line), r.ConnectedSinceMs) || !ParseOptionalTime(TakeField(line), r.GoneAtMs) ||
        line.empty())
        return std::nullopt;
    // The entry name is the rest of the line: peer names hold no line breaks.
    r.Entry = line;
    return r;
}

const TPppPeer* PeerNamed(const std::vector<TPppPeer>& peers, const std::string& name)
{
    for (const TPppPeer& peer : peers)
        if (peer.Name == name)
            return &peer;
    return nullptr;
}

TConnectionView View(const TPppLinkRecord& record, const std::vector<TPppPeer>& peers)
{
    TConnectionView view;
    view.Handle = record.Handle;
    view.Entry = record.Entry;
    if (const TPppPeer* peer = PeerNamed(peers, record.Entry)) {
        view.DeviceType = peer->DeviceType;
        view.DeviceName = peer->DeviceName;
        view.Speed = peer->Speed;
    }
    view.DialedAtMs = record.SeenAtMs;
    view.ConnectedSinceMs = record.ConnectedSinceMs;
    view.HungUpAtMs = record.GoneAtMs;
    view.State = record.GoneAtMs ? RASCS_Disconnected : record.ConnectedSinceMs ? RASCS_Connected : RASCS_ConnectDevice;
    return view;
}

} // namespace

std::string SerializePppLinks(const TPppLinkTable& table)
{
    std::string out = LinkFileHead(kVersionLine, table.NextHandle);
    for (const TPppLinkRecord& r : table.Links) {
        out += "Link " + std::to_string(r.Handle) + ' ' + std::to_string(r.Pid) + ' ' + std::to_string(r.StartTime) +
            ' ' + std::to_string(r.SeenAtMs);
        AppendOptionalTime(out, r.ConnectedSinceMs);
        AppendOptionalTime(out, r.GoneAtMs);
        out += ' ' + r.Entry + '\n';
    }
    return out + LinkFileEnd(table.Links.size());
}

std::optional<TPppLinkTable> ParsePppLinks(std::string_view bytes)
{
    return ParseLinkFile<TPppLinkTable>(bytes, kVersionLine, kFirstPppHandle, uint64_t{1} << 32, ParseRecord);
}

std::vector<TConnectionView> MergePppLinks(
    TPppLinkTable& table, const std::vector<TObservedLink>& observed, const std::vector<TPppPeer>& peers, int64_t nowMs)
{
    nowMs = ClampTime(nowMs);
    std::vector<bool> matched(table.Links.size(), false);
    std::vector<std::pair<size_t, TInterfaceStatus>> live;
    for (const TObservedLink& o : observed) {
        auto same = [&o](const TPppLinkRecord& r) {
            return !r.GoneAtMs && r.Pid == o.Link.Pid && r.StartTime == o.Link.StartTime;
        };
        auto it = std::find_if(table.Links.begin(), table.Links.end(), same);
        size_t index = static_cast<size_t>(it - table.Links.begin());
        if (it == table.Links.end()) {
            TPppLinkRecord record;
            record.Handle = TakeLinkHandle(table, kFirstPppHandle, kLastPppHandle);
            record.Pid = o.Link.Pid;
            record.StartTime = o.Link.StartTime;
            record.SeenAtMs = nowMs;
            record.Entry = o.Link.Entry;
            table.Links.push_back(std::move(record));
            matched.push_back(false);
        } else if (matched[index]) {
            continue;
        }
        matched[index] = true;
        TPppLinkRecord& record = table.Links[index];
        // A persist link that redials keeps its handle; its connected time starts afresh.
        if (!o.Status.Up)
            record.ConnectedSinceMs.reset();
        else if (!record.ConnectedSinceMs)
            record.ConnectedSinceMs = nowMs;
        live.push_back({index, o.Status});
    }

    return SettleLinks(table, matched, nowMs, kPppLingerMs, [&](const TPppLinkRecord& record, size_t i) {
        TConnectionView view = View(record, peers);
        for (const auto& [index, status] : live)
            if (index == i && status.Up) {
                view.BytesSent = status.BytesSent;
                view.BytesReceived = status.BytesReceived;
            }
        return view;
    });
}
