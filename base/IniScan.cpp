#include "base/IniScan.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::string_view TrimIniBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool IsQuotedIniValue(std::string_view value)
{
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
}

std::string_view UnquoteIniValue(std::string_view value)
{
    return IsQuotedIniValue(value) ? value.substr(1, value.size() - 2) : value;
}

TIniLine ScanIniLine(std::string_view raw)
{
    TIniLine scanned;
    scanned.Raw = raw;
    const std::string_view line = TrimIniBlanks(raw);
    const size_t close = line.rfind(']');
    if (!line.empty() && line.front() == '[' && close != line.npos) {
        scanned.Kind = TIniLineKind::ilSection;
        scanned.Name = TrimIniBlanks(line.substr(1, close - 1));
    } else if (const size_t eq = line.find('='); !line.empty() && line.front() != ';' && eq != line.npos) {
        scanned.Kind = TIniLineKind::ilKey;
        scanned.Name = TrimIniBlanks(line.substr(0, eq));
        scanned.Value = TrimIniBlanks(line.substr(eq + 1));
    }
    return scanned;
}

std::optional<TIniLine> TIniScanner::Next()
{
    if (FRest.empty())
        return std::nullopt;
    const size_t eol = FRest.find('\n');
    std::string_view raw = FRest.substr(0, eol);
    FRest.remove_prefix(eol == FRest.npos ? FRest.size() : eol + 1);
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    ++FLineNo;
    return ScanIniLine(raw);
}
