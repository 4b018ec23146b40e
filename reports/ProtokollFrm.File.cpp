#include "reports/ProtokollFrm.h"

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
    if (!LoadLines(NativePath(path))) {
        // The log starts empty; saving must not replace the file with this run's lines alone.
        FUnreadablePath = path;
        throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, ErrnoText()));
    }
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
    const bool withHead = !FHead.empty() && target == path && SamePath(path, FHeadPath);
    const bool written = WriteFileAtomicallyInPieces(NativePath(target),
        [&](const TPieceWriter& write) { return (!withHead || write(FHead)) && FLines.Save(write); });
    if (!written)
        throw EInOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(target, ErrnoText()));
    return target;
}
