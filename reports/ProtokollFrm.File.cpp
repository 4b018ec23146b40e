#include "reports/ProtokollFrm.h"

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/ReadFile.h"
#include "platform/ProgramDir.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString TForm3::LogName()
{
    return LogFile;
}

void TForm3::FormCreate()
{
    const QString path = LogFileName();
    if (!QFileInfo::exists(path))
        return;
    if (std::string why; !LoadLines(NativePath(path), &why)) {
        // The log starts empty; saving must not replace the file with this run's lines alone.
        FUnreadablePath = path;
        throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, QString::fromLocal8Bit(why)));
    }
    if (FLines.LoadedAsSaved())
        RememberFile(path, 0);
}

void TForm3::RememberFile(const QString& path, std::size_t appended)
{
    struct stat info { };
    FOnDisk.reset();
    if (::stat(NativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode))
        FOnDisk = TOnDisk{info.st_dev, info.st_ino, info.st_size, appended};
}

bool TForm3::AppendNewLines(const QString& path)
{
    const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_dev != FOnDisk->Device ||
        info.st_ino != FOnDisk->Inode || info.st_size != FOnDisk->Size) {
        ::close(fd);
        return false;
    }
    if (FOnDisk->Appended == FLines.AppendedCount()) {
        ::close(fd);
        return true;
    }
    off_t size = info.st_size;
    const bool written = FLines.SaveAppended(FOnDisk->Appended, [fd, &size](std::string_view piece) {
        while (!piece.empty()) {
            const ssize_t n = ::write(fd, piece.data(), piece.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            piece.remove_prefix(static_cast<std::size_t>(n));
            size += n;
        }
        return true;
    });
    if (!written || ::fsync(fd) != 0) {
        // Lines cut short by a full disk are taken back: the file ends with a whole line, and
        // the next try adds them again from the start.
        const QString reason = ErrnoText();
        [[maybe_unused]] const int cut = ::ftruncate(fd, FOnDisk->Size);
        ::close(fd);
        throw EInOutError(QStringLiteral("Cannot write to file \"%1\". %2").arg(path, reason));
    }
    ::close(fd);
    FOnDisk->Size = size;
    FOnDisk->Appended = FLines.AppendedCount();
    return true;
}

QString TForm3::WriteToFile(const QString& path)
{
    if (FUnreadablePath.isEmpty() && FOnDisk && AppendNewLines(path))
        return path;
    const QString written = SaveToFile(path);
    if (written == path)
        RememberFile(path, FLines.AppendedCount());
    else
        FOnDisk.reset();
    return written;
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
        } else if (ReadWholeFile(NativePath(path), old, TLogLines::ReadLimit)) {
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
