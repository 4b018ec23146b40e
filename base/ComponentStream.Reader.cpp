#include "base/ComponentStream.h"

#include "base/Ansi.h"
#include "base/Exceptions.h"

#include <algorithm>
#include <vector>

namespace {

[[noreturn]] void ThrowReadError()
{
    throw EReadError(QStringLiteral("Stream read error"));
}

[[noreturn]] void ThrowPropertyValueError()
{
    throw EReadError(QStringLiteral("Invalid property value"));
}

} // namespace

void TByteReader::Require(std::size_t count) const
{
    if (count > Remaining())
        ThrowReadError();
}

std::uint8_t TByteReader::PeekByte() const
{
    Require(1);
    return static_cast<std::uint8_t>(FData[FPosition]);
}

std::uint8_t TByteReader::ReadByte()
{
    const std::uint8_t byte = PeekByte();
    ++FPosition;
    return byte;
}

std::int8_t TByteReader::ReadInt8()
{
    return static_cast<std::int8_t>(ReadByte());
}

std::int16_t TByteReader::ReadInt16()
{
    const std::string_view bytes = ReadBytes(2);
    return static_cast<std::int16_t>(
        static_cast<std::uint8_t>(bytes[0]) | static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[1])) << 8);
}

std::int32_t TByteReader::ReadInt32()
{
    const std::string_view bytes = ReadBytes(4);
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 8 | static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(bits);
}

std::string_view TByteReader::ReadBytes(std::size_t count)
{
    Require(count);
    const std::string_view bytes = FData.substr(FPosition, count);
    FPosition += count;
    return bytes;
}

std::string_view TByteReader::ReadShortString()
{
    return ReadBytes(ReadByte());
}

std::string_view TByteReader::ReadLongBytes()
{
    const std::int32_t length = ReadInt32();
    if (length < 0)
        ThrowReadError();
    return ReadBytes(static_cast<std::size_t>(length));
}

std::string_view TByteReader::ReadWideBytes()
{
    const std::int32_t count = ReadInt32();
    // Compared in units, so that a count near the top of its range cannot overflow the size.
    if (count < 0 || static_cast<std::size_t>(count) > Remaining() / 2)
        ThrowReadError();
    return ReadBytes(static_cast<std::size_t>(count) * 2);
}

void TStreamReader::ReadSignature()
{
    static constexpr std::string_view Signature = "TPF0";
    const std::size_t available = std::min(FBytes.Remaining(), Signature.size());
    const std::string_view head = FBytes.ReadBytes(available);
    // Bytes that already differ say more than the missing rest: the data is no stream at all.
    if (head != Signature.substr(0, available))
        throw EFilerError(QStringLiteral("Invalid stream format"));
    if (available < Signature.size())
        ThrowReadError();
}

std::string TStreamReader::ReadStr()
{
    return std::string(FBytes.ReadShortString());
}

bool TStreamReader::EndOfList() const
{
    return FBytes.PeekByte() == 0;
}

TValueType TStreamReader::NextValue() const
{
    return static_cast<TValueType>(FBytes.PeekByte());
}

TValueType TStreamReader::ReadValue()
{
    return static_cast<TValueType>(FBytes.ReadByte());
}

TValueType TStreamReader::ReadValueOf(TValueType expected)
{
    const TValueType type = ReadValue();
    if (type != expected)
        ThrowPropertyValueError();
    return type;
}

void TStreamReader::ReadListBegin()
{
    ReadValueOf(TValueType::vaList);
}

void TStreamReader::ReadListEnd()
{
    ReadValueOf(TValueType::vaNull);
}

void TStreamReader::ReadCollectionBegin()
{
    ReadValueOf(TValueType::vaCollection);
}

std::int32_t TStreamReader::ReadInteger()
{
    switch (ReadValue()) {
    case TValueType::vaInt8:
        return FBytes.ReadInt8();
    case TValueType::vaInt16:
        return FBytes.ReadInt16();
    case TValueType::vaInt32:
        return FBytes.ReadInt32();
    default:
        ThrowPropertyValueError();
    }
}

