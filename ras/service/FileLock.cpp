#include "ras/service/FileLock.h"

#include "ras/service/AnsiText.h"
#include "ras/service/RasErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TFileLock::TFileLock(const std::string& path)
{
    FFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (FFd < 0) {
        const std::string reason = std::strerror(errno);
        throw ERasService("Cannot open the lock file " + ReadableUtf8(path) + ": " + reason);
    }
    while (::flock(FFd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        int error = errno;
        ::close(FFd);
        throw ERasService("Cannot lock " + ReadableUtf8(path) + ": " + std::strerror(error));
    }
}

TFileLock::~TFileLock()
{
    // Closing the descriptor releases the lock.
    ::close(FFd);
}
