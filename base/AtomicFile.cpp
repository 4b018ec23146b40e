#include "base/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void (*WriteHook)(const std::string&) = nullptr;

// mkstemp replaces the six X with letters and digits.
constexpr std::string_view TempSuffix = ".XXXXXX";

bool IsTempCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

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
    return WriteFileAtomicallyInPieces(path, [bytes](const TPieceWriter& write) { return write(bytes); });
}

bool WriteFileAtomicallyInPieces(const std::string& path, const std::function<bool(const TPieceWriter&)>& produce)
{
    std::string temp = path + std::string(TempSuffix);
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    // mkstemp creates the file readable by its owner only; a data file gets the usual mode.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool ok = false;
    try {
        ok = produce([fd](std::string_view piece) { return WriteAll(fd, piece); }) && ::fsync(fd) == 0;
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
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
        return false;
    }
    // The new name lasts a power cut only once the folder is on disk too. The file is in place
    // whether or not the folder can be synced (some file systems refuse), so that is no failure.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::vector<std::string> AtomicWriteLeftovers(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + '.';
    std::vector<std::string> leftovers;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() != prefix.size() + TempSuffix.size() - 1 || !name.starts_with(prefix) ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), IsTempCharacter))
            continue;
        std::string found = slash == std::string::npos ? std::string(name) : folder + std::string(name);
        // Only files: a folder or a link of that name is not one of ours.
        struct stat info { };
        if (::lstat(found.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            leftovers.push_back(std::move(found));
    }
    ::closedir(dir);
    std::sort(leftovers.begin(), leftovers.end());
    return leftovers;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Read straight into a string of the file's size: growing it piece by piece would hold up
    // to twice a large file while it is copied. Files that report no size (/proc) or grow
    // meanwhile are read on until the end.
    struct stat info { };
    std::size_t filled = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.resize(static_cast<std::size_t>(info.st_size));
    bool ok = true;
    char more[65536];
    for (;;) {
        const bool sized = filled < bytes.size();
        ssize_t n = sized ? ::read(fd, bytes.data() + filled, bytes.size() - filled) : ::read(fd, more, sizeof more);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (!sized)
            bytes.append(more, static_cast<std::size_t>(n));
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return ok;
}
