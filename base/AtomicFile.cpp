#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void (*WriteHook)(const std::string&) = nullptr;

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

void SetAtomicWriteHookForTests(void (*hook)(const std::string&))
{
    WriteHook = hook;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    // mkstemp creates the file readable by its owner only; a data file gets the usual mode.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int savedErrno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && WriteHook) {
        try {
            WriteHook(temp);
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = savedErrno;
    }
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return ok;
}
