#include "tests/support/HistoryList.h"

#include "app/HistoryStreamBlocks.h"
#include "base/Ansi.h"

#include <array>

using HistoryStream::SubItemsPerRow;

std::string WriteHistoryStream(const THistoryList& list)
{
    std::vector<std::array<std::string, 4>> ansi(list.Rows.size());
    for (size_t r = 0; r < list.Rows.size(); ++r) {
        ansi[r][0] = StringToAnsi(list.Rows[r].Caption);
        for (int i = 0; i < SubItemsPerRow; ++i)
            ansi[r][static_cast<size_t>(i) + 1] = StringToAnsi(list.Rows[r].SubItems.value(i));
    }
    return WriteHistoryRows(list, ansi.size(), [&ansi](size_t r) {
        return THistoryRowTexts{ansi[r][0], ansi[r][1], ansi[r][2], ansi[r][3]};
    });
}

void ReadHistoryStream(std::string_view bytes, THistoryList& list)
{
    // Read into a copy: a list that took over what came before the damage would be written
    // back with only that at the next save.
    THistoryList read = list;
    read.Rows.clear();
    HistoryStream::ReadHistoryInto(bytes, read, [&read](std::string_view block) {
        read.Rows.clear();
        HistoryStream::ReadRowsBlock(
            block, [&read](size_t count) { read.Rows.reserve(count); },
            [&read](TByteReader& reader, int32_t subItems) {
                THistoryRow row;
                row.Caption = AnsiToString(reader.ReadShortString());
                for (int32_t i = 0; i < subItems; ++i)
                    row.SubItems << AnsiToString(reader.ReadShortString());
                read.Rows.push_back(std::move(row));
            });
    });
    list = std::move(read);
}
