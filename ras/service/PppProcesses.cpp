#include "ras/service/PppProcesses.h"

#include "ras/service/BoundedFile.h"
#include "ras/service/SystemRoot.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <mutex>
#include <sys/statfs.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// pon, a service manager's child or NetworkManager's exec pppd within moments of being started:
// a process this young is read again at the next search, after which it has exec'ed or is old.
constexpr uint64_t kYoungSeconds = 5;
// Every other process is read again at one search in this many (about a minute), a share of
// them at each search, and the process list is listed whole at that search too.
constexpr uint64_t kReadAgainEvery = 20;
// Up to this many new pids are looked at one by one; more are cheaper to find in a listing.
constexpr int kMostProbes = 48;
// Past this gap between two searches the pid counter may have come round: all is read anew.
constexpr int64_t kLongestGapMs = 10000;

struct TSeenProcess {
    uint64_t StartTime = 0;       // of a pppd; of another process, where it was read
    uint64_t ReadAtSearch = 0;    // 0: not read yet
    uint64_t YoungUntilTicks = 0; // boot time in clock ticks
    bool Pppd = false;
    std::string Peer; // of a pppd: the peer its command line calls, "" for none
};

struct TSearchMemory {
    std::mutex Lock;
    std::string Folder;
    int Fd = -1;                // the folder, kept open so that a process's files are opened without a path walk
    bool Kernel = false;        // the kernel's /proc of this process's pid namespace
    std::optional<int> LastPid; // the pid handed out last, as of the last search
    std::optional<int64_t> SearchedAtMs;
    uint64_t Searches = 0;
    std::unordered_map<int, TSeenProcess> Seen;
};

TSearchMemory SearchMemory;
std::atomic<uint64_t> ScanCount{0};
std::atomic<uint64_t> ReadCount{0};

void Open(TSearchMemory& memory, const std::string& folder)
{
    if (memory.Fd >= 0)
        ::close(memory.Fd);
    memory.Kernel = false;
    memory.LastPid.reset();
    memory.SearchedAtMs.reset();
    memory.Seen.clear();
    memory.Folder = folder;
    memory.Fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statfs fs { };
    if (memory.Fd < 0 || ::fstatfs(memory.Fd, &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC)
        return;
    // The pid counter is the reader's namespace's: it tells of this /proc only if it is that one.
    char self[32];
    const ssize_t n = ::readlinkat(memory.Fd, "self", self, sizeof self);
    memory.Kernel = n > 0 && ProcNumber<int>(std::string_view(self, static_cast<size_t>(n))) == ::getpid();
}

// The kernel's /proc files are regular and small: one read takes the whole. A tree of plain
// files may hold anything, so it is read with the care of every other system file.
bool ReadProcText(const TSearchMemory& memory, const std::string& path, std::string& bytes)
{
    if (!memory.Kernel)
        return ReadBoundedFileAt(memory.Fd, path, bytes, 4096) == TReadResult::rrOk;
    const int fd = ::openat(memory.Fd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer))
        return false;
    bytes.assign(buffer, static_cast<size_t>(n));
    return true;
}

// The last field of /proc/loadavg: the pid the kernel handed out last (to a process or thread).
std::optional<int> ReadLastPid(const TSearchMemory& memory)
{
    std::string text;
    if (!ReadProcText(memory, "loadavg", text))
        return std::nullopt;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return ProcNumber<int>(std::string_view(text).substr(text.rfind(' ') + 1));
}

uint64_t BootTicks(uint64_t ticksPerSecond)
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * ticksPerSecond +
        static_cast<uint64_t>(now.tv_nsec) * ticksPerSecond / 1000000000;
}

// Thread ids come from the same counter as pids and have folders of their own, unlisted.
bool IsThreadGroupLeader(const TSearchMemory& memory, int pid)
{
    std::string status;
    if (ReadBoundedFileAt(memory.Fd, std::to_string(pid) + "/status", status) != TReadResult::rrOk)
        return false;
    const size_t at = status.find("\nTgid:");
    if (at == status.npos)
        return false;
    std::string_view value = std::string_view(status).substr(at + 6);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    return ProcNumber<int>(value.substr(0, value.find('\n'))) == pid;
}

