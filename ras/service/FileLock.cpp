#include "ras/service/FileLock.h"

#include "ras/service/AnsiText.h"
#include "ras/service/BoundedFile.h"
#include "ras/service/RasErrors.h"
#include "ras/service/ServiceFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

std::atomic<int64_t> WaitMs{kPollLockWaitMs};

// Threads of one process queue here and are woken the moment the lock is free; only processes
// have to look again and again. One for every folder: a process works in one.
std::timed_mutex& ProcessLock()
{
    // Never destroyed: threads may still take it while the process ends.
    static std::timed_mutex* lock = new std::timed_mutex;
    return *lock;
}

// Enough for the lines of some ten thousand locks.
constexpr size_t kMaxLockListBytes = 1024 * 1024;

// The process that holds an flock on the file, as /proc/locks tells it: "process 1234 (name)";
// "another process" where it does not (another pid namespace, no /proc).
std::string Holder(const struct stat& file)
{
    std::string locks;
    const TReadResult read = ReadBoundedFile("/proc/locks", locks, kMaxLockListBytes);
    if (read != TReadResult::rrOk && read != TReadResult::rrTooBig)
        return "another process";
    // "1: FLOCK  ADVISORY  WRITE 1234 08:02:1835011 0 EOF"; waiters' lines have "->" after the
    // number and are passed over.
    for (size_t start = 0; start < locks.size();) {
        size_t end = std::min(locks.find('\n', start), locks.size());
        const std::string line = locks.substr(start, end - start);
        start = end + 1;
        char kind[16], mode[16], access[16];
        int pid = 0;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line.c_str(), "%*d: %15s %15s %15s %d %x:%x:%llu", kind, mode, access, &pid, &major, &minor,
                &inode) != 7 ||
            std::strcmp(kind, "FLOCK") != 0 || pid <= 0)
            continue;
        if (major != ::major(file.st_dev) || minor != ::minor(file.st_dev) || inode != file.st_ino)
            continue;
        std::string name = ReadFirstLine("/proc/" + std::to_string(pid) + "/comm");
        return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + ReadableUtf8(name) + ")");
    }
    return "another process";
}

[[noreturn]] void Busy(const std::string& path, const std::string& holder, int64_t waitedMs)
{
    throw ERasServiceBusy("The dial-up service is busy: " + holder + " has held its lock " + ReadableUtf8(path) +
            " for more than " + std::to_string(waitedMs) + " ms",
        path);
}

} // namespace

int64_t LockWaitMs()
{
    return WaitMs.load();
}

void SetLockWaitMs(int64_t ms)
{
    WaitMs.store(std::max<int64_t>(ms, 0));
}

TFileLock::TFileLock(const std::string& path)
    : FInProcess(ProcessLock(), std::defer_lock)
{
    const int64_t waitMs = LockWaitMs();
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(waitMs);

    // Every process has to lock the very same file. Whatever is in its place but a regular file
    // of the folder is refused rather than replaced: a process that opened the old one just now
    // would lock that, and two processes would each hold "the" lock. O_NOFOLLOW also keeps a
    // dangling link from making its target outside the folder; O_NONBLOCK keeps a FIFO from
    // hanging the open.
    FFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (FFd < 0) {
        const int error = errno;
        if (error == ELOOP)
            throw ERasUnreadableFile(
                "Cannot use the lock file " + ReadableUtf8(path) + ": it is a symbolic link, not a regular file");
        if (error == EISDIR)
            throw ERasUnreadableFile(
                "Cannot use the lock file " + ReadableUtf8(path) + ": it is a folder, not a regular file");
        throw ERasService("Cannot open the lock file " + ReadableUtf8(path) + ": " + std::strerror(error));
    }
    struct stat info { };
    if (::fstat(FFd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(FFd);
        throw ERasUnreadableFile(
            "Cannot use the lock file " + ReadableUtf8(path) + ": " + NotARegularFile(info.st_mode));
    }

    if (!FInProcess.try_lock_until(deadline)) {
        ::close(FFd);
        Busy(path, "another thread of this process", waitMs);
    }
    // Looked at again after 1, 2, 4, 8 and then every 16 ms: a short save is waited for hardly
    // longer than it takes, and a long wait costs some sixty looks a second.
    std::chrono::milliseconds pause(1);
    while (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK || TClock::now() >= deadline) {
            const std::string holder = error == EWOULDBLOCK ? Holder(info) : std::string();
            ::close(FFd);
            if (error != EWOULDBLOCK)
                throw ERasService("Cannot lock " + ReadableUtf8(path) + ": " + std::strerror(error));
            Busy(path, holder, waitMs);
        }
        std::this_thread::sleep_for(std::min<TClock::duration>(pause, deadline - TClock::now()));
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
}

TFileLock::~TFileLock()
{
    // Closing the descriptor releases the lock; the threads of this process queue after it.
    ::close(FFd);
}
