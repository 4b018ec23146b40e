#include "base/IniDocument.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr size_t npos = std::string::npos;

// FNV-1a over the name with its ASCII letters folded, as names compare.
uint32_t NameHash(std::string_view name)
{
    uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(LowerAscii(c));
        hash *= 16777619u;
    }
    return hash;
}

} // namespace

TIniDocument TIniDocument::Parse(std::string_view bytes)
{
    return Parse(std::string(bytes));
}

TIniDocument TIniDocument::Parse(std::string&& bytes)
{
    // Places are kept in 32 bits; the profile functions read far smaller files.
    if (bytes.size() >= (uint64_t{1} << 29))
        throw std::length_error("INI file too large");
    TIniDocument doc;
    doc.FText = std::move(bytes);
    const std::string_view text(doc.FText);
    // Sized once: a vector that doubles as it grows would hold up to twice the lines.
    doc.FLines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    TIniScanner scanner(text);
    while (const std::optional<TIniLine> line = scanner.Next())
        doc.FLines.push_back({static_cast<uint32_t>(line->Raw.data() - text.data()),
            static_cast<uint32_t>(line->Raw.size()), 0, static_cast<uint32_t>(line->Kind)});
    return doc;
}

TIniLine TIniDocument::Scan(size_t i) const
{
    const TLine& line = FLines[i];
    return ScanIniLine(std::string_view(line.Added ? FAdded : FText).substr(line.Start, line.Length));
}

TIniDocument::TLine TIniDocument::NewLine(std::string_view text)
{
    if (FAdded.size() + text.size() >= (uint64_t{1} << 29))
        throw std::length_error("INI document too large");
    const TIniLine scanned = ScanIniLine(text);
    TLine line{static_cast<uint32_t>(FAdded.size()), static_cast<uint32_t>(text.size()), 1,
        static_cast<uint32_t>(scanned.Kind)};
    FAdded += text;
    return line;
}

std::string TIniDocument::Serialize() const
{
    std::string out;
    out.reserve(FText.size() + FAdded.size() + FLines.size() * 2);
    Serialize([&out](std::string_view piece) {
        out += piece;
        return true;
    });
    return out;
}

bool TIniDocument::Serialize(const std::function<bool(std::string_view)>& write) const
{
    constexpr size_t Piece = size_t{1} << 20;
    std::string out;
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TIniLine line = Scan(i);
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
        if (out.size() >= Piece) {
            if (!write(out))
                return false;
            out.clear();
        }
    }
    return out.empty() || write(out);
}

size_t TIniDocument::FindSection(std::string_view section) const
{
    if (FIndex.empty()) {
        FIndex.reserve(static_cast<size_t>(std::count_if(
            FLines.begin(), FLines.end(), [](const TLine& l) { return l.Kind == uint32_t(TIniLineKind::ilSection); })));
        for (size_t i = 0; i < FLines.size(); ++i)
            if (KindOf(i) == TIniLineKind::ilSection)
                FIndex.emplace_back(NameHash(Scan(i).Name), static_cast<uint32_t>(i));
        std::sort(FIndex.begin(), FIndex.end());
    }
    const uint32_t hash = NameHash(section);
    auto it = std::lower_bound(FIndex.begin(), FIndex.end(), std::make_pair(hash, uint32_t{0}));
    for (; it != FIndex.end() && it->first == hash; ++it)
        if (SameIgnoringAsciiCase(Scan(it->second).Name, section))
            return it->second;
    return npos;
}

size_t TIniDocument::SectionEnd(size_t h) const
{
    size_t i = h + 1;
    while (i < FLines.size() && KindOf(i) != TIniLineKind::ilSection)
        ++i;
    return i;
}

size_t TIniDocument::FindKey(size_t h, std::string_view key) const
{
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i)
        if (KindOf(i) == TIniLineKind::ilKey && SameIgnoringAsciiCase(Scan(i).Name, key))
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
    return std::string(UnquoteIniValue(Scan(k).Value));
}

bool TIniDocument::HasSection(std::string_view section) const
{
    return FindSection(section) != npos;
}

std::vector<std::string> TIniDocument::SectionNames() const
{
    std::vector<std::string> names;
    for (size_t i = 0; i < FLines.size(); ++i)
        if (KindOf(i) == TIniLineKind::ilSection)
            names.emplace_back(Scan(i).Name);
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
        if (KindOf(i) == TIniLineKind::ilKey)
            names.emplace_back(Scan(i).Name);
    return names;
}

void TIniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string keyText = std::string(TrimIniBlanks(key)) + '=' + std::string(TrimIniBlanks(value));
    size_t h = FindSection(section);
    if (h == npos) {
        // A new section is set off from the one before it by an empty line.
        const bool lastIsEmpty = !FLines.empty() && KindOf(FLines.size() - 1) == TIniLineKind::ilOther &&
            TrimIniBlanks(Scan(FLines.size() - 1).Raw).empty();
        if (!FLines.empty() && !lastIsEmpty)
            FLines.push_back(NewLine({}));
        FLines.push_back(NewLine("[" + std::string(TrimIniBlanks(section)) + "]"));
        FLines.push_back(NewLine(keyText));
        LinesMoved();
        return;
    }
    size_t k = FindKey(h, key);
    if (k != npos) {
        // The key keeps its name as written; only its value changes.
        FLines[k] = NewLine(std::string(Scan(k).Name) + '=' + std::string(TrimIniBlanks(value)));
        return;
    }
    // Insert after the section's last non-empty line, so the blank line before the next section stays.
    size_t at = SectionEnd(h);
    while (at > h + 1 && KindOf(at - 1) == TIniLineKind::ilOther && TrimIniBlanks(Scan(at - 1).Raw).empty())
        --at;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), NewLine(keyText));
    LinesMoved();
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
    LinesMoved();
    return true;
}

bool TIniDocument::DeleteSection(std::string_view section)
{
    size_t h = FindSection(section);
    if (h == npos)
        return false;
    FLines.erase(
        FLines.begin() + static_cast<std::ptrdiff_t>(h), FLines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
    LinesMoved();
    return true;
}
