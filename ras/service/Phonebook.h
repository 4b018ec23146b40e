#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One entry of the phonebook rasphone.pbk. All text is in the ANSI code page (Windows-1252).
struct TPhonebookEntry {
    std::string Name;
    std::string DeviceType; // "modem", "isdn", ...
    std::string DeviceName;
    uint32_t Speed = 0; // bits per second
    std::string PhoneNumber;

    friend bool operator==(const TPhonebookEntry&, const TPhonebookEntry&) = default;
};

// Entry names compare without regard to case, as Windows compares them: ASCII letters and the
// accented letters of Windows-1252.
bool SameEntryName(std::string_view a, std::string_view b);
// The name with every letter folded as SameEntryName folds it: two names are the same entry
// exactly when their folded forms are equal.
std::string FoldedEntryName(std::string_view name);

// The entries of a phonebook file, in file order. The file is an INI file with a section per
// entry and the keys DEVICE (the device type; this exact spelling), Device (the device name;
// any other spelling), Speed and PhoneNumber. Throws ERasCorruptPhonebook for a file that
// cannot be read unambiguously.
std::vector<TPhonebookEntry> ParsePhonebook(std::string_view bytes);

// Throws ERasInvalidEntry, with the reason, for an entry the phonebook or the library's
// records cannot hold.
void ValidateNewEntry(const TPhonebookEntry& entry);

// The file with the entry added as a new section at its end; the existing text is kept as it is.
std::string AppendPhonebookEntry(std::string_view bytes, const TPhonebookEntry& entry);
// The file without the section of that name (spelled as in the file).
std::string RemovePhonebookEntry(std::string_view bytes, std::string_view name);
