#include "ras/service/LinkFile.h"

#include "ras/service/ConnectionTable.h"

std::string_view TakeField(std::string_view& line)
{
    size_t blank = std::min(line.find(' '), line.size());
    std::string_view field = line.substr(0, blank);
    line.remove_prefix(std::min(blank + 1, line.size()));
    return field;
}

bool ParseOptionalTime(std::string_view text, std::optional<int64_t>& value)
{
    if (text == "-") {
        value.reset();
        return true;
    }
    int64_t number = 0;
    if (!ParseNumber<int64_t>(text, 0, kMaxTimeMs, number))
        return false;
    value = number;
    return true;
}

void AppendOptionalTime(std::string& out, const std::optional<int64_t>& value)
{
    out += ' ';
    out += value ? std::to_string(*value) : "-";
}

std::string LinkFileHead(std::string_view versionLine, uint64_t nextHandle)
{
    return std::string(versionLine) + "\nNextHandle " + std::to_string(nextHandle) + "\n";
}

std::string LinkFileEnd(size_t links)
{
    return "End " + std::to_string(links) + "\n";
}

std::optional<std::vector<std::string_view>> LinkFileLines(std::string_view bytes, std::string_view versionLine,
    uint64_t firstHandle, uint64_t lastNextHandle, uint64_t& nextHandle)
{
    if (!bytes.ends_with('\n'))
        return std::nullopt;
    std::vector<std::string_view> lines;
    for (size_t eol; (eol = bytes.find('\n')) != bytes.npos; bytes.remove_prefix(eol + 1))
        lines.push_back(bytes.substr(0, eol));
    if (lines.size() < 3 || lines[0] != versionLine || !lines[1].starts_with("NextHandle ") ||
        !ParseNumber<uint64_t>(lines[1].substr(11), firstHandle, lastNextHandle, nextHandle) ||
        lines.back() != "End " + std::to_string(lines.size() - 3))
        return std::nullopt;
    return std::vector<std::string_view>(lines.begin() + 2, lines.end() - 1);
}
