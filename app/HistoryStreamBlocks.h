#pragma once

#include "app/HistoryStream.h"
#include "base/ComponentStream.h"
#include "base/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The reading of connhistory.dat's stream that every reader of it shares: the program's rows as
// bytes, and the rows as texts that tests and fuzzers compare them with.
namespace HistoryStream {

constexpr int SubItemsPerRow = 3;
// A row without texts: five 4-byte fields and the caption's length byte.
constexpr size_t MinRowSize = 21;

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

// The stream's columns, replacing those in columns.
inline void ReadColumns(TStreamReader& reader, std::vector<THistoryColumn>& columns)
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

// The stream's place and columns into list, and the bytes of its rows block to readRows; throws
// EReadError or EFilerError at the first damage, with list then partly read.
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

} // namespace HistoryStream
