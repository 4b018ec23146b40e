#include "reports/ProtokollFrm.h"

#include "base/Ansi.h"
#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "platform/ProgramDir.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

const QString LogFile = QStringLiteral("Protokol.txt");

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Lines end with CR LF or LF; a break at the very end does not start another line.
QStringList SplitLines(const QString& text)
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
std::string AnsiText(const QStringList& lines)
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

bool SamePath(const QString& a, const QString& b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// A name beside the unreadable log that holds nothing yet, so no earlier text is replaced.
QString FreeAsideName(const QString& path)
{
    QString candidate = path + QStringLiteral(".new");
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = path + QStringLiteral(".new") + QString::number(n);
    return candidate;
}

} // namespace

QString TForm3::LogFileName()
{
    return ProgramDir() + LogFile;
}

void TForm3::FormCreate()
{
    const QString path = LogFileName();
    if (!QFileInfo::exists(path))
        return;
    std::string bytes;
    if (!ReadWholeFile(NativePath(path), bytes)) {
        // The memo starts empty; saving must not replace the file with this run's lines alone.
        FUnreadablePath = path;
        throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, ErrnoText()));
    }
    SetLines(SplitLines(AnsiToString(bytes)));
}

QString TForm3::SaveToFile(const QString& path)
{
    QString target = path;
    if (!FUnreadablePath.isEmpty() && SamePath(path, FUnreadablePath)) {
        std::string old;
        if (!FAsideFile.isEmpty()) {
            target = FAsideFile;
        } else if (!QFileInfo::exists(path)) {
            FUnreadablePath.clear();
        } else if (ReadWholeFile(NativePath(path), old)) {
            // Readable again: its text goes first, as if it had been loaded at start.
            if (!old.empty() && old.back() != '\n')
                old += "\r\n";
            FHead = std::move(old);
            FHeadPath = path;
            FUnreadablePath.clear();
        } else {
            FAsideFile = FreeAsideName(path);
            target = FAsideFile;
        }
    }
    std::string bytes = AnsiText(FLines);
    if (!FHead.empty() && target == path && SamePath(path, FHeadPath))
        bytes.insert(0, FHead);
    if (!WriteFileAtomically(NativePath(target), bytes))
        throw EInOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(target, ErrnoText()));
    return target;
}
