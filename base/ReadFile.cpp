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

bool ReadWholeFileInto(
    const std::string& path, const TReadBuffer& reserve, std::size_t& filled, std::size_t limit, std::string* why)
{
    filled = 0;
    auto fail = [why](int error, std::string reason) {
        if (why)
            *why = reason.empty() ? std::strerror(error) : std::move(reason);
        errno = error;
        return false;
    };
    const std::string tooLarge = "larger than " + std::to_string(limit) + " bytes";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(errno, {});
    // Only a regular file is read: a FIFO, a device or a folder in a stored file's place is none
    // of the program's.
    struct stat info { };
    int refused = 0;
    std::string reason;
    if (::fstat(fd, &info) != 0) {
        refused = errno;
    } else if (S_ISDIR(info.st_mode)) {
        refused = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        refused = EINVAL;
        reason = "not a regular file but " + FileKindText(info.st_mode);
    } else if (static_cast<std::size_t>(info.st_size) > limit) {
        refused = EFBIG;
        reason = tooLarge;
    }
    if (refused != 0) {
        ::close(fd);
        return fail(refused, reason);
    }
    // Read straight into memory of the file's size: growing it piece by piece would hold up to
    // twice a large file while it is copied. Files that report no size (/proc) or grow meanwhile
    // are read on until the end, up to the limit.
    std::size_t capacity = static_cast<std::size_t>(info.st_size);
    char* buffer = reserve(capacity, 0);
    int error = buffer || capacity == 0 ? 0 : ENOMEM;
    char more[65536];
    while (error == 0) {
        const bool room = filled < capacity;
        const ssize_t n = room ? ::read(fd, buffer + filled, capacity - filled) : ::read(fd, more, sizeof more);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        if (!room) {
            if (filled + static_cast<std::size_t>(n) > limit) {
                error = EFBIG;
                break;
            }
            capacity = filled * 2 + sizeof more;
            buffer = reserve(capacity, filled);
            if (!buffer) {
                error = ENOMEM;
                break;
            }
            std::memcpy(buffer + filled, more, static_cast<std::size_t>(n));
        }
        filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (error != 0)
        return fail(error, error == EFBIG ? tooLarge : std::string());
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::size_t limit, std::string* why)
{
    bytes.clear();
    std::size_t filled = 0;
    const TReadBuffer reserve = [&bytes](std::size_t size, std::size_t) -> char* {
        try {
            bytes.resize(size);
            return bytes.data();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    };
    if (!ReadWholeFileInto(path, reserve, filled, limit, why)) {
        const int error = errno;
        bytes.clear();
        bytes.shrink_to_fit();
        errno = error;
        return false;
    }
    bytes.resize(filled);
    return true;
}
