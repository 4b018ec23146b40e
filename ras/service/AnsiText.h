#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The stand-in's files and records hold text in the ANSI code page, Windows-1252; users and
// terminals speak UTF-8. The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the control characters of the same value, so every byte string converts.
// The code page itself is the program's (base/CodePage.h); these add the UTF-8 side.

std::string AnsiToUtf8(std::string_view ansi);
// Nothing when the text is not valid UTF-8 or holds a character Windows-1252 cannot represent.
// A byte order mark at the start is not part of the text.
std::optional<std::string> Utf8ToAnsi(std::string_view utf8);

// For messages: text that should be UTF-8 but comes from outside (a command line, a path),
// with each malformed piece shown as U+FFFD and a leading byte order mark dropped, as the
// program would show it.
std::string ReadableUtf8(std::string_view bytes);
// For messages: an entry name (ANSI) in quotes, as readable text.
std::string QuotedName(std::string_view ansi);
// For messages: a connection handle as eight hexadecimal digits after 0x.
std::string HandleText(uint32_t handle);
