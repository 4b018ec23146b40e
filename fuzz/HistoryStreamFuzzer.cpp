// connhistory.dat as the history reads it: whatever the bytes, the read either fails with the
// stream's exception or gives a list that the program can write and read back. The first save
// brings a row to the list's columns; from then on saving and loading changes nothing. The
// program's own read of the rows as bytes accepts and refuses the same files, with the same texts,
// and writes the same file.

#include "app/HistoryStream.h"
#include "base/Ansi.h"
#include "base/Exceptions.h"
#include "tests/support/HistoryList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool Same(const THistoryList& a, const THistoryList& b)
{
    if (a.Left != b.Left || a.Top != b.Top || a.Width != b.Width || a.Height != b.Height ||
        a.Columns.size() != b.Columns.size() || a.Rows.size() != b.Rows.size())
        return false;
    for (size_t i = 0; i < a.Columns.size(); ++i)
        if (a.Columns[i].Caption != b.Columns[i].Caption || a.Columns[i].Width != b.Columns[i].Width)
            return false;
    for (size_t i = 0; i < a.Rows.size(); ++i)
        if (a.Rows[i].Caption != b.Rows[i].Caption || a.Rows[i].SubItems != b.Rows[i].SubItems)
            return false;
    return true;
}

// The rows as bytes say what the rows as texts say, as far as a save keeps them.
bool SameRows(const THistoryList& list, const THistoryLayout& layout, const std::vector<THistoryRowTexts>& rows)
{
    if (rows.size() != list.Rows.size() || layout.Columns.size() != list.Columns.size() || layout.Left != list.Left)
        return false;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (AnsiToString(rows[r][0]) != list.Rows[r].Caption)
            return false;
        for (int i = 0; i < 3; ++i)
            if (AnsiToString(rows[r][static_cast<size_t>(i) + 1]) != list.Rows[r].SubItems.value(i))
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    THistoryList list;
    bool listRead = true;
    try {
        ReadHistoryStream(bytes, list);
    } catch (const Exception&) {
        listRead = false;
    }
    THistoryLayout layout;
    std::vector<THistoryRowTexts> rows;
    bool rowsRead = true;
    try {
        rows = ReadHistoryRows(bytes, layout);
    } catch (const Exception&) {
        rowsRead = false;
    }
    if (listRead != rowsRead)
        std::abort();
    if (!listRead)
        return 0;
    if (!SameRows(list, layout, rows))
        std::abort();
    const std::string fromRows = WriteHistoryRows(layout, rows.size(), [&rows](size_t r) { return rows[r]; });
    if (fromRows != WriteHistoryStream(list))
        std::abort();
    THistoryList saved;
    ReadHistoryStream(WriteHistoryStream(list), saved);
    if (saved.Rows.size() != list.Rows.size() || saved.Columns.size() != list.Columns.size())
        std::abort();
    THistoryList again;
    ReadHistoryStream(WriteHistoryStream(saved), again);
    if (!Same(saved, again))
        std::abort();
    return 0;
}
