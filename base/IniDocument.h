#pragma once

#include "base/IniScan.h"

#include <cstdint>
#include <functional>
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
//
// The document keeps the file's bytes as they were read and, per line, only where the line is
// and what kind it is (eight bytes), so a large file costs about twice its size; a line that is
// set is written anew after them. Sections are found through an index of their names' hashes,
// made at the first search after the document's lines last moved.
class TIniDocument {
public:
    static TIniDocument Parse(std::string_view bytes);
    // The same, taking over the bytes without copying them.
    static TIniDocument Parse(std::string&& bytes);
    // The text of the document, lines ended by CR LF.
    std::string Serialize() const;
    // The same handed to write in pieces of about a megabyte, so a large document is never
    // held twice; false as soon as write refuses a piece.
    bool Serialize(const std::function<bool(std::string_view)>& write) const;

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
        uint32_t Start = 0;
        uint32_t Length : 29 = 0;
        uint32_t Added : 1 = 0; // in FAdded rather than FText
        uint32_t Kind : 2 = 0;  // TIniLineKind
    };
    static_assert(sizeof(TLine) == 8);

    TIniLine Scan(size_t i) const;
    TIniLineKind KindOf(size_t i) const { return static_cast<TIniLineKind>(FLines[i].Kind); }
    // A line of the given text, kept after the file's bytes.
    TLine NewLine(std::string_view text);
    void LinesMoved() { FIndex.clear(); }

    // Index of the first line of the section's header, or npos.
    size_t FindSection(std::string_view section) const;
    // One past the last line that belongs to the section starting at header index h.
    size_t SectionEnd(size_t h) const;
    size_t FindKey(size_t h, std::string_view key) const;

    // The file's bytes, never grown (growing a large string copies it whole), and the lines set
    // since, one after the other.
    std::string FText;
    std::string FAdded;
    std::vector<TLine> FLines;
    // The section headers by the hash of their names, then by place; empty until searched.
    mutable std::vector<std::pair<uint32_t, uint32_t>> FIndex;
};
