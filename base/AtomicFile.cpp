#include "base/AtomicFile.h"

#include "base/Seams.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    // mkstemp creates the file readable by its owner only. The new file takes the mode and
    // owner of the one it replaces, so a file the user made private stays private; a new file
    // gets the usual mode under the umask. Only the superuser may give a file away, so another
    // owner is kept where permitted.
    struct stat replaced { };
    if (::lstat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
        ::fchmod(fd, replaced.st_mode & 07777);
        if (replaced.st_uid != ::geteuid() || replaced.st_gid != ::getegid()) [[maybe_unused]]
            const int given = ::fchown(fd, replaced.st_uid, replaced.st_gid);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
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
    void (*hook)(const std::string&) = BaseSeams().AtomicWriteHook;
    if (ok && hook) {
        try {
            hook(temp);
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

std::vector<std::string> RegularFilesNamed(
    const std::string& folder, const std::function<bool(std::string_view name)>& wanted)
{
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!wanted(name))
            continue;
        std::string path = folder.empty() ? std::string(name) : folder + std::string(name);
        // Only files: a folder or a link of that name is not one of ours.
        struct stat info { };
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            found.push_back(std::move(path));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> AtomicWriteLeftovers(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + '.';
    return RegularFilesNamed(folder, [&prefix](std::string_view name) {
        return name.size() == prefix.size() + TempSuffix.size() - 1 && name.starts_with(prefix) &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), IsTempCharacter);
    });
}
