#include "ras/service/ConnectionTable.h"

#include "ras/service/RasErrors.h"

#include <charconv>

namespace {

constexpr std::string_view kVersionLine = "ZeltixRasConnections 1";
constexpr char kHex[] = "0123456789ABCDEF";

void AppendQuoted(std::string& out, std::string_view text)
{
    out += " \"";
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c > 0x20 && c < 0x7F && c != '%' && c != '"') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    out += '"';
}

template <typename T>
void AppendOptional(std::string& out, const std::optional<T>& value)
{
    out += ' ';
    out += value ? std::to_string(*value) : "-";
}

// Reads one line's blank-separated fields, each checked as it is taken.
class TLineReader {
public:
    TLineReader(std::string_view line, size_t lineNo)
        : FRest(line)
        , FLineNo(lineNo)
    {
    }

    [[noreturn]] void Fail(const char* what) const
    {
        throw ERasCorruptTable("The connection table is corrupt: line " + std::to_string(FLineNo) + " " + what);
    }

    std::string_view Token()
    {
        size_t blank = FRest.find(' ');
        std::string_view token = FRest.substr(0, blank);
        FRest.remove_prefix(blank == FRest.npos ? FRest.size() : blank + 1);
        if (token.empty())
            Fail("has a missing field");
        return token;
    }

    template <typename T>
    T Number(T min, T max)
    {
        std::string_view token = Token();
        T value{};
        auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (ec != std::errc() || end != token.data() + token.size() || value < min || value > max)
            Fail("has a number that is not valid");
        return value;
    }

    template <typename T>
    std::optional<T> OptionalNumber(T min, T max)
    {
        if (FRest.substr(0, FRest.find(' ')) == "-") {
            Token();
            return std::nullopt;
        }
        return Number<T>(min, max);
    }

    std::string Quoted()
    {
        std::string_view token = Token();
        if (token.size() < 2 || token.front() != '"' || token.back() != '"')
            Fail("has a text field without its quotes");
        token = token.substr(1, token.size() - 2);
        std::string text;
        for (size_t i = 0; i < token.size(); ++i) {
            if (token[i] != '%') {
                text += token[i];
                continue;
            }
            unsigned value = 0;
            if (i + 2 >= token.size())
                Fail("has a broken escape");
            auto [end, ec] = std::from_chars(token.data() + i + 1, token.data() + i + 3, value, 16);
            if (ec != std::errc() || end != token.data() + i + 3)
                Fail("has a broken escape");
            text += static_cast<char>(value);
            i += 2;
        }
        return text;
    }

    void End()
    {
        if (!FRest.empty())
            Fail("has extra fields");
    }

private:
    std::string_view FRest;
    size_t FLineNo;
};

} // namespace

std::string SerializeConnectionTable(const TConnectionTable& table)
{
    std::string out(kVersionLine);
    out += "\nNextHandle " + std::to_string(table.NextHandle) + "\n";
    for (const TConnectionRecord& r : table.Records) {
        out += "Connection " + std::to_string(r.Handle);
        AppendQuoted(out, r.Entry);
        AppendQuoted(out, r.DeviceType);
        AppendQuoted(out, r.DeviceName);
        out +=
            ' ' + std::to_string(r.Speed) + ' ' + std::to_string(r.DialedAtMs) + ' ' + std::to_string(r.ConnectAfterMs);
        AppendOptional(out, r.PinnedState);
        out += ' ' + std::to_string(r.Error);
        AppendOptional(out, r.HungUpAtMs);
        out += ' ' + std::to_string(r.LingerMs) + '\n';
    }
    out += "End " + std::to_string(table.Records.size()) + "\n";
    return out;
}

TConnectionTable ParseConnectionTable(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        size_t eol = bytes.find('\n');
        if (eol == bytes.npos)
            throw ERasCorruptTable("The connection table is corrupt: its last line is cut off");
        lines.push_back(bytes.substr(0, eol));
        bytes.remove_prefix(eol + 1);
    }
    if (lines.empty() || lines[0] != kVersionLine)
        throw ERasCorruptTable("The connection table is corrupt or of an unknown version");

    TConnectionTable table;
    bool ended = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        TLineReader line(lines[i], i + 1);
        if (ended)
            line.Fail("follows the end line");
        std::string_view keyword = line.Token();
        if (i == 1) {
            if (keyword != "NextHandle")
                line.Fail("should hold the next handle");
            table.NextHandle = line.Number<uint64_t>(kFirstConnectionHandle, uint64_t{1} << 32);
        } else if (keyword == "Connection") {
            TConnectionRecord r;
            r.Handle = line.Number<HRASCONN>(1, UINT32_MAX);
            if (r.Handle >= table.NextHandle || (!table.Records.empty() && r.Handle <= table.Records.back().Handle))
                line.Fail("has a handle out of order");
            r.Entry = line.Quoted();
            r.DeviceType = line.Quoted();
            r.DeviceName = line.Quoted();
            r.Speed = line.Number<uint32_t>(0, UINT32_MAX);
            r.DialedAtMs = line.Number<int64_t>(0, kMaxTimeMs);
            r.ConnectAfterMs = line.Number<int64_t>(0, kMaxDurationMs);
            r.PinnedState = line.OptionalNumber<int32_t>(INT32_MIN, INT32_MAX);
            r.Error = line.Number<uint32_t>(0, UINT32_MAX);
            r.HungUpAtMs = line.OptionalNumber<int64_t>(0, kMaxTimeMs);
            r.LingerMs = line.Number<int64_t>(0, kMaxDurationMs);
            table.Records.push_back(std::move(r));
        } else if (keyword == "End") {
            if (line.Number<uint64_t>(0, UINT64_MAX) != table.Records.size())
                line.Fail("counts a different number of connections");
            ended = true;
        } else {
            line.Fail("is not understood");
        }
        line.End();
    }
    if (!ended)
        throw ERasCorruptTable("The connection table is corrupt: it is cut off before its end line");
    return table;
}
