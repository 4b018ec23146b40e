#include "app/HistoryStream.h"

#include "base/Ansi.h"
#include "base/ComponentStream.h"
#include "base/Exceptions.h"

namespace {

// Rows hold their texts as short strings: longer texts are cut to what a length byte can say.
std::string ShortAnsi(const QString& text)
{
    std::string ansi = StringToAnsi(text);
    if (ansi.size() > 255)
        ansi.resize(255);
    return ansi;
}

constexpr int SubItemsPerRow = 3;
// A row without texts: five 4-byte fields and the caption's length byte.
constexpr size_t MinRowSize = 21;

std::string WriteRowsBlock(const std::vector<THistoryRow>& rows)
{
    std::string rowBytes;
    for (const THistoryRow& row : rows) {
        AppendInt32(rowBytes, 0);  // image index
        AppendInt32(rowBytes, -1); // state image index
        AppendInt32(rowBytes, -1); // overlay image index
        AppendInt32(rowBytes, SubItemsPerRow);
        AppendInt32(rowBytes, 0);  // user data
        AppendShortString(rowBytes, ShortAnsi(row.Caption));
        for (int i = 0; i < SubItemsPerRow; ++i)
            AppendShortString(rowBytes, ShortAnsi(row.SubItems.value(i)));
    }
    for (size_t r = 0; r < rows.size(); ++r)
        for (int i = 0; i < SubItemsPerRow; ++i)
            AppendInt16(rowBytes, -1); // sub-item image index
    std::string block;
    AppendInt32(block, static_cast<int32_t>(8 + rowBytes.size()));
    AppendInt32(block, static_cast<int32_t>(rows.size()));
    return block + rowBytes;
}

void ReadRowsBlock(std::string_view data, std::vector<THistoryRow>& rows)
{
    rows.clear();
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
    rows.reserve(static_cast<size_t>(count));
    for (int32_t r = 0; r < count; ++r) {
        reader.Skip(12); // image, state image and overlay image indices
        const int32_t subItems = reader.ReadInt32();
        reader.Skip(4); // user data
        if (subItems < 0)
            throw EReadError(QStringLiteral("Stream read error"));
        THistoryRow row;
        row.Caption = AnsiToString(reader.ReadShortString());
        for (int32_t i = 0; i < subItems; ++i)
            row.SubItems << AnsiToString(reader.ReadShortString());
        rows.push_back(std::move(row));
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

void ReadHistoryInto(std::string_view bytes, THistoryList& list)
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
            ReadRowsBlock(reader.ReadBinary(), list.Rows);
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

std::string WriteHistoryStream(const THistoryList& list)
{
    std::string out;
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
    if (!list.Rows.empty()) {
        writer.WriteProperty("Items.Data");
        writer.WriteBinary(WriteRowsBlock(list.Rows));
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

void ReadHistoryStream(std::string_view bytes, THistoryList& list)
{
    // Read into a copy: a list that took over what came before the damage would be written
    // back with only that at the next save.
    THistoryList read = list;
    read.Rows.clear();
    ReadHistoryInto(bytes, read);
    list = std::move(read);
}
