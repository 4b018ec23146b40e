#include "reports/LogLines.h"

#include "base/Ansi.h"

#include <cstring>

namespace {

// Where the next LF at or after from is, or the end.
std::size_t NextBreak(const std::string& bytes, std::size_t from)
{
    const void* lf = std::memchr(bytes.data() + from, '\n', bytes.size() - from);
    return lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) : bytes.size();
}

// Gathers small pieces into writes of about a megabyte; large ones go through unchanged, so
// a log already in CR LF form is written straight from the loaded bytes.
class TBufferedWrite {
public:
    explicit TBufferedWrite(const TLogLines::TWrite& write)
        : FWrite(write)
    {
    }

    bool Put(std::string_view piece)
    {
        if (piece.size() >= Chunk)
            return Flush() && FWrite(piece);
        if (FBuffer.empty())
            FBuffer.reserve(Chunk * 2);
        FBuffer.append(piece);
        return FBuffer.size() < Chunk || Flush();
    }

    bool Flush()
    {
        if (FBuffer.empty())
            return true;
        const bool ok = FWrite(FBuffer);
        FBuffer.clear();
        return ok;
    }

private:
    static constexpr std::size_t Chunk = 1 << 20;
    const TLogLines::TWrite& FWrite;
    std::string FBuffer;
};

constexpr std::string_view CrLf = "\r\n";

} // namespace

void TLogLines::Assign(std::string bytes)
{
    FBytes = std::move(bytes);
    FMarks.clear();
    FLoadedCount = 0;
    FAppended.clear();
    FAppendedEnds.clear();
    FLongest = 0;
    FLongestLength = 0;
    std::size_t start = 0;
    while (start < FBytes.size()) {
        if (FLoadedCount % Stride == 0)
            FMarks.push_back(start);
        const std::size_t lf = NextBreak(FBytes, start);
        std::size_t length = lf - start;
        if (lf < FBytes.size() && length > 0 && FBytes[lf - 1] == '\r')
            --length;
        if (length > FLongestLength) {
            FLongestLength = length;
            FLongest = FLoadedCount;
        }
        ++FLoadedCount;
        start = lf + 1;
    }
}

void TLogLines::Append(const QString& line)
{
    FAppended += StringToAnsi(line);
    const std::size_t length = FAppended.size() - (FAppendedEnds.empty() ? 0 : FAppendedEnds.back());
    FAppendedEnds.push_back(FAppended.size());
    if (length > FLongestLength) {
        FLongestLength = length;
        FLongest = Count() - 1;
    }
}

std::string_view TLogLines::LoadedLine(std::size_t index) const
{
    std::size_t start = FMarks[index / Stride];
    for (std::size_t skip = index % Stride; skip > 0; --skip)
        start = NextBreak(FBytes, start) + 1;
    std::size_t end = NextBreak(FBytes, start);
    // A CR is part of the break only before an LF; a lone one at the very end stays text.
    if (end < FBytes.size() && end > start && FBytes[end - 1] == '\r')
        --end;
    return std::string_view(FBytes).substr(start, end - start);
}

std::string_view TLogLines::AppendedLine(std::size_t index) const
{
    const std::size_t start = index == 0 ? 0 : FAppendedEnds[index - 1];
    return std::string_view(FAppended).substr(start, FAppendedEnds[index] - start);
}

QString TLogLines::Line(std::size_t index) const
{
    if (index >= Count())
        return {};
    return AnsiToString(index < FLoadedCount ? LoadedLine(index) : AppendedLine(index - FLoadedCount));
}

bool TLogLines::Save(const TWrite& write) const
{
    TBufferedWrite out(write);
    // The loaded bytes go out as they are, except that an LF without its CR gets one and the
    // last line gets a break if it has none.
    std::size_t pending = 0;
    for (std::size_t lf = NextBreak(FBytes, 0); lf < FBytes.size(); lf = NextBreak(FBytes, lf + 1)) {
        if (lf > 0 && FBytes[lf - 1] == '\r')
            continue;
        if (!out.Put(std::string_view(FBytes).substr(pending, lf - pending)) || !out.Put(CrLf))
            return false;
        pending = lf + 1;
    }
    if (!out.Put(std::string_view(FBytes).substr(pending)))
        return false;
    if (!FBytes.empty() && FBytes.back() != '\n' && !out.Put(CrLf))
        return false;
    for (std::size_t i = 0; i < FAppendedEnds.size(); ++i)
        if (!out.Put(AppendedLine(i)) || !out.Put(CrLf))
            return false;
    return out.Flush();
}
