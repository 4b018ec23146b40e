#include "base/IniDocument.h"

#include "base/AsciiCase.h"

namespace {

constexpr size_t npos = std::string::npos;

} // namespace

TIniDocument TIniDocument::Parse(std::string_view bytes)
{
    TIniDocument doc;
    TIniScanner scanner(bytes);
    while (const std::optional<TIniLine> line = scanner.Next())
        doc.FLines.push_back({line->Kind, std::string(line->Name), std::string(line->Value), std::string(line->Raw)});
    return doc;
}

std::string TIniDocument::Serialize() const
{
    std::string out;
    for (const TLine& line : FLines) {
        switch (line.Kind) {
        case TIniLineKind::ilSection:
            out += '[';
            out += line.Name;
            out += ']';
            break;
        case TIniLineKind::ilKey:
            out += line.Name;
            out += '=';
            out += line.Value;
            break;
        case TIniLineKind::ilOther:
            out += line.Raw;
            break;
        }
        out += "\r\n";
    }
    return out;
}

size_t TIniDocument::FindSection(std::string_view section) const
{
    for (size_t i = 0; i < FLines.size(); ++i)
        if (FLines[i].Kind == TIniLineKind::ilSection && SameIgnoringAsciiCase(FLines[i].Name, section))
            return i;
    return npos;
}

size_t TIniDocument::SectionEnd(size_t h) const
{
    size_t i = h + 1;
    while (i < FLines.size() && FLines[i].Kind != TIniLineKind::ilSection)
        ++i;
    return i;
}

size_t TIniDocument::FindKey(size_t h, std::string_view key) const
{
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i)
        if (FLines[i].Kind == TIniLineKind::ilKey && SameIgnoringAsciiCase(FLines[i].Name, key))
            return i;
    return npos;
}

std::optional<std::string> TIniDocument::Value(std::string_view section, std::string_view key) const
{
    size_t h = FindSection(section);
    if (h == npos)
        return std::nullopt;
    size_t k = FindKey(h, key);
    if (k == npos)
        return std::nullopt;
    return std::string(UnquoteIniValue(FLines[k].Value));
}

bool TIniDocument::HasSection(std::string_view section) const
{
    return FindSection(section) != npos;
}

std::vector<std::string> TIniDocument::SectionNames() const
{
    std::vector<std::string> names;
    for (const TLine& line : FLines)
        if (line.Kind == TIniLineKind::ilSection)
            names.push_back(line.Name);
    return names;
}

std::vector<std::string> TIniDocument::KeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    size_t h = FindSection(section);
    if (h == npos)
        return names;
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i)
        if (FLines[i].Kind == TIniLineKind::ilKey)
            names.push_back(FLines[i].Name);
    return names;
}

void TIniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    TLine keyLine{TIniLineKind::ilKey, std::string(TrimIniBlanks(key)), std::string(TrimIniBlanks(value)), {}};
    size_t h = FindSection(section);
    if (h == npos) {
        // A new section is set off from the one before it by an empty line.
        bool lastIsEmpty =
            !FLines.empty() && FLines.back().Kind == TIniLineKind::ilOther && TrimIniBlanks(FLines.back().Raw).empty();
        if (!FLines.empty() && !lastIsEmpty)
            FLines.push_back({TIniLineKind::ilOther, {}, {}, {}});
        FLines.push_back({TIniLineKind::ilSection, std::string(TrimIniBlanks(section)), {}, {}});
        FLines.push_back(std::move(keyLine));
        return;
    }
    size_t k = FindKey(h, key);
    if (k != npos) {
        FLines[k].Value = keyLine.Value;
        return;
    }
    // Insert after the section's last non-empty line, so the blank line before the next section stays.
    size_t at = SectionEnd(h);
    while (at > h + 1 && FLines[at - 1].Kind == TIniLineKind::ilOther && TrimIniBlanks(FLines[at - 1].Raw).empty())
        --at;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), std::move(keyLine));
}

bool TIniDocument::DeleteKey(std::string_view section, std::string_view key)
{
    size_t h = FindSection(section);
    if (h == npos)
        return false;
    size_t k = FindKey(h, key);
    if (k == npos)
        return false;
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool TIniDocument::DeleteSection(std::string_view section)
{
    size_t h = FindSection(section);
    if (h == npos)
        return false;
    FLines.erase(
        FLines.begin() + static_cast<std::ptrdiff_t>(h), FLines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
    return true;
}
