// connhistory.dat as the history reads it: whatever the bytes, the read either fails with the
// stream's exception or gives a list that the program can write and read back. The first save
// brings a row to the list's columns; from then on saving and loading changes nothing.

#include "app/HistoryStream.h"
#include "base/Exceptions.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    THistoryList list;
    try {
        ReadHistoryStream(std::string_view(reinterpret_cast<const char*>(data), size), list);
    } catch (const Exception&) {
        return 0;
    }
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
