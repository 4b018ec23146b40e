#include "app/HistoryStream.h"

#include "base/Ansi.h"
#include "base/ComponentStream.h"
#include "base/Exceptions.h"

#include <algorithm>

namespace {

constexpr int SubItemsPerRow = 3;
// A row without texts: five 4-byte fields and the caption's length byte.
constexpr size_t MinRowSize = 21;
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

// Reads the rows block: `reserve` learns the row count, `readRow` reads each row's texts (the
// caption and the given number of sub-items) from the reader.
template <typename TReserve, typename TReadRow>
void ReadRowsBlock(std::string_view data, TReserve&& reserve, TReadRow&& readRow)
{
    TByteReader block(data);
    const int32_t size = block.ReadInt32();
    // The size names the whole block; a size beyond the value's bytes means the rows end early.
    if (size < 8 || static_cast<size_t>(size) > data.size())
        throw EReadError(QStringLiteral("Stream read error"));
    TByteReader reader(data.substr(0, static_cast<size_t>(size)));
    reader.Skip(4);
    const int32_t count = reader.ReadInt32();
    // A count the block cannot hold is damage, not an empty list.
    if (count < 0 || static_cast<size_t>(count) > reader.Remaining() / MinRowSize)
        throw EReadError(QStringLiteral("Stream read error"));
    reserve(static_cast<size_t>(count));
    for (int32_t r = 0; r < count; ++r) {
        reader.Skip(12); // image, state image and overlay image indices
        const int32_t subItems = reader.ReadInt32();
        reader.Skip(4); // user data
        if (subItems < 0)
            throw EReadError(QStringLiteral("Stream read error"));
        readRow(reader, subItems);
    }
    // The sub-items' image indices follow; the list shows no images, so they are only checked
    // to lie within the block.
    while (reader.Remaining() >= 2)
        reader.ReadInt16();
}

void ReadColumns(TStreamReader& reader, std::vector<THistoryColumn>& columns)
{
    columns.clear();
    reader.ReadCollectionBegin();
    while (!reader.EndOfList()) {
        reader.ReadListBegin();
        THistoryColumn column;
        while (!reader.EndOfList()) {
            const std::string name = reader.ReadStr();
            if (name == "Caption")
                column.Caption = reader.ReadString();
            else if (name == "Width")
                column.Width = reader.ReadInteger();
            else
                reader.SkipValue();
        }
        reader.ReadListEnd();
        columns.push_back(std::move(column));
    }
    reader.ReadListEnd();
}

template <typename TReadRows>
void ReadHistoryInto(std::string_view bytes, THistoryLayout& list, TReadRows&& readRows)
{
    TStreamReader reader(bytes);
    reader.ReadSignature();
    reader.ReadStr(); // class name
    reader.ReadStr(); // object name
    while (!reader.EndOfList()) {
        const std::string name = reader.ReadStr();
        if (name == "Columns") {
            ReadColumns(reader, list.Columns);
        } else if (name == "Items.Data") {
            readRows(reader.ReadBinary());
        } else if (name == "Left") {
            list.Left = reader.ReadInteger();
        } else if (name == "Top") {
            list.Top = reader.ReadInteger();
        } else if (name == "Width") {
            list.Width = reader.ReadInteger();
        } else if (name == "Height") {
            list.Height = reader.ReadInteger();
        } else if (name == "TabOrder") {
            reader.ReadInteger();
        } else if (name == "ColumnClick" || name == "MultiSelect") {
            reader.ReadBoolean();
        } else if (name == "Align" || name == "PopupMenu" || name == "ViewStyle") {
            reader.ReadIdent();
        } else {
            reader.SkipValue();
        }
    }
    reader.ReadListEnd();
    // The contained objects: none are ever written, and any found are not read.
    if (!reader.EndOfList())
        throw EReadError(QStringLiteral("Invalid property value"));
    reader.ReadListEnd();
    // The list ends where the file does; bytes beyond mean a value was read with another size
    // than it was written with, and the rows may not be what the file holds.
    if (!reader.AtEnd())
        throw EFilerError(QStringLiteral("Invalid stream format"));
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
    ReadHistoryInto(bytes, read, [&read](std::string_view block) {
        read.Rows.clear();
        ReadRowsBlock(
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

std::vector<THistoryRowTexts> ReadHistoryRows(std::string_view bytes, THistoryLayout& layout)
{
    THistoryLayout read = layout;
    std::vector<THistoryRowTexts> rows;
    ReadHistoryInto(bytes, read, [&rows](std::string_view block) {
        rows.clear();
        ReadRowsBlock(
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
