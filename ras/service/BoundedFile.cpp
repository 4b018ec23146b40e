#include "ras/service/BoundedFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor however the read ends.
struct TFd {
    int Fd;
    ~TFd()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
};

} // namespace

TReadResult ReadBoundedFile(const std::string& path, std::string& bytes, size_t cap)
{
    return ReadBoundedFileAt(AT_FDCWD, path, bytes, cap);
}

TReadResult ReadBoundedFileAt(int dirFd, const std::string& path, std::string& bytes, size_t cap)
{
    bytes.clear();
    // O_NONBLOCK: opening a FIFO planted as a peer file must not hang the poll.
    TFd file{::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (file.Fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? TReadResult::rrMissing : TReadResult::rrUnreadable;
    struct stat info;
    if (::fstat(file.Fd, &info) != 0 || !S_ISREG(info.st_mode))
        return TReadResult::rrUnreadable;
    return ReadBoundedFd(file.Fd, bytes, cap);
}

TReadResult ReadBoundedFd(int fd, std::string& bytes, size_t cap, int* error)
{
    bytes.clear();
    struct stat info;
    // A regular file's size is known: the string is sized once for it. /proc and /sys files
    // report a size of 0 or 4096 whatever they hold, so the read goes on until the end.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(std::min<size_t>(static_cast<size_t>(info.st_size), cap));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = errno;
            return TReadResult::rrUnreadable;
        }
        if (n == 0)
            return TReadResult::rrOk;
        size_t room = cap - bytes.size();
        if (static_cast<size_t>(n) > room) {
            bytes.append(buffer, room);
            return TReadResult::rrTooBig;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

std::string ReadFirstLine(const std::string& path)
{
    std::string bytes;
    TReadResult result = ReadBoundedFile(path, bytes, 4096);
    if (result != TReadResult::rrOk && result != TReadResult::rrTooBig)
        return {};
    return bytes.substr(0, bytes.find('\n'));
}
