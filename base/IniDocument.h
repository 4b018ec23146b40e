#pragma once

#include "base/IniScan.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An INI file held in memory with the rules of the Windows profile functions (base/IniScan.h):
// section and key names compare without regard to the case of ASCII letters (SameIgnoringAsciiCase),
// every other byte is kept as it is (names and values are bytes in the ANSI code page), names
// and values are trimmed of blanks and tabs, and a value enclosed in matching quotes is read
// without them. Lines it does not understand (comments, junk) are kept
// in place when the document is written back.
class TIniDocument {
public:
    static TIniDocument Parse(std::string_view bytes);
    // The text of the document, lines ended by CR LF.
    std::string Serialize() const;

    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> KeyNames(std::string_view section) const;

    // Replaces the key's value, or adds the key at the end of its section, or adds the section
    // at the end of the document.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

private:
    struct TLine {
        TIniLineKind Kind;
        std::string Name;  // section or key name, trimmed
        std::string Value; // key value, trimmed, quotes kept
        std::string Raw;   // the line as read, for lines of kind Other
    };

    // Index of the first line of the section's header, or npos.
    size_t FindSection(std::string_view section) const;
    // One past the last line that belongs to the section starting at header index h.
    size_t SectionEnd(size_t h) const;
    size_t FindKey(size_t h, std::string_view key) const;

    std::vector<TLine> FLines;
};
