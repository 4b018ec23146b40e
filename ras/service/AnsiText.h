#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The stand-in's files and records hold text in the ANSI code page, Windows-1252; users and
// terminals speak UTF-8. The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the control characters of the same value, so every byte string converts.
// The code page itself is the program's (base/Ansi.h); these add the UTF-8 side.

std::string AnsiToUtf8(std::string_view ansi);
// Nothing when the text is not valid UTF-8 or holds a character Windows-1252 cannot represent.
std::optional<std::string> Utf8ToAnsi(std::string_view utf8);
// For messages: an ANSI name as readable text.
QString AnsiToQString(std::string_view ansi);
