#include "ras/service/FileLock.h"

#include "ras/service/RasErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TFileLock::TFileLock(const std::string& path)
{
    FFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (FFd < 0)
        throw ERasService(QString("Cannot open the lock file %1: %2")
                              .arg(QString::fromStdString(path), std::strerror(errno)));
    while (::flock(FFd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        int error = errno;
        ::close(FFd);
        throw ERasService(QString("Cannot lock %1: %2")
                              .arg(QString::fromStdString(path), std::strerror(error)));
    }
}

TFileLock::~TFileLock()
{
    // Closing the descriptor releases the lock.
    ::close(FFd);
}
