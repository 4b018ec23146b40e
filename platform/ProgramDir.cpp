#include "platform/ProgramDir.h"

#include "platform/Seams.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

QString ExeName()
{
    // /proc/self/exe names the real file, with every link resolved.
    char path[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0)
        return {};
    return QString::fromLocal8Bit(path, static_cast<qsizetype>(n));
}

QString ProgramDir()
{
    const QString& chosen = PlatformSeams().ProgramDir;
    QString dir = chosen.isEmpty() ? QFileInfo(ExeName()).absolutePath() : chosen;
    while (dir.endsWith(QLatin1String("//")))
        dir.chop(1);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
