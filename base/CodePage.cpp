#include "base/CodePage.h"

#include <cstddef>
#include <iconv.h>

namespace {

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
TCodePage BuildTables()
{
    TCodePage tables;
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

} // namespace

const TCodePage& AnsiCodePage()
{
    static const TCodePage tables = BuildTables();
    return tables;
}