struct TSearch {
    TSearchMemory& Memory;
    uint64_t Index; // of this search, from 1
    uint64_t NowTicks;
    uint64_t TicksPerSecond;

    // Reads what the search needs of the process into `seen`; false when no running process
    // has that pid (ended, a zombie, unreadable, or it is a thread's). `handedOut`: the pid was
    // handed out since the last search, so the process is young.
    bool Read(int pid, TSeenProcess& seen, bool handedOut) const
    {
        ++ReadCount;
        const bool known = seen.ReadAtSearch != 0;
        seen.ReadAtSearch = Index;
        const std::string folder = std::to_string(pid) + "/";
        std::string bytes;
        // Where the pid counter vouches for the process's identity and its age is known, its
        // name is all that is needed, and the cheaper read: the kernel composes stat in full.
        if (Memory.Kernel && !seen.Pppd && (handedOut || known)) {
            if (!ReadProcText(Memory, folder + "comm", bytes))
                return false;
            if (handedOut)
                seen.YoungUntilTicks = NowTicks + kYoungSeconds * TicksPerSecond;
            if (std::string_view(bytes).substr(0, bytes.find('\n')) != "pppd")
                return true;
        }
        if (!ReadProcText(Memory, folder + "stat", bytes))
            return false;
        std::optional<TProcStat> stat = ParseProcStat(bytes);
        if (!stat)
            return false;
        const bool pppd = stat->Name == "pppd";
        const bool same = pppd && seen.Pppd && seen.StartTime == stat->StartTime;
        seen.StartTime = stat->StartTime;
        seen.YoungUntilTicks = std::max(seen.YoungUntilTicks, stat->StartTime + kYoungSeconds * TicksPerSecond);
        seen.Pppd = pppd;
        if (!pppd)
            seen.Peer.clear();
        if (!pppd || same)
            return true;
        if (Memory.Kernel && !IsThreadGroupLeader(Memory, pid))
            return false;
        std::string cmdline;
        const TReadResult read = ReadBoundedFileAt(Memory.Fd, folder + "cmdline", cmdline);
        if (read != TReadResult::rrOk && read != TReadResult::rrTooBig)
            return false;
        seen.Peer = CalledPeer(cmdline).value_or("");
        return true;
    }

    void ReadNew(int pid, bool handedOut) const
    {
        TSeenProcess seen;
        if (Read(pid, seen, handedOut))
            Memory.Seen[pid] = std::move(seen);
        else
            Memory.Seen.erase(pid);
    }

    // The pids in the folder now, in its order.
    std::vector<int> List() const
    {
        std::vector<int> pids;
        const int fd = ::openat(Memory.Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return pids;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
        if (!dir) {
            ::close(fd);
            return pids;
        }
        while (dirent* entry = ::readdir(dir.get()))
            if (std::optional<int> pid = ProcNumber<int>(entry->d_name); pid && *pid > 0)
                pids.push_back(*pid);
        return pids;
    }
};

} // namespace

std::optional<TProcStat> ParseProcStat(std::string_view stat)
{
    // The name may hold blanks and parentheses itself: it ends at the last ')'.
    const size_t open = stat.find(" (");
    const size_t close = stat.rfind(')');
    if (open == stat.npos || close == stat.npos || close < open + 2)
        return std::nullopt;
    TProcStat result;
    result.Name = stat.substr(open + 2, close - open - 2);
    std::string_view rest = stat.substr(close + 1);
    for (int field = 3; field <= 22; ++field) {
        size_t begin = rest.find_first_not_of(' ');
        if (begin == rest.npos)
            return std::nullopt;
        rest.remove_prefix(begin);
        size_t end = std::min(rest.find_first_of(" \n"), rest.size());
        if (field == 3 && (rest.substr(0, end) == "Z" || rest.substr(0, end) == "X"))
            return std::nullopt;
        if (field == 22) {
            std::optional<uint64_t> start = ProcNumber<uint64_t>(rest.substr(0, end));
            if (!start)
                return std::nullopt;
            result.StartTime = *start;
            return result;
        }
        rest.remove_prefix(end);
    }
    return std::nullopt;
}

