#include "base/ReadFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

std::string FileKindText(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return "a folder";
    case S_IFIFO:
        return "a FIFO";
    case S_IFCHR:
    case S_IFBLK:
        return "a device";
    case S_IFSOCK:
        return "a socket";
    case S_IFLNK:
        return "a link";
    default:
        return "not a regular file";
    }
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::size_t limit, std::string* why)
{
    bytes.clear();
    auto fail = [why](int error, std::string reason) {
        if (why)
            *why = reason.empty() ? std::strerror(error) : std::move(reason);
        errno = error;
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(errno, {});
    // Only a regular file is read: a FIFO, a device or a folder in a stored file's place is none
    // of the program's.
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error, {});
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        if (S_ISDIR(info.st_mode))
            return fail(EISDIR, {});
        return fail(EINVAL, "not a regular file but " + FileKindText(info.st_mode));
    }
    if (static_cast<std::size_t>(info.st_size) > limit) {
        ::close(fd);
        return fail(EFBIG, "larger than " + std::to_string(limit) + " bytes");
    }
    // Read straight into a string of the file's size: growing it piece by piece would hold up
    // to twice a large file while it is copied. Files that report no size (/proc) or grow
    // meanwhile are read on until the end, up to the limit.
    std::size_t filled = 0;
    bool ok = true;
    int error = 0;
    try {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        char more[65536];
        for (;;) {
            const bool sized = filled < bytes.size();
            ssize_t n =
                sized ? ::read(fd, bytes.data() + filled, bytes.size() - filled) : ::read(fd, more, sizeof more);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                error = errno;
                break;
            }
            if (n == 0)
                break;
            if (!sized) {
                if (filled + static_cast<std::size_t>(n) > limit) {
                    ok = false;
                    error = EFBIG;
                    break;
                }
                bytes.append(more, static_cast<std::size_t>(n));
            }
            filled += static_cast<std::size_t>(n);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        error = ENOMEM;
    }
    ::close(fd);
    if (!ok) {
        bytes.clear();
        bytes.shrink_to_fit();
        return fail(error, error == EFBIG ? "larger than " + std::to_string(limit) + " bytes" : std::string());
    }
    bytes.resize(filled);
    return true;
}
