#include "ras/service/AnsiText.h"

#include "base/CodePage.h"

#include <cstdio>

namespace {

// A leading byte order mark says the text is UTF-8; it is not part of the text.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The next character of a UTF-8 text, or nothing for a malformed sequence: a stray or missing
// continuation byte, an overlong form, a surrogate, or a value beyond U+10FFFF.
std::optional<char32_t> TakeUtf8(std::string_view& text)
{
    const auto lead = static_cast<unsigned char>(text.front());
    size_t length = 0;
    char32_t c = 0, least = 0;
    if (lead < 0x80)
        length = 1, c = lead;
    else if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, c = lead & 0x1F, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, c = lead & 0x0F, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, c = lead & 0x07, least = 0x10000;
    else
        return std::nullopt;
    if (text.size() < length)
        return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = c << 6 | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    text.remove_prefix(length);
    return c;
}

} // namespace

std::string AnsiToUtf8(std::string_view ansi)
{
    const TCodePage& codePage = AnsiCodePage();
    std::string utf8;
    utf8.reserve(ansi.size());
    for (const char byte : ansi)
        AppendUtf8(utf8, codePage.ToUnicode[static_cast<unsigned char>(byte)]);
    return utf8;
}

std::optional<std::string> Utf8ToAnsi(std::string_view utf8)
{
    if (utf8.starts_with(kByteOrderMark))
        utf8.remove_prefix(kByteOrderMark.size());
    const TCodePage& codePage = AnsiCodePage();
    std::string ansi;
    ansi.reserve(utf8.size());
    while (!utf8.empty()) {
        const std::optional<char32_t> c = TakeUtf8(utf8);
        if (!c || *c > 0xFFFF)
            return std::nullopt;
        const int16_t byte = codePage.FromUnicode[*c];
        if (byte < 0)
            return std::nullopt;
        ansi += static_cast<char>(byte);
    }
    return ansi;
}

std::string ReadableUtf8(std::string_view bytes)
{
    if (bytes.starts_with(kByteOrderMark))
        bytes.remove_prefix(kByteOrderMark.size());
    std::string readable;
    readable.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::string_view rest = bytes;
        if (TakeUtf8(bytes)) {
            readable += rest.substr(0, rest.size() - bytes.size());
        } else {
            readable += "\xEF\xBF\xBD";
            bytes.remove_prefix(1);
        }
    }
    return readable;
}

std::string QuotedName(std::string_view ansi)
{
    return '"' + AnsiToUtf8(ansi) + '"';
}

std::string HandleText(uint32_t handle)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(handle));
    return text;
}