QString TStreamReader::ReadString()
{
    switch (ReadValue()) {
    case TValueType::vaString:
        return AnsiToString(FBytes.ReadShortString());
    case TValueType::vaLString:
        return AnsiToString(FBytes.ReadLongBytes());
    case TValueType::vaWString: {
        const std::string_view utf16 = FBytes.ReadWideBytes();
        // Assembled unit by unit: the bytes need not be aligned for char16_t.
        QString text(static_cast<qsizetype>(utf16.size() / 2), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto low = static_cast<std::uint8_t>(utf16[static_cast<std::size_t>(2 * i)]);
            const auto high = static_cast<std::uint8_t>(utf16[static_cast<std::size_t>(2 * i + 1)]);
            text[i] = QChar(static_cast<char16_t>(low | high << 8));
        }
        // An unpaired surrogate is no character, and would come back from the next save as
        // another one.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                text[i] = QChar::ReplacementCharacter;
        }
        return text;
    }
    case TValueType::vaUTF8String: {
        const std::string_view utf8 = FBytes.ReadLongBytes();
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    default:
        ThrowPropertyValueError();
    }
}

std::string TStreamReader::ReadIdent()
{
    switch (ReadValue()) {
    case TValueType::vaIdent:
        return std::string(FBytes.ReadShortString());
    case TValueType::vaFalse:
        return "False";
    case TValueType::vaTrue:
        return "True";
    case TValueType::vaNil:
        return "nil";
    default:
        ThrowPropertyValueError();
    }
}

bool TStreamReader::ReadBoolean()
{
    switch (ReadValue()) {
    case TValueType::vaFalse:
        return false;
    case TValueType::vaTrue:
        return true;
    default:
        ThrowPropertyValueError();
    }
}

std::string_view TStreamReader::ReadBinary()
{
    ReadValueOf(TValueType::vaBinary);
    return FBytes.ReadLongBytes();
}

bool TStreamReader::SkipPayload(TValueType type)
{
    switch (type) {
    case TValueType::vaList:
    case TValueType::vaCollection:
        return true;
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        return false;
    case TValueType::vaInt8:
        FBytes.Skip(1);
        return false;
    case TValueType::vaInt16:
        FBytes.Skip(2);
        return false;
    case TValueType::vaInt32:
    case TValueType::vaSingle:
        FBytes.Skip(4);
        return false;
    case TValueType::vaInt64:
    case TValueType::vaCurrency:
    case TValueType::vaDate:
        FBytes.Skip(8);
        return false;
    case TValueType::vaExtended:
        FBytes.Skip(10);
        return false;
    case TValueType::vaString:
    case TValueType::vaIdent:
        FBytes.ReadShortString();
        return false;
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
        FBytes.ReadLongBytes();
        return false;
    case TValueType::vaWString:
        FBytes.ReadWideBytes();
        return false;
    case TValueType::vaSet:
        // Element names up to an empty one.
        while (!FBytes.ReadShortString().empty()) {
        }
        return false;
    default:
        ThrowPropertyValueError();
    }
}

void TStreamReader::SkipValue()
{
    // What each open level holds until its end byte: values (a list), items each opened by a
    // list-begin byte (a collection), or named properties (an item of a collection).
    enum class TLevel : std::uint8_t { lvList, lvCollection, lvItem };
    std::vector<TLevel> open;
    const auto skipOne = [&] {
        const TValueType type = ReadValue();
        if (SkipPayload(type))
            open.push_back(type == TValueType::vaList ? TLevel::lvList : TLevel::lvCollection);
    };
    skipOne();
    while (!open.empty()) {
        if (EndOfList()) {
            ReadListEnd();
            open.pop_back();
            continue;
        }
        switch (open.back()) {
        case TLevel::lvList:
            skipOne();
            break;
        case TLevel::lvCollection:
            ReadListBegin();
            open.push_back(TLevel::lvItem);
            break;
        case TLevel::lvItem:
            FBytes.ReadShortString();
            skipOne();
            break;
        }
    }
}

void TStreamReader::SkipProperty()
{
    FBytes.ReadShortString();
    SkipValue();
}
