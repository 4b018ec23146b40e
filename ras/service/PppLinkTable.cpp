#include "ras/service/PppLinkTable.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view kVersionLine = "ZeltixPppLinks 1";

void AppendOptional(std::string& out, const std::optional<int64_t>& value)
{
    out += ' ';
    out += value ? std::to_string(*value) : "-";
}

// Takes one blank-terminated field off the front of the line.
std::string_view Field(std::string_view& line)
{
    size_t blank = std::min(line.find(' '), line.size());
    std::string_view field = line.substr(0, blank);
    line.remove_prefix(std::min(blank + 1, line.size()));
    return field;
}

template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

bool ParseOptional(std::string_view text, std::optional<int64_t>& value)
{
    if (text == "-") {
        value.reset();
        return true;
    }
    int64_t number = 0;
    if (!ParseNumber<int64_t>(text, 0, kMaxTimeMs, number))
        return false;
    value = number;
    return true;
}

std::optional<TPppLinkRecord> ParseRecord(std::string_view line)
{
    TPppLinkRecord r;
    if (Field(line) != "Link" || !ParseNumber<HRASCONN>(Field(line), kFirstPppHandle, kLastPppHandle, r.Handle) ||
        !ParseNumber<int>(Field(line), 1, INT32_MAX, r.Pid) ||
        !ParseNumber<uint64_t>(Field(line), 0, UINT64_MAX, r.StartTime) ||
        !ParseNumber<int64_t>(Field(line), 0, kMaxTimeMs, r.SeenAtMs) ||
        !ParseOptional(Field(line), r.ConnectedSinceMs) || !ParseOptional(Field(line), r.GoneAtMs) || line.empty())
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

HRASCONN TakeHandle(TPppLinkTable& table)
{
    for (;;) {
        if (table.NextHandle > kLastPppHandle)
            table.NextHandle = kFirstPppHandle;
        HRASCONN handle = static_cast<HRASCONN>(table.NextHandle++);
        auto inUse = [handle](const TPppLinkRecord& r) { return r.Handle == handle; };
        if (std::none_of(table.Links.begin(), table.Links.end(), inUse))
            return handle;
    }
}

} // namespace

std::string SerializePppLinks(const TPppLinkTable& table)
{
    std::string out(kVersionLine);
    out += "\nNextHandle " + std::to_string(table.NextHandle) + "\n";
    for (const TPppLinkRecord& r : table.Links) {
        out += "Link " + std::to_string(r.Handle) + ' ' + std::to_string(r.Pid) + ' ' + std::to_string(r.StartTime) +
            ' ' + std::to_string(r.SeenAtMs);
        AppendOptional(out, r.ConnectedSinceMs);
        AppendOptional(out, r.GoneAtMs);
        out += ' ' + r.Entry + '\n';
    }
    out += "End " + std::to_string(table.Links.size()) + "\n";
    return out;
}

std::optional<TPppLinkTable> ParsePppLinks(std::string_view bytes)
{
    if (!bytes.ends_with('\n'))
        return std::nullopt;
    std::vector<std::string_view> lines;
    for (size_t eol; (eol = bytes.find('\n')) != bytes.npos; bytes.remove_prefix(eol + 1))
        lines.push_back(bytes.substr(0, eol));
    if (lines.size() < 3 || lines[0] != kVersionLine || !lines[1].starts_with("NextHandle "))
        return std::nullopt;
    TPppLinkTable table;
    if (!ParseNumber<uint64_t>(lines[1].substr(11), kFirstPppHandle, uint64_t{1} << 32, table.NextHandle))
        return std::nullopt;
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        std::optional<TPppLinkRecord> record = ParseRecord(lines[i]);
        if (!record)
            return std::nullopt;
        table.Links.push_back(std::move(*record));
    }
    if (lines.back() != "End " + std::to_string(table.Links.size()))
        return std::nullopt;
    return table;
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
            record.Handle = TakeHandle(table);
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

    std::vector<TConnectionView> views;
    std::vector<TPppLinkRecord> kept;
    for (size_t i = 0; i < table.Links.size(); ++i) {
        TPppLinkRecord& record = table.Links[i];
        if (!matched[i] && !record.GoneAtMs)
            record.GoneAtMs = nowMs;
        // An ended link stays disconnected for a while, whoever asks in between, so that the
        // next poll sees it go down even when other readers list the links first.
        if (record.GoneAtMs && nowMs >= *record.GoneAtMs + kPppLingerMs)
            continue;
        TConnectionView view = View(record, peers);
        for (const auto& [index, status] : live)
            if (index == i && status.Up) {
                view.BytesSent = status.BytesSent;
                view.BytesReceived = status.BytesReceived;
            }
        views.push_back(std::move(view));
        kept.push_back(std::move(record));
    }
    table.Links = std::move(kept);
    std::sort(views.begin(), views.end(),
        [](const TConnectionView& a, const TConnectionView& b) { return a.Handle < b.Handle; });
    std::stable_sort(table.Links.begin(), table.Links.end(),
        [](const TPppLinkRecord& a, const TPppLinkRecord& b) { return a.Handle < b.Handle; });
    return views;
}
