#include "app/HistoryStream.h"

#include "app/HistoryStreamBlocks.h"
#include "base/ComponentStream.h"

#include <algorithm>

namespace {

using HistoryStream::SubItemsPerRow;
// Rows hold their texts as short strings: longer texts are cut to what a length byte can say.
constexpr size_t MaxShortString = 255;

std::string_view Short(std::string_view ansi)
{
    return ansi.substr(0, std::min(ansi.size(), MaxShortString));
}

// The rows block, written straight into `out`: its size, the row count, each row's fields and
// texts, then each sub-item's image index.
void WriteRowsBlock(std::string& out, size_t count, const std::function<THistoryRowTexts(size_t)>& row)
{
    const size_t sizeAt = out.size();
    AppendInt32(out, 0); // the block's size, known at the end
    AppendInt32(out, static_cast<int32_t>(count));
    for (size_t r = 0; r < count; ++r) {
        const THistoryRowTexts texts = row(r);
        AppendInt32(out, 0);  // image index
        AppendInt32(out, -1); // state image index
        AppendInt32(out, -1); // overlay image index
        AppendInt32(out, SubItemsPerRow);
        AppendInt32(out, 0); // user data
        for (std::string_view text : texts)
            AppendShortString(out, Short(text));
    }
    out.append(count * SubItemsPerRow * 2, '\xFF'); // sub-item image indices, all -1
    std::string size;
    AppendInt32(size, static_cast<int32_t>(out.size() - sizeAt));
    out.replace(sizeAt, size.size(), size);
}

} // namespace

std::string WriteHistoryRows(
    const THistoryLayout& list, size_t count, const std::function<THistoryRowTexts(size_t)>& row)
{
    // The fixed part is small; each row takes its five fields, four length bytes, its texts and
    // three image indices.
    size_t rowBytes = 0;
    for (size_t r = 0; r < count; ++r)
        for (std::string_view text : row(r))
            rowBytes += Short(text).size();
    std::string out;
    out.reserve(1024 + count * (20 + 4 + 6) + rowBytes);
    TStreamWriter writer(out);
    writer.WriteSignature();
    writer.WriteStr("TListView");
    writer.WriteStr("ListView1");
    writer.WriteProperty("Left");
    writer.WriteInteger(list.Left);
    writer.WriteProperty("Top");
    writer.WriteInteger(list.Top);
    writer.WriteProperty("Width");
    writer.WriteInteger(list.Width);
    writer.WriteProperty("Height");
    writer.WriteInteger(list.Height);
    writer.WriteProperty("Align");
    writer.WriteIdent("alClient");
    writer.WriteProperty("Columns");
    writer.WriteCollectionBegin();
    for (const THistoryColumn& column : list.Columns) {
        writer.WriteListBegin();
        writer.WriteProperty("Caption");
        writer.WriteString(column.Caption);
        if (column.Width != 50) {
            writer.WriteProperty("Width");
            writer.WriteInteger(column.Width);
        }
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
    writer.WriteProperty("ColumnClick");
    writer.WriteBoolean(false);
    if (count > 0) {
        writer.WriteProperty("Items.Data");
        writer.WriteBinary([&](std::string& bytes) { WriteRowsBlock(bytes, count, row); });
    }
    writer.WriteProperty("MultiSelect");
    writer.WriteBoolean(true);
    writer.WriteProperty("PopupMenu");
    writer.WriteIdent("Form1.PopupMenu1");
    writer.WriteProperty("TabOrder");
    writer.WriteInteger(0);
    writer.WriteProperty("ViewStyle");
    writer.WriteIdent("vsReport");
    writer.WriteListEnd(); // properties
    writer.WriteListEnd(); // contained objects
    return out;
}

std::vector<THistoryRowTexts> ReadHistoryRows(std::string_view bytes, THistoryLayout& layout)
{
    THistoryLayout read = layout;
    std::vector<THistoryRowTexts> rows;
    HistoryStream::ReadHistoryInto(bytes, read, [&rows](std::string_view block) {
        rows.clear();
        HistoryStream::ReadRowsBlock(
            block, [&rows](size_t count) { rows.reserve(count); },
            [&rows](TByteReader& reader, int32_t subItems) {
                THistoryRowTexts texts{};
                texts[0] = reader.ReadShortString();
                for (int32_t i = 0; i < subItems; ++i) {
                    const std::string_view text = reader.ReadShortString();
                    if (i < SubItemsPerRow)
                        texts[static_cast<size_t>(i) + 1] = text;
                }
                rows.push_back(texts);
            });
    });
    layout = std::move(read);
    return rows;
}
