// The service's tables, the connections, the pppd links and NetworkManager's links: what parses
// is written back to the same table. The first byte chooses the table.

#include "ras/service/ConnectionTable.h"
#include "ras/service/NmLinkTable.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/RasErrors.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 3 == 1) {
        const std::optional<TPppLinkTable> links = ParsePppLinks(bytes);
        if (links && ParsePppLinks(SerializePppLinks(*links)) != links)
            std::abort();
        return 0;
    }
    if (data[0] % 3 == 2) {
        const std::optional<TNmLinkTable> links = ParseNmLinks(bytes);
        if (links && ParseNmLinks(SerializeNmLinks(*links)) != links)
            std::abort();
        return 0;
    }
    try {
        const TConnectionTable table = ParseConnectionTable(bytes);
        if (ParseConnectionTable(SerializeConnectionTable(table)) != table)
            std::abort();
    } catch (const ERasCorruptTable&) {
    }
    return 0;
}
