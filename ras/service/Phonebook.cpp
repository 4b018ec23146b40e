#include "ras/service/Phonebook.h"

#include "ras/service/AnsiText.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasRecords.h"

#include "base/AsciiCase.h"
#include "base/IniDocument.h"
#include "base/IniScan.h"

#include <charconv>
#include <optional>
#include <unordered_set>

namespace {

constexpr std::string_view kBlanks = " \t";

// A value that the reader would trim or unquote is written inside quotes, so it reads back as given.
std::string QuoteForIni(std::string_view v)
{
    bool edgeBlank = !v.empty() && (kBlanks.find(v.front()) != kBlanks.npos || kBlanks.find(v.back()) != kBlanks.npos);
    if (edgeBlank || IsQuotedIniValue(v))
        return '"' + std::string(v) + '"';
    return std::string(v);
}

// Entry names compare as Windows compares them: ASCII letters and the accented letters of
// Windows-1252 without regard to case (unlike INI names, base/AsciiCase.h).
unsigned char FoldEntryNameByte(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // À..Þ without ×
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A:
        return 0x9A; // Š
    case 0x8C:
        return 0x9C; // Œ
    case 0x8E:
        return 0x9E; // Ž
    case 0x9F:
        return 0xFF; // Ÿ
    default:
        return c;
    }
}

[[noreturn]] void Corrupt(size_t line, const std::string& what)
{
    throw ERasCorruptPhonebook("The phonebook is corrupt: line " + std::to_string(line) + " " + what);
}

std::optional<uint32_t> ParseSpeed(std::string_view text)
{
    if (text.empty())
        return 0;
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void CheckText(std::string_view what, std::string_view text, size_t maxBytes, bool mayBeEmpty)
{
    const std::string field(what);
    if (text.empty() && !mayBeEmpty)
        throw ERasInvalidEntry("The " + field + " must not be empty");
    if (text.size() > maxBytes)
        throw ERasInvalidEntry("The " + field + " is " + std::to_string(text.size()) + " characters long; at most " +
            std::to_string(maxBytes) + " are allowed");
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos)
        throw ERasInvalidEntry("The " + field + " must not contain line breaks or NUL characters");
}

} // namespace

std::string FoldedEntryName(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        c = static_cast<char>(FoldEntryNameByte(static_cast<unsigned char>(c)));
    return folded;
}

bool SameEntryName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (FoldEntryNameByte(x) != FoldEntryNameByte(y))
            return false;
    }
    return true;
}

std::vector<TPhonebookEntry> ParsePhonebook(std::string_view bytes)
{
    if (bytes.find('\0') != bytes.npos)
        throw ERasCorruptPhonebook("The phonebook is corrupt: it contains NUL bytes");
    // The lines are classified as the INI reader classifies them; only the lines it would keep
    // as "not understood" are checked here, as they mean the file is damaged.
    std::vector<TPhonebookEntry> entries;
    // The names seen so far, folded: a repeated entry is found without comparing it with each
    // earlier one, so a large phonebook reads in time proportional to its size.
    std::unordered_set<std::string> names;
    bool typeSeen = false, nameSeen = false, speedSeen = false, phoneSeen = false;
    TIniScanner scanner(bytes);
    while (const std::optional<TIniLine> line = scanner.Next()) {
        const size_t lineNo = scanner.LineNo();
        if (line->Kind == TIniLineKind::ilSection) {
            const std::string_view name = line->Name;
            if (name.empty())
                Corrupt(lineNo, "has an entry without a name");
            if (!names.insert(FoldedEntryName(name)).second)
                Corrupt(lineNo, "repeats the entry " + AnsiToUtf8(name));
            entries.push_back({std::string(name), {}, {}, 0, {}});
            typeSeen = nameSeen = speedSeen = phoneSeen = false;
        } else if (line->Kind == TIniLineKind::ilKey) {
            if (entries.empty())
                Corrupt(lineNo, "holds a setting outside any entry");
            TPhonebookEntry& e = entries.back();
            const std::string_view key = line->Name;
            const std::string_view value = UnquoteIniValue(line->Value);
            // The first occurrence of a key counts, as with the INI reader. DEVICE in capitals
            // is the device type; any other spelling of it is the device name.
            if (key == "DEVICE" && !typeSeen) {
                e.DeviceType = value;
                typeSeen = true;
            } else if (SameIgnoringAsciiCase(key, "Device") && key != "DEVICE" && !nameSeen) {
                e.DeviceName = value;
                nameSeen = true;
            } else if (SameIgnoringAsciiCase(key, "Speed") && !speedSeen) {
                std::optional<uint32_t> speed = ParseSpeed(value);
                if (!speed)
                    Corrupt(lineNo, "has a speed that is not a number");
                e.Speed = *speed;
                speedSeen = true;
            } else if (SameIgnoringAsciiCase(key, "PhoneNumber") && !phoneSeen) {
                e.PhoneNumber = value;
                phoneSeen = true;
            }
        } else {
            const std::string_view text = TrimIniBlanks(line->Raw);
            if (!text.empty() && text.front() != ';' && text.front() != '#')
                Corrupt(lineNo, "is not understood");
        }
    }
    return entries;
}

void ValidateNewEntry(const TPhonebookEntry& entry)
{
    CheckText("entry name", entry.Name, RAS_MaxEntryName, false);
    // The INI reader trims names, so such a name would not read back as written.
    if (kBlanks.find(entry.Name.front()) != kBlanks.npos || kBlanks.find(entry.Name.back()) != kBlanks.npos)
        throw ERasInvalidEntry("The entry name must not begin or end with a blank");
    CheckText("device type", entry.DeviceType, RAS_MaxDeviceType, false);
    CheckText("device name", entry.DeviceName, RAS_MaxDeviceName, true);
    CheckText("phone number", entry.PhoneNumber, 128, true);
}

std::string AppendPhonebookEntry(std::string_view bytes, const TPhonebookEntry& entry)
{
    std::string out(bytes);
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    // Sections are set off from each other by an empty line.
    if (!out.empty()) {
        std::string_view body(out.data(), out.size() - 1);
        size_t previousBreak = body.rfind('\n');
        if (!TrimIniBlanks(body.substr(previousBreak == body.npos ? 0 : previousBreak + 1)).empty())
            out += "\r\n";
    }
    out += "[" + entry.Name + "]\r\n";
    out += "DEVICE=" + QuoteForIni(entry.DeviceType) + "\r\n";
    out += "Device=" + QuoteForIni(entry.DeviceName) + "\r\n";
    out += "Speed=" + std::to_string(entry.Speed) + "\r\n";
    out += "PhoneNumber=" + QuoteForIni(entry.PhoneNumber) + "\r\n";
    return out;
}

std::string RemovePhonebookEntry(std::string_view bytes, std::string_view name)
{
    TIniDocument doc = TIniDocument::Parse(bytes);
    doc.DeleteSection(name);
    return doc.Serialize();
}
