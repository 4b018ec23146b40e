#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// How the Windows profile functions read an INI file, line by line; both the profile engine's
// document (TIniDocument) and the dial-up phonebook read their files with it. Names and values
// are bytes in the ANSI code page and keep their case as written: the profile functions compare
// them with SameIgnoringAsciiCase (base/AsciiCase.h), the phonebook tells DEVICE from Device.

// Blanks and tabs around names and values are not part of them; trailing CRs go too, which
// sets this apart from the blanks trimmed off a typed time (base/SysUtils.Dates.cpp).
std::string_view TrimIniBlanks(std::string_view text);
// A value enclosed in one pair of matching quotes (" or ') is read without them.
bool IsQuotedIniValue(std::string_view value);
std::string_view UnquoteIniValue(std::string_view value);

enum class TIniLineKind { ilSection, ilKey, ilOther };

// One line of an INI text. The views point into the scanned text.
struct TIniLine {
    TIniLineKind Kind = TIniLineKind::ilOther;
    std::string_view Name;  // section or key name, trimmed
    std::string_view Value; // key value, trimmed, quotes kept
    std::string_view Raw;   // the line without its line break (LF, or CR LF)
};

// A section header runs from its '[' to the last ']' on the line; a key line has an '=' and
// does not begin with ';'; everything else (comments, empty lines, junk) is of kind Other.
TIniLine ScanIniLine(std::string_view raw);

// The lines of an INI text in order; a last line without a line break counts as a line.
class TIniScanner {
public:
    explicit TIniScanner(std::string_view text)
        : FRest(text)
    {
    }

    std::optional<TIniLine> Next();
    // The number of the line Next returned last, counting from 1.
    size_t LineNo() const { return FLineNo; }

private:
    std::string_view FRest;
    size_t FLineNo = 0;
};
