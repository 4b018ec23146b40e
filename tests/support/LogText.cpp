#include "tests/support/LogText.h"

#include "base/Ansi.h"

QStringList SplitLogLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf(QLatin1Char('\n'), start);
        if (lf < 0) {
            lines.append(text.mid(start));
            break;
        }
        const qsizetype end = lf > start && text.at(lf - 1) == QLatin1Char('\r') ? lf - 1 : lf;
        lines.append(text.mid(start, end - start));
        start = lf + 1;
    }
    return lines;
}

// One conversion for the whole text keeps a large log quick to write.
std::string LogFileText(const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    QString text;
    text.reserve(size);
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return StringToAnsi(text);
}
