#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The platform's "ANSI code page", Windows-1252, as two tables built once from iconv. The five
// bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D), and every byte when
// the C library lacks the code page, stand for the character of the same number, as Windows
// maps them, so every byte string survives a round trip.
struct TCodePage {
    std::array<char16_t, 256> ToUnicode{};
    // Indexed by a UTF-16 unit; -1 where the code page has no byte for it.
    std::vector<int16_t> FromUnicode = std::vector<int16_t>(0x10000, -1);
};

const TCodePage& AnsiCodePage();
