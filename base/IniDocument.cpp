#include "base/IniDocument.h"

namespace {

constexpr size_t npos = std::string::npos;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool TIniDocument::SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

TIniDocument TIniDocument::Parse(std::string_view bytes)
{
    TIniDocument doc;
    while (!bytes.empty()) {
        size_t eol = bytes.find('\n');
        std::string_view raw = bytes.substr(0, eol);
        bytes.remove_prefix(eol == npos ? bytes.size() : eol + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        std::string_view line = Trim(raw);
        TLine parsed{TLineKind::lkOther, {}, {}, std::string(raw)};
        size_t close = line.rfind(']');
        if (!line.empty() && line.front() == '[' && close != npos) {
            parsed.Kind = TLineKind::lkSection;
            parsed.Name = std::string(Trim(line.substr(1, close - 1)));
        } else if (!line.empty() && line.front() != ';' && line.find('=') != npos) {
            size_t eq = line.find('=');
            parsed.Kind = TLineKind::lkKey;
            parsed.Name = std::string(Trim(line.substr(0, eq)));
            parsed.Value = std::string(Trim(line.substr(eq + 1)));
        }
        doc.FLines.push_back(std::move(parsed));
    }
    return doc;
}

std::string TIniDocument::Serialize() const
{
    std::string out;
    for (const TLine& line : FLines) {
        switch (line.Kind) {
        case TLineKind::lkSection:
            out += '[';
            out += line.Name;
            out += ']';
            break;
        case TLineKind::lkKey:
            out += line.Name;
            out += '=';
            out += line.Value;
            break;
        case TLineKind::lkOther:
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
        if (FLines[i].Kind == TLineKind::lkSection && SameName(FLines[i].Name, section))
            return i;
    return npos;
}

size_t TIniDocument::SectionEnd(size_t h) const
{
    size_t i = h + 1;
    while (i < FLines.size() && FLines[i].Kind != TLineKind::lkSection)
        ++i;
    return i;
}

size_t TIniDocument::FindKey(size_t h, std::string_view key) const
{
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i)
        if (FLines[i].Kind == TLineKind::lkKey && SameName(FLines[i].Name, key))
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
    std::string_view v = FLines[k].Value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

bool TIniDocument::HasSection(std::string_view section) const
{
    return FindSection(section) != npos;
}

std::vector<std::string> TIniDocument::SectionNames() const
{
    std::vector<std::string> names;
    for (const TLine& line : FLines)
        if (line.Kind == TLineKind::lkSection)
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
        if (FLines[i].Kind == TLineKind::lkKey)
            names.push_back(FLines[i].Name);
    return names;
}

void TIniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    TLine keyLine{TLineKind::lkKey, std::string(Trim(key)), std::string(Trim(value)), {}};
    size_t h = FindSection(section);
    if (h == npos) {
        // A new section is set off from the one before it by an empty line.
        bool lastIsEmpty = !FLines.empty() && FLines.back().Kind == TLineKind::lkOther
                           && Trim(FLines.back().Raw).empty();
        if (!FLines.empty() && !lastIsEmpty)
            FLines.push_back({TLineKind::lkOther, {}, {}, {}});
        FLines.push_back({TLineKind::lkSection, std::string(Trim(section)), {}, {}});
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
    while (at > h + 1 && FLines[at - 1].Kind == TLineKind::lkOther && Trim(FLines[at - 1].Raw).empty())
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
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(h),
                 FLines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
    return true;
}
