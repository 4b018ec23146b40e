#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The platform's "ANSI code page" is Windows-1252: stored files and the dial-up records hold
// text in it. Conversion goes through iconv; the five bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value, as Windows
// does, so every byte string survives a round trip.
QString AnsiToString(std::string_view bytes);
// Characters that Windows-1252 cannot hold become '?'.
std::string StringToAnsi(const QString& text);
// Nothing when the text holds a character that Windows-1252 cannot hold: for names that must
// be stored as given or refused.
std::optional<std::string> TryStringToAnsi(const QString& text);
