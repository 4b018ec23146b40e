#include "reports/LogLines.h"

#include "base/Ansi.h"
#include "tests/support/LogText.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::string Saved(const TLogLines& lines)
{
    std::string out;
    EXPECT_TRUE(lines.Save([&out](std::string_view piece) {
        out += piece;
        return true;
    }));
    return out;
}

// Lines ended alternately by the two breaks.
std::string ManyLines(int count, const std::string& even, const std::string& odd)
{
    std::string log;
    for (int i = 0; i < count; ++i)
        log += "[09.12.2026 10:00:00] Zeile " + std::to_string(i) + (i % 2 ? odd : even);
    return log;
}

struct TLogCase {
    const char* Name;
    std::string Bytes;
    QStringList Appended;
};

// The lines and the saved file are those of the whole text split into a list of strings and
// written back line by line, whatever breaks the file held.
TEST(LogLines, LinesAndSavedFileAreThoseOfTheTextSplitIntoLines)
{
    std::string allHighBytes;
    for (int byte = 0x80; byte <= 0x9F; ++byte)
        allHighBytes += static_cast<char>(byte);
    const std::vector<TLogCase> cases = {
        {"empty file", "", {}},
        {"empty file, lines of this run", "",
            {"neu", "", "[09.12.2026 10:00:00] Verbindung zu M\u00E4nner aufgenommen!"}},
        {"CR LF throughout", "a\r\nb\r\n", {"c"}},
        {"no final break", "a\r\nletzte", {"neu"}},
        {"LF only", "a\nb\n", {"neu"}},
        {"LF only, no final break", "a\nb", {}},
        {"lone CR inside a line", "a\rb\r\nc", {}},
        {"lone CR at the very end", "a\r", {"neu"}},
        {"only a CR", "\r", {}},
        {"two CRs before LF", "a\r\r\nb", {}},
        {"CR LF as a whole line", "\r\n", {}},
        {"starts with a break", "\nx\r\n", {}},
        {"only breaks", "\n\n\r\n", {""}},
        {"mixed", "a\r\nb\nc\r\n\n\r\nd\n\re", {"f"}},
        {"bytes 0x80 to 0x9F", allHighBytes + "\r\n\xE4\xFF\x81\n", {"\u20AC"}},
        {"a final empty line", "a\r\n\r\n", {}},
        {"NUL bytes", std::string("a\0b\r\n\0", 6), {}},
        {"more lines than an index step", ManyLines(1000, "\r\n", "\n"), {"neu", ""}},
        {"larger than a write, LF only", ManyLines(100000, "\n", "\n"), {}},
        {"larger than a write, CR LF", ManyLines(100000, "\r\n", "\r\n"), {"neu"}},
    };
    for (const TLogCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLogLines lines;
        lines.Assign(c.Bytes);
        for (const QString& line : c.Appended)
            lines.Append(line);
        const QStringList expected = SplitLogLines(AnsiToString(c.Bytes)) + c.Appended;

        EXPECT_EQ(Saved(lines), LogFileText(expected));
        ASSERT_EQ(lines.Count(), static_cast<std::size_t>(expected.size()));
        qsizetype longest = 0;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            if (lines.Line(static_cast<std::size_t>(i)) != expected[i]) {
                ADD_FAILURE() << "line " << i << ": " << lines.Line(static_cast<std::size_t>(i)).toStdString();
                break;
            }
            if (expected[i].size() > expected[longest].size())
                longest = i;
        }
        EXPECT_EQ(lines.Longest(), static_cast<std::size_t>(longest));

        // Runs of lines as one text, also across the loaded lines and this run's, and the
        // beginning of a line.
        const qsizetype n = expected.size();
        const std::pair<qsizetype, qsizetype> runs[] = {{0, n}, {n / 2, n}, {n - 1, 1}, {n / 3, 2}};
        for (const auto& [first, count] : runs) {
            if (first >= 0 && first < n) {
                EXPECT_EQ(lines.Text(static_cast<std::size_t>(first), static_cast<std::size_t>(count)),
                    expected.mid(first, count).join(QLatin1Char('\n')))
                    << first << " + " << count;
            }
        }
        if (n > 0) {
            EXPECT_EQ(lines.Line(static_cast<std::size_t>(n - 1), 3), expected[n - 1].left(3));
        }
    }
}

// Small files, large ones (in memory of huge pages) and files that report no size read alike.
TEST(LogLines, LoadingAFileGivesItsLines)
{
    TTempDir folder;
    for (const std::string& bytes : {std::string(), std::string("a\nb"), ManyLines(400000, "\r\n", "\n")}) {
        folder.Write("Protokol.txt", bytes);
        TLogLines loaded, assigned;
        ASSERT_TRUE(loaded.Load(folder.File("Protokol.txt")));
        assigned.Assign(bytes);
        ASSERT_EQ(loaded.Count(), assigned.Count());
        EXPECT_EQ(Saved(loaded), Saved(assigned));
        EXPECT_EQ(loaded.Line(loaded.Count() / 2), assigned.Line(assigned.Count() / 2));
    }
    TLogLines status;
    ASSERT_TRUE(status.Load("/proc/self/status"));
    EXPECT_EQ(status.Line(0).left(5), QStringLiteral("Name:"));
    EXPECT_GT(status.Count(), 10u);
}

TEST(LogLines, LoadingReplacesTheLinesOfThisRun)
{
    TLogLines lines;
    lines.Append(QStringLiteral("ein sehr langer Eintrag dieses Laufs"));
    lines.Assign("alt\r\n");
    EXPECT_EQ(lines.Count(), 1u);
    EXPECT_EQ(lines.Longest(), 0u);
    EXPECT_EQ(Saved(lines), "alt\r\n");
    EXPECT_EQ(lines.Line(1), QString()) << "past the end";
}

TEST(LogLines, CharactersOutsideTheCodePageReadBackAsQuestionMarks)
{
    TLogLines lines;
    lines.Append(QStringLiteral("\u20AC \u4E2D \U0001F600"));
    EXPECT_EQ(lines.Line(0), QStringLiteral("\u20AC ? ?"));
    EXPECT_EQ(Saved(lines), "\x80 ? ?\r\n");
}

TEST(LogLines, SavingStopsAtTheFirstPieceThatCannotBeWritten)
{
    TLogLines lines;
    lines.Assign(ManyLines(100000, "\n", "\n"));
    lines.Append(QStringLiteral("neu"));
    int offered = 0;
    EXPECT_FALSE(lines.Save([&offered](std::string_view) {
        ++offered;
        return false;
    }));
    EXPECT_EQ(offered, 1);
}

} // namespace
