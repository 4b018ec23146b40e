#include "base/ComponentStream.h"

#include "base/Ansi.h"
#include "base/Exceptions.h"

#include <limits>

namespace {

const std::size_t MaxLongLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

} // namespace

void AppendInt16(std::string& out, std::int16_t value)
{
    const auto bits = static_cast<std::uint16_t>(value);
    out += static_cast<char>(bits & 0xFF);
    out += static_cast<char>(bits >> 8);
}

void AppendInt32(std::string& out, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
        static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
    out.append(bytes, sizeof bytes);
}

namespace {

void CheckShortLength(std::string_view ansi)
{
    if (ansi.size() > 255)
        throw EFilerError(QStringLiteral("Short string longer than 255 characters"));
}

} // namespace

void AppendShortString(std::string& out, std::string_view ansi)
{
    CheckShortLength(ansi);
    out += static_cast<char>(ansi.size());
    out += ansi;
}

void TStreamWriter::WriteSignature()
{
    FOut += "TPF0";
}

void TStreamWriter::WriteStr(std::string_view ansi)
{
    AppendShortString(FOut, ansi);
}

void TStreamWriter::WriteValue(TValueType type)
{
    FOut += static_cast<char>(type);
}

void TStreamWriter::WriteListBegin()
{
    WriteValue(TValueType::vaList);
}

void TStreamWriter::WriteListEnd()
{
    WriteValue(TValueType::vaNull);
}

void TStreamWriter::WriteInteger(std::int32_t value)
{
    if (value >= std::numeric_limits<std::int8_t>::min() && value <= std::numeric_limits<std::int8_t>::max()) {
        WriteValue(TValueType::vaInt8);
        FOut += static_cast<char>(static_cast<std::int8_t>(value));
    } else if (value >= std::numeric_limits<std::int16_t>::min() && value <= std::numeric_limits<std::int16_t>::max()) {
        WriteValue(TValueType::vaInt16);
        AppendInt16(FOut, static_cast<std::int16_t>(value));
    } else {
        WriteValue(TValueType::vaInt32);
        AppendInt32(FOut, value);
    }
}

void TStreamWriter::WriteLongBytes(TValueType type, std::string_view bytes)
{
    // The length field is a signed 32-bit number; more cannot be told to a reader.
    if (bytes.size() > MaxLongLength)
        throw EFilerError(QStringLiteral("Value longer than a stream can hold"));
    WriteValue(type);
    AppendInt32(FOut, static_cast<std::int32_t>(bytes.size()));
    FOut += bytes;
}

void TStreamWriter::WriteString(const QString& text)
{
    // Text that the ANSI code page holds byte for byte stays readable by readers that know
    // only ANSI strings; anything else goes as UTF-8 so that no character is lost.
    const QByteArray utf8 = text.toUtf8();
    const std::string ansi = StringToAnsi(text);
    if (std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())) != ansi) {
        WriteLongBytes(
            TValueType::vaUTF8String, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    } else if (ansi.size() <= 255) {
        WriteValue(TValueType::vaString);
        AppendShortString(FOut, ansi);
    } else {
        WriteLongBytes(TValueType::vaLString, ansi);
    }
}

void TStreamWriter::WriteIdent(std::string_view name)
{
    // Checked before the type byte, so a refused name leaves nothing half written.
    CheckShortLength(name);
    WriteValue(TValueType::vaIdent);
    AppendShortString(FOut, name);
}

void TStreamWriter::WriteBoolean(bool value)
{
    WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TStreamWriter::WriteBinary(std::string_view bytes)
{
    WriteLongBytes(TValueType::vaBinary, bytes);
}

void TStreamWriter::WriteBinary(const std::function<void(std::string& out)>& append)
{
    WriteValue(TValueType::vaBinary);
    const std::size_t lengthAt = FOut.size();
    AppendInt32(FOut, 0);
    append(FOut);
    const std::size_t length = FOut.size() - lengthAt - 4;
    if (length > MaxLongLength) {
        FOut.resize(lengthAt - 1);
        throw EFilerError(QStringLiteral("Value longer than a stream can hold"));
    }
    std::string field;
    AppendInt32(field, static_cast<std::int32_t>(length));
    FOut.replace(lengthAt, field.size(), field);
}

void TStreamWriter::WriteCollectionBegin()
{
    WriteValue(TValueType::vaCollection);
}
