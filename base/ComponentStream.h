#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The binary component stream in which the program stores a component with its properties
// (connhistory.dat). All numbers are little-endian; names and identifiers are short strings
// (one length byte, then that many ANSI bytes).

// The type byte that starts every value.
enum class TValueType : std::uint8_t {
    vaNull = 0, // end of a list
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,   // 4-byte floating point
    vaCurrency = 16, // 8-byte integer of ten-thousandths
    vaDate = 17,     // 8-byte floating point, days
    vaWString = 18,  // a 4-byte count of UTF-16 code units, then UTF-16LE
    vaInt64 = 19,
    vaUTF8String = 20, // a 4-byte count of bytes, then UTF-8
    // 21 and beyond mean different things to different writers; a reader cannot tell their
    // size, so they are read as values of an unknown type.
};

// Little-endian building blocks, shared by the stream writer and by blocks that travel inside
// a binary value (the rows of a list view).
void AppendInt16(std::string& out, std::int16_t value);
void AppendInt32(std::string& out, std::int32_t value);
// Appends a length byte and the bytes; throws EFilerError for more than 255 bytes, since the
// length byte cannot say more and cutting silently would hide a caller's mistake.
void AppendShortString(std::string& out, std::string_view ansi);

// A bounded cursor over bytes. Every read checks what remains first, so no file content can
// make it read outside the view; an overrun throws EReadError "Stream read error".
class TByteReader {
public:
    explicit TByteReader(std::string_view data)
        : FData(data)
    {
    }
    // The reader only views the bytes; a temporary would be gone before the first read.
    explicit TByteReader(std::string&&) = delete;

    std::size_t Position() const { return FPosition; }
    std::size_t Remaining() const { return FData.size() - FPosition; }
    bool AtEnd() const { return FPosition == FData.size(); }

    std::uint8_t PeekByte() const;
    std::uint8_t ReadByte();
    std::int8_t ReadInt8();
    std::int16_t ReadInt16();
    std::int32_t ReadInt32();
    // The next count bytes, as a view into the data.
    std::string_view ReadBytes(std::size_t count);
    void Skip(std::size_t count) { ReadBytes(count); }
    // A length byte and that many bytes.
    std::string_view ReadShortString();
    // A signed 4-byte length followed by that many bytes; a negative length, or one longer
    // than what remains, is a read error.
    std::string_view ReadLongBytes();
    // A signed 4-byte count of UTF-16 code units followed by two bytes for each; read errors as
    // for ReadLongBytes.
    std::string_view ReadWideBytes();

private:
    void Require(std::size_t count) const;

    std::string_view FData;
    std::size_t FPosition = 0;
};

// Writes a component stream by appending to a byte string that the caller owns and keeps
// alive while the writer is used.
class TStreamWriter {
public:
    explicit TStreamWriter(std::string& out)
        : FOut(out)
    {
    }

    // The four bytes "TPF0".
    void WriteSignature();
    // A short string: class, object and property names. Throws EFilerError beyond 255 bytes.
    void WriteStr(std::string_view ansi);
    void WriteProperty(std::string_view name) { WriteStr(name); }
    void WriteListBegin();
    void WriteListEnd();
    // In the shortest of the 1-, 2- and 4-byte forms that holds the value.
    void WriteInteger(std::int32_t value);
    // UTF-8 (type 20) when the text holds anything beyond ASCII, otherwise ANSI as a short
    // (type 6, up to 255 characters) or a long string (type 12).
    void WriteString(const QString& text);
    void WriteIdent(std::string_view name);
    void WriteBoolean(bool value);
    void WriteBinary(std::string_view bytes);
    // The same for bytes that `append` adds to the output itself, without a copy in between.
    void WriteBinary(const std::function<void(std::string& out)>& append);
    // Starts a collection; each item is then WriteListBegin, its properties, WriteListEnd,
    // and a final WriteListEnd closes the collection.
    void WriteCollectionBegin();

private:
    void WriteValue(TValueType type);
    void WriteLongBytes(TValueType type, std::string_view bytes);

    std::string& FOut;
};

// Reads a component stream from the whole file held in memory. Views it returns point into
// that data. Failures, always EFilerError or its descendant EReadError:
// - "Invalid stream format": the data does not start with "TPF0";
// - "Stream read error": the data ends before a value, name or length it announced is complete
//   (a file shorter than four bytes that begins like "TPF0" counts as ending too early);
// - "Invalid property value": a value of another type than the one asked for, or a type byte
//   the format does not know (21 and beyond).
class TStreamReader {
public:
    explicit TStreamReader(std::string_view data)
        : FBytes(data)
    {
    }
    explicit TStreamReader(std::string&&) = delete;

    std::size_t Position() const { return FBytes.Position(); }
    bool AtEnd() const { return FBytes.AtEnd(); }

    void ReadSignature();
    // A short string (names), as its ANSI bytes.
    std::string ReadStr();
    // Whether the next byte ends a list; consumes nothing.
    bool EndOfList() const;
    void ReadListBegin();
    void ReadListEnd();
    // The type of the next value; consumes nothing. May be a byte the format does not know.
    TValueType NextValue() const;
    // Consumes the type byte of the next value.
    TValueType ReadValue();

    std::int32_t ReadInteger();
    // Short and long strings are ANSI, wide strings UTF-16LE, UTF-8 strings UTF-8.
    QString ReadString();
    // An identifier; false and true read as "False" and "True", nil as "nil".
    std::string ReadIdent();
    bool ReadBoolean();
    // The bytes of a binary value, as a view into the data.
    std::string_view ReadBinary();
    // Consumes the collection's type byte; the items follow as lists of properties.
    void ReadCollectionBegin();
    // Skips one value of any type, nested lists and collections included. Works without
    // recursion, so deep nesting in a damaged file cannot exhaust the stack.
    void SkipValue();
    // Skips a property name and its value.
    void SkipProperty();

private:
    TValueType ReadValueOf(TValueType expected);
    // Skips the payload of a value whose type byte is already read; returns true when the
    // value opens a list or a collection whose contents still follow.
    bool SkipPayload(TValueType type);

    TByteReader FBytes;
};
