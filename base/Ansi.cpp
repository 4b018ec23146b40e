#include "base/Ansi.h"

#include <array>
#include <cstdint>
#include <iconv.h>
#include <vector>

namespace {

struct TAnsiTables {
    std::array<char16_t, 256> ToUnicode{};
    std::vector<int16_t> FromUnicode = std::vector<int16_t>(0x10000, -1); // -1: not in the code page
};

iconv_t OpenCodePage()
{
    const iconv_t failed = reinterpret_cast<iconv_t>(-1);
    iconv_t cd = ::iconv_open("UTF-32LE", "WINDOWS-1252");
    if (cd == failed)
        cd = ::iconv_open("UTF-32LE", "CP1252");
    return cd;
}

// Asks iconv for each byte once. Bytes it rejects, and all bytes if the code page is missing
// from the C library, stand for the character of the same number, as Windows maps them.
TAnsiTables BuildTables()
{
    TAnsiTables tables;
    const iconv_t cd = OpenCodePage();
    const bool haveCodePage = cd != reinterpret_cast<iconv_t>(-1);
    for (int byte = 0; byte < 256; ++byte) {
        char32_t codePoint = static_cast<char32_t>(byte);
        if (haveCodePage) {
            char in = static_cast<char>(byte);
            unsigned char out[4] = {};
            char* src = &in;
            char* dst = reinterpret_cast<char*>(out);
            size_t inLeft = 1, outLeft = sizeof out;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (::iconv(cd, &src, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1) && outLeft == 0) {
                const char32_t converted = out[0] | out[1] << 8 | out[2] << 16 | static_cast<char32_t>(out[3]) << 24;
                if (converted < 0x10000)
                    codePoint = converted;
            }
        }
        tables.ToUnicode[static_cast<size_t>(byte)] = static_cast<char16_t>(codePoint);
    }
    if (haveCodePage)
        ::iconv_close(cd);
    for (int byte = 0; byte < 256; ++byte) {
        int16_t& slot = tables.FromUnicode[tables.ToUnicode[static_cast<size_t>(byte)]];
        if (slot < 0)
            slot = static_cast<int16_t>(byte);
    }
    return tables;
}

const TAnsiTables& Tables()
{
    static const TAnsiTables tables = BuildTables();
    return tables;
}

} // namespace

QString AnsiToString(std::string_view bytes)
{
    const TAnsiTables& tables = Tables();
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(tables.ToUnicode[static_cast<unsigned char>(byte)]);
    return text;
}

namespace {

// Each character through the table; unrepresentable ones (a surrogate pair counts as one)
// become '?' unless the conversion is to fail on them.
std::optional<std::string> ConvertToAnsi(const QString& text, bool refuseUnrepresentable)
{
    const TAnsiTables& tables = Tables();
    // One byte per UTF-16 unit at most: the result is written in place and cut to its length.
    std::string bytes(static_cast<size_t>(text.size()), '\0');
    char* out = bytes.data();
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* end = in + text.size();
    while (in != end) {
        const char16_t unit = *in++;
        // A character outside the BMP is one '?', not two.
        if (QChar::isHighSurrogate(unit) && in != end && QChar::isLowSurrogate(*in)) {
            if (refuseUnrepresentable)
                return std::nullopt;
            *out++ = '?';
            ++in;
            continue;
        }
        const int16_t byte = tables.FromUnicode[unit];
        if (byte < 0 && refuseUnrepresentable)
            return std::nullopt;
        *out++ = byte < 0 ? '?' : static_cast<char>(byte);
    }
    bytes.resize(static_cast<size_t>(out - bytes.data()));
    return bytes;
}

} // namespace

std::string StringToAnsi(const QString& text)
{
    return *ConvertToAnsi(text, false);
}

std::optional<std::string> TryStringToAnsi(const QString& text)
{
    return ConvertToAnsi(text, true);
}
