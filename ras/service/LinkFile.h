#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/RasRecords.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The frame the backends' link files (ppp-links, nm-links) share: a version line, the next
// handle, one line per link with its fields separated by blanks, and an end line with the
// count, so that a truncated file is noticed. A time that is not there is written "-".

// Takes one blank-terminated field off the front of the line.
std::string_view TakeField(std::string_view& line);

// The whole text is a decimal number within [min, max].
template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

// A time of the table, or "-" for none.
bool ParseOptionalTime(std::string_view text, std::optional<int64_t>& value);
void AppendOptionalTime(std::string& out, const std::optional<int64_t>& value);

std::string LinkFileHead(std::string_view versionLine, uint64_t nextHandle);
std::string LinkFileEnd(size_t links);

// The link lines of a file and its next handle (within [firstHandle, lastNextHandle]); nothing
// when the frame is not exactly what the two functions above write.
std::optional<std::vector<std::string_view>> LinkFileLines(std::string_view bytes, std::string_view versionLine,
    uint64_t firstHandle, uint64_t lastNextHandle, uint64_t& nextHandle);

// The table of a link file, each link line read by parseRecord (nothing for a line it refuses);
// nothing when anything does not read.
template <typename TTable, typename TParseRecord>
std::optional<TTable> ParseLinkFile(std::string_view bytes, std::string_view versionLine, uint64_t firstHandle,
    uint64_t lastNextHandle, TParseRecord parseRecord)
{
    TTable table;
    std::optional<std::vector<std::string_view>> lines =
        LinkFileLines(bytes, versionLine, firstHandle, lastNextHandle, table.NextHandle);
    if (!lines)
        return std::nullopt;
    for (std::string_view line : *lines) {
        auto record = parseRecord(line);
        if (!record)
            return std::nullopt;
        table.Links.push_back(std::move(*record));
    }
    return table;
}

// The next handle of the range that no link of the table holds; after the last handle of the
// range it starts again at the first.
template <typename TTable>
HRASCONN TakeLinkHandle(TTable& table, HRASCONN firstHandle, HRASCONN lastHandle)
{
    for (;;) {
        if (table.NextHandle > lastHandle)
            table.NextHandle = firstHandle;
        HRASCONN handle = static_cast<HRASCONN>(table.NextHandle++);
        auto inUse = [handle](const auto& r) { return r.Handle == handle; };
        if (std::none_of(table.Links.begin(), table.Links.end(), inUse))
            return handle;
    }
}

// The end of a poll's merge: a link the poll did not observe (matched[i] false) has ended now; an
// ended link stays listed as disconnected for lingerMs, whoever asks in between, so that the
// next poll sees it go down even when other readers list the links first, and is then dropped.
// viewOf(record, i) is the view of the i-th link as the poll found it. The table and the views
// come back in handle order.
template <typename TTable, typename TViewOf>
std::vector<TConnectionView> SettleLinks(
    TTable& table, const std::vector<bool>& matched, int64_t nowMs, int64_t lingerMs, TViewOf viewOf)
{
    using TRecord = typename decltype(table.Links)::value_type;
    std::vector<TConnectionView> views;
    std::vector<TRecord> kept;
    for (size_t i = 0; i < table.Links.size(); ++i) {
        TRecord& record = table.Links[i];
        if (!matched[i] && !record.GoneAtMs)
            record.GoneAtMs = nowMs;
        if (record.GoneAtMs && nowMs >= *record.GoneAtMs + lingerMs)
            continue;
        views.push_back(viewOf(record, i));
        kept.push_back(std::move(record));
    }
    table.Links = std::move(kept);
    std::sort(views.begin(), views.end(),
        [](const TConnectionView& a, const TConnectionView& b) { return a.Handle < b.Handle; });
    std::stable_sort(
        table.Links.begin(), table.Links.end(), [](const TRecord& a, const TRecord& b) { return a.Handle < b.Handle; });
    return views;
}
