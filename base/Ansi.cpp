#include "base/Ansi.h"

#include "base/CodePage.h"

#include <cstdint>

QString AnsiToString(std::string_view bytes)
{
    const TCodePage& tables = AnsiCodePage();
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
    const TCodePage& tables = AnsiCodePage();
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
