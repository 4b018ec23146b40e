// Windows-1252 text and the connection log's lines: every byte string survives the way into
// the program's text and back, a log written line by line reads back as the same lines, and
// the log kept as bytes has the lines of its text and saves as they are written.

#include "base/Ansi.h"
#include "fuzz/Check.h"
#include "reports/LogLines.h"
#include "tests/support/LogText.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString text = AnsiToString(bytes);
    Check(StringToAnsi(text) == bytes);
    Check(TryStringToAnsi(text) == std::optional<std::string>(std::string(bytes)));

    const QStringList lines = SplitLogLines(text);
    for (const QString& line : lines)
        Check(!line.contains(QLatin1Char('\n')));
    // Lines without breaks of their own come back as they were written.
    QStringList clean;
    for (const QString& line : lines) {
        QString kept = line;
        kept.remove(QLatin1Char('\r'));
        clean << kept;
    }
    Check(SplitLogLines(AnsiToString(LogFileText(clean))) == clean);

    TLogLines stored;
    stored.Assign(bytes);
    stored.Append(QStringLiteral("neu"));
    Check(stored.Count() == static_cast<std::size_t>(lines.size()) + 1);
    for (qsizetype i = 0; i < lines.size(); ++i)
        Check(stored.Line(static_cast<std::size_t>(i)) == lines[i]);
    std::string saved;
    Check(stored.Save([&saved](std::string_view piece) {
        saved += piece;
        return true;
    }));
    Check(saved == LogFileText(lines + QStringList{QStringLiteral("neu")}));
    return 0;
}
