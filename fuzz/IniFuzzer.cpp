// settings.ini and conns.ini as the profile functions read them: a document survives writing
// and reading back, and setting or deleting one key leaves every other value as it was.

#include "base/IniDocument.h"
#include "fuzz/Check.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Every value the document gives, by the names it lists.
std::string Values(const TIniDocument& document)
{
    std::string all;
    for (const std::string& section : document.SectionNames())
        for (const std::string& key : document.KeyNames(section))
            all += section + '\x01' + key + '\x01' + document.Value(section, key).value_or("<none>") + '\x02';
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TIniDocument document = TIniDocument::Parse(bytes);
    const std::string text = document.Serialize();
    const TIniDocument reread = TIniDocument::Parse(text);
    Check(reread.Serialize() == text);
    Check(Values(reread) == Values(document));

    // Adding a section of its own and taking it away again leaves the document's values alone.
    if (document.HasSection("Zeltix Fuzz"))
        return 0;
    TIniDocument changed = document;
    changed.SetValue("Zeltix Fuzz", "Kosten", "4,50");
    Check(changed.Value("zeltix fuzz", "KOSTEN") == std::optional<std::string>("4,50"));
    Check(changed.DeleteSection("Zeltix Fuzz"));
    Check(Values(changed) == Values(document));
    return 0;
}
