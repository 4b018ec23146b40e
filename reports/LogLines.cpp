#include "reports/LogLines.h"

#include "base/Ansi.h"
#include "base/ReadFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace {

// Where the next LF at or after from is, or the end.
std::size_t NextBreak(std::string_view bytes, std::size_t from)
{
    // An empty log has no bytes at all to search, not even an address.
    if (from >= bytes.size())
        return bytes.size();
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

// A large log goes into memory the kernel may back with huge pages: reading it then costs a
// few hundred page faults instead of one per 4 KiB, which is most of the time a start takes.
TLogLines::TBuffer TLogLines::Allocate(std::size_t size)
{
    constexpr std::size_t HugePage = std::size_t{2} << 20;
    if (size < 4 * HugePage)
        return TBuffer(static_cast<char*>(std::malloc(size == 0 ? 1 : size)));
    const std::size_t rounded = (size + HugePage - 1) / HugePage * HugePage;
    TBuffer buffer(static_cast<char*>(std::aligned_alloc(HugePage, rounded)));
    if (buffer)
        ::madvise(buffer.get(), rounded, MADV_HUGEPAGE);
    return buffer;
}

bool TLogLines::Load(const std::string& path, std::string* why)
{
    // Read as every stored file is (without waiting for a FIFO's writer, only a regular file
    // within the limit), into memory of the log's own kind.
    TBuffer buffer;
    std::size_t filled = 0;
    const TReadBuffer reserve = [&buffer](std::size_t size, std::size_t keep) -> char* {
        TBuffer larger = Allocate(size);
        if (!larger)
            return nullptr;
        if (keep > 0)
            std::memcpy(larger.get(), buffer.get(), keep);
        buffer = std::move(larger);
        return buffer.get();
    };
    if (!ReadWholeFileInto(path, reserve, filled, ReadLimit, why))
        return false;
    if (!buffer)
        buffer = Allocate(0);
    Take(std::move(buffer), filled);
    return true;
}

void TLogLines::Assign(std::string_view bytes)
{
    TBuffer buffer = Allocate(bytes.size());
    if (!buffer)
        throw std::bad_alloc();
    if (!bytes.empty())
        std::memcpy(buffer.get(), bytes.data(), bytes.size());
    Take(std::move(buffer), bytes.size());
}

void TLogLines::Take(TBuffer buffer, std::size_t size)
{
    FBuffer = std::move(buffer);
    FBytes = std::string_view(FBuffer.get(), size);
    FMarks.clear();
    FLoadedCount = 0;
    FAppended.clear();
    FAppendedEnds.clear();
    FLongest = 0;
    FLongestLength = 0;
    // Every break a CR LF and one at the end: the bytes are what Save writes of them.
    FLoadedAsSaved = FBytes.empty() || FBytes.back() == '\n';
    std::size_t start = 0;
    while (start < FBytes.size()) {
        if (FLoadedCount % Stride == 0)
            FMarks.push_back(start);
        const std::size_t lf = NextBreak(FBytes, start);
        std::size_t length = lf - start;
        const bool crlf = lf < FBytes.size() && length > 0 && FBytes[lf - 1] == '\r';
        if (crlf)
            --length;
        else if (lf < FBytes.size())
            FLoadedAsSaved = false;
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
    return FBytes.substr(start, TextEnd(start, NextBreak(FBytes, start)) - start);
}

std::size_t TLogLines::TextEnd(std::size_t start, std::size_t lineBreak) const
{
    // A CR is part of the break only before an LF; a lone one at the very end stays text.
    if (lineBreak < FBytes.size() && lineBreak > start && FBytes[lineBreak - 1] == '\r')
        return lineBreak - 1;
    return lineBreak;
}

std::string_view TLogLines::AppendedLine(std::size_t index) const
{
    const std::size_t start = index == 0 ? 0 : FAppendedEnds[index - 1];
    return std::string_view(FAppended).substr(start, FAppendedEnds[index] - start);
}

QString TLogLines::Line(std::size_t index, std::size_t limit) const
{
    if (index >= Count())
        return {};
    const std::string_view line = index < FLoadedCount ? LoadedLine(index) : AppendedLine(index - FLoadedCount);
    return AnsiToString(line.substr(0, limit));
}

QString TLogLines::Text(std::size_t first, std::size_t count) const
{
    if (first >= Count())
        return {};
    count = std::min(count, Count() - first);
    std::string bytes;
    std::size_t index = first;
    if (index < FLoadedCount) {
        std::size_t start = LoadedLine(index).data() - FBytes.data();
        for (; index < FLoadedCount && index < first + count; ++index) {
            const std::size_t lineBreak = NextBreak(FBytes, start);
            const std::size_t end = TextEnd(start, lineBreak);
            const std::size_t next = lineBreak + 1;
            if (index > first)
                bytes += '\n';
            bytes.append(FBytes.substr(start, end - start));
            start = next;
        }
    }
    for (; index < first + count; ++index) {
        if (index > first)
            bytes += '\n';
        bytes.append(AppendedLine(index - FLoadedCount));
    }
    return AnsiToString(bytes);
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
        if (!out.Put(FBytes.substr(pending, lf - pending)) || !out.Put(CrLf))
            return false;
        pending = lf + 1;
    }
    if (!out.Put(FBytes.substr(pending)))
        return false;
    if (!FBytes.empty() && FBytes.back() != '\n' && !out.Put(CrLf))
        return false;
    for (std::size_t i = 0; i < FAppendedEnds.size(); ++i)
        if (!out.Put(AppendedLine(i)) || !out.Put(CrLf))
            return false;
    return out.Flush();
}

bool TLogLines::SaveAppended(std::size_t first, const TWrite& write) const
{
    TBufferedWrite out(write);
    for (std::size_t i = first; i < FAppendedEnds.size(); ++i)
        if (!out.Put(AppendedLine(i)) || !out.Put(CrLf))
            return false;
    return out.Flush();
}
