#pragma once

#include <QString>

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The connection log's lines as Protokol.txt stores them: the file's bytes in the ANSI code
// page, held once as read, followed by this run's lines in the same code page. A line becomes
// text only when it is asked for, so a log of hundreds of megabytes costs little more memory
// than its file. The lines are the file's text split at each CR LF or LF, and the saved file
// ends every line with CR LF.
class TLogLines {
public:
    // The log is never trimmed: a session writes about 300 bytes, so a gigabyte is a hundred
    // sessions a day for ninety years. A larger file is not read (and so never replaced).
    static constexpr std::size_t ReadLimit = std::size_t{1} << 30;

    // Reads the file's bytes as the log's lines, replacing all lines held so far. Lines end
    // with CR LF or LF; a break at the very end does not start another line. Returns false
    // (with errno set and, when why is given, the reason as a text: beyond ReadLimit, no
    // regular file, ...) when the file cannot be read; the lines are then unchanged.
    bool Load(const std::string& path, std::string* why = nullptr);
    // The same for bytes at hand.
    void Assign(std::string_view bytes);
    // Adds one line at the end; characters outside the code page become '?'.
    void Append(const QString& line);

    std::size_t Count() const { return FLoadedCount + FAppendedEnds.size(); }
    // The line, cut after `limit` characters: what a viewer can show of a line of any length.
    QString Line(std::size_t index, std::size_t limit = std::string_view::npos) const;
    // The lines from `first` on, `count` of them, joined by LF: what a viewer copies. Read in
    // one pass, so a selection of the whole log costs one walk over its bytes.
    QString Text(std::size_t first, std::size_t count) const;
    // The line with the most bytes (0 when there are none), for the width a viewer needs.
    std::size_t Longest() const { return FLongest; }

    // Hands every line followed by CR LF to write, in order and in pieces; stops at the first
    // piece write refuses and returns false.
    using TWrite = std::function<bool(std::string_view)>;
    bool Save(const TWrite& write) const;

    // The lines added since the load, and the bytes that Save writes of those from `first` on.
    std::size_t AppendedCount() const { return FAppendedEnds.size(); }
    bool SaveAppended(std::size_t first, const TWrite& write) const;
    // Whether the file read is byte for byte what Save writes of its lines (every line ended by
    // CR LF), so that this run's lines may simply be added to its end.
    bool LoadedAsSaved() const { return FLoadedAsSaved; }
    std::size_t LoadedSize() const { return FBytes.size(); }

private:
    std::string_view LoadedLine(std::size_t index) const;
    std::string_view AppendedLine(std::size_t index) const;
    // Where the text of a loaded line starting at `start` ends, given its break.
    std::size_t TextEnd(std::size_t start, std::size_t lineBreak) const;

    struct TFree {
        void operator()(char* bytes) const { std::free(bytes); }
    };
    using TBuffer = std::unique_ptr<char, TFree>;
    static TBuffer Allocate(std::size_t size);
    void Take(TBuffer buffer, std::size_t size);

    // The file's bytes and the offset of every Stride-th line in them: a line is found from
    // the mark before it, which keeps the index small beside the text.
    static constexpr std::size_t Stride = 64;
    TBuffer FBuffer;
    std::string_view FBytes;
    std::vector<std::size_t> FMarks;
    std::size_t FLoadedCount = 0;
    // This run's lines, one after the other, and where each ends.
    std::string FAppended;
    std::vector<std::size_t> FAppendedEnds;
    std::size_t FLongest = 0;
    bool FLoadedAsSaved = true;
    std::size_t FLongestLength = 0;
};
