// rasphone.pbk as the dial-up service reads it: a phonebook that parses keeps its entries when
// one is added at its end or one of its own is removed.

#include "fuzz/Check.h"
#include "ras/service/Phonebook.h"
#include "ras/service/RasErrors.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<TPhonebookEntry> entries;
    try {
        entries = ParsePhonebook(bytes);
    } catch (const ERasService&) {
        return 0;
    }
    TPhonebookEntry added{"Zeltix Fuzz", "isdn", "AVM ISDN Controller", 64000, "0191011"};
    bool taken = false;
    for (const TPhonebookEntry& entry : entries)
        taken = taken || SameEntryName(entry.Name, added.Name);
    if (!taken) {
        std::vector<TPhonebookEntry> expected = entries;
        expected.push_back(added);
        Check(ParsePhonebook(AppendPhonebookEntry(bytes, added)) == expected);
    }
    if (!entries.empty()) {
        std::vector<TPhonebookEntry> expected(entries.begin() + 1, entries.end());
        try {
            Check(ParsePhonebook(RemovePhonebookEntry(bytes, entries.front().Name)) == expected);
        } catch (const ERasService&) {
            // A name that several sections share cannot be removed unambiguously.
        }
    }
    return 0;
}