std::optional<std::string> CalledPeer(std::string_view cmdline)
{
    std::vector<std::string_view> args;
    while (!cmdline.empty()) {
        size_t end = std::min(cmdline.find('\0'), cmdline.size());
        args.push_back(cmdline.substr(0, end));
        cmdline.remove_prefix(std::min(end + 1, cmdline.size()));
    }
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "call")
            return std::string(args[i + 1]);
        if (args[i] == "file" && args[i + 1].starts_with("/etc/ppp/peers/"))
            return std::string(args[i + 1].substr(15));
    }
    return std::nullopt;
}

std::vector<TPppdProcess> SearchPppdProcesses(int64_t nowMs)
{
    ++ScanCount;
    TSearchMemory& memory = SearchMemory;
    std::lock_guard<std::mutex> guard(memory.Lock);
    const std::string folder = SystemPath("/proc");
    if (memory.Folder != folder || memory.Fd < 0)
        Open(memory, folder);
    if (memory.Fd < 0)
        return {};
    const uint64_t ticksPerSecond = static_cast<uint64_t>(std::max(1L, ::sysconf(_SC_CLK_TCK)));
    const TSearch search{memory, ++memory.Searches, BootTicks(ticksPerSecond), ticksPerSecond};

    // Which pids were handed out since the last search: none before the first, after a long
    // gap or in a tree of plain files, where everything is read.
    const std::optional<int> lastPid = memory.Kernel ? ReadLastPid(memory) : std::nullopt;
    const bool rangeKnown = lastPid && memory.LastPid && memory.SearchedAtMs && nowMs >= *memory.SearchedAtMs &&
        nowMs - *memory.SearchedAtMs <= kLongestGapMs;
    if (!rangeKnown)
        memory.Seen.clear();
    const int from = memory.LastPid.value_or(0), to = lastPid.value_or(0);
    auto isNew = [&](int pid) { return from <= to ? pid > from && pid <= to : pid > from || pid <= to; };

    if (rangeKnown && from <= to && to - from <= kMostProbes && search.Index % kReadAgainEvery != 0) {
        for (int pid = from + 1; pid <= to; ++pid)
            search.ReadNew(pid, true);
    } else {
        const std::vector<int> listed = search.List();
        std::unordered_map<int, TSeenProcess> kept;
        for (int pid : listed) {
            auto seen = memory.Seen.find(pid);
            if (seen != memory.Seen.end() && !(rangeKnown && isNew(pid)))
                kept.emplace(pid, std::move(seen->second));
        }
        memory.Seen = std::move(kept);
        for (int pid : listed)
            if (!memory.Seen.contains(pid))
                search.ReadNew(pid, rangeKnown && isNew(pid));
    }

    // Of the processes known already, those that may have exec'ed pppd since, and each pppd.
    for (auto it = memory.Seen.begin(); it != memory.Seen.end();) {
        TSeenProcess& seen = it->second;
        const bool due = seen.ReadAtSearch != search.Index &&
            (seen.YoungUntilTicks > search.NowTicks || seen.Pppd ||
                (static_cast<uint64_t>(it->first) + search.Index) % kReadAgainEvery == 0);
        if (due && !search.Read(it->first, seen, false))
            it = memory.Seen.erase(it);
        else
            ++it;
    }
    memory.LastPid = lastPid;
    memory.SearchedAtMs = nowMs;

    std::vector<TPppdProcess> found;
    for (const auto& [pid, seen] : memory.Seen)
        if (seen.Pppd && !seen.Peer.empty())
            found.push_back({seen.Peer, pid, seen.StartTime});
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.Pid < b.Pid; });
    return found;
}

uint64_t PppProcessScans()
{
    return ScanCount.load();
}

uint64_t PppProcessReads()
{
    return ReadCount.load();
}
