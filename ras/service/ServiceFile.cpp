#include "ras/service/ServiceFile.h"

#include "base/AtomicFile.h"
#include "ras/service/AnsiText.h"
#include "ras/service/FileCache.h"
#include "ras/service/RasErrors.h"
#include "ras/service/ServiceSeams.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTempInfix = ".saving-";
constexpr size_t kTempLetters = 6;
constexpr std::string_view kTempAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == path.npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string TempLetters()
{
    unsigned char random[kTempLetters];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Early in the boot the entropy pool may not be ready; the name need only be new.
        static std::atomic<uint64_t> counter{0};
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mix = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(::getpid()) << 32) ^ ++counter;
        for (unsigned char& c : random) {
            mix = mix * 6364136223846793005u + 1442695040888963407u;
            c = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string letters;
    for (unsigned char c : random)
        letters += kTempAlphabet[c % kTempAlphabet.size()];
    return letters;
}

bool IsTempLetter(char c)
{
    return kTempAlphabet.find(c) != kTempAlphabet.npos;
}

// A name a save of one of the service's files gives its temporary file.
bool IsTempName(std::string_view name)
{
    for (std::string_view file : kServiceFileNames) {
        const size_t prefix = file.size() + kTempInfix.size();
        if (name.size() == prefix + kTempLetters && name.starts_with(file) &&
            name.substr(file.size(), kTempInfix.size()) == kTempInfix &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(), IsTempLetter))
            return true;
    }
    return false;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Gives the temporary file the owner, group and mode of the file it replaces. Only root may
// give a file away; a user may still give it a group of their own, so the group is tried alone
// when both are refused.
bool TakeOverAttributes(int fd, const struct stat& old)
{
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (errno != EPERM)
            return false;
        if (now.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && errno != EPERM)
            return false;
    }
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

[[noreturn]] void CannotWrite(const std::string& path, int error)
{
    throw ERasService("Cannot write " + ReadableUtf8(path) + ": " + std::strerror(error));
}

} // namespace

std::string UnreadableReason(const TCachedFile& file, const std::string& path, size_t cap)
{
    if (file.Result == TReadResult::rrTooBig)
        return "it is larger than " + std::to_string(cap) + " bytes, more than the service ever writes";
    if (file.Error != 0)
        return std::strerror(file.Error);
    struct stat info;
    return NotARegularFile(::stat(path.c_str(), &info) == 0 ? info.st_mode : 0);
}

std::string NotARegularFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder, not a regular file";
    if (S_ISFIFO(mode))
        return "it is a named pipe, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a regular file";
    return "it is not a regular file";
}

void RefuseUnreadable(const TCachedFile& file, const std::string& what, const std::string& path, size_t cap)
{
    if (file.Result == TReadResult::rrUnreadable || file.Result == TReadResult::rrTooBig)
        throw ERasUnreadableFile(
            "Cannot read the " + what + " " + ReadableUtf8(path) + ": " + UnreadableReason(file, path, cap));
}

std::vector<std::string> ServiceSaveLeftovers(const std::string& folder)
{
    return RegularFilesNamed(folder + "/", IsTempName);
}

void SaveServiceFile(const std::string& path, std::string_view bytes)
{
    for (const std::string& leftover : ServiceSaveLeftovers(FolderOf(path)))
        ::unlink(leftover.c_str());

    // The file the user sees: through a link, its target.
    struct stat old;
    const bool replacing = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // A file that replaces another is its owner's alone until it has that one's mode; a new
    // one is made with the umask's mode, as any new file of the user.
    const mode_t mode = replacing ? 0600 : 0666;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = path + std::string(kTempInfix) + TempLetters();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        CannotWrite(path, errno);

    bool ok = (!replacing || TakeOverAttributes(fd, old)) && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        if (void (*hook)(const std::string&) = ServiceSeams().SaveHook)
            hook(temp);
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            ok = false;
            error = errno;
        }
    }
    if (!ok) {
        ::unlink(temp.c_str());
        CannotWrite(path, error);
    }
    // Read again at once, also within a poll that has already looked at the watch's events.
    TFileCache::Shared().Changed(path);
    // The new name lasts a power cut only once the folder is on disk too; some file systems
    // refuse to sync a folder, which is no failure of the save.
    const int dirFd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
