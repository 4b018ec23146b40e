#include "ras/service/PppLinks.h"

#include "ras/service/BoundedFile.h"
#include "ras/service/FolderWatch.h"
#include "ras/service/PppProcesses.h"
#include "ras/service/SystemRoot.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

constexpr const char* kPidFolders[] = {"/run", "/var/run", "/run/pppd"};

// An interface name as the kernel allows it; anything else in a pid file is not trusted
// as a path below /sys.
bool ValidInterfaceName(std::string_view name)
{
    return !name.empty() && name.size() < 16 && name != "." && name != ".." &&
        std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) <= ' '; });
}

// A pppd's start time, from one read of its stat, which holds the process's name too.
std::optional<uint64_t> PppdStartTimeAt(int dirFd, const std::string& prefix)
{
    std::string bytes;
    if (ReadBoundedFileAt(dirFd, prefix + "stat", bytes, 4096) != TReadResult::rrOk)
        return std::nullopt;
    std::optional<TProcStat> stat = ParseProcStat(bytes);
    if (!stat || stat->Name != "pppd")
        return std::nullopt;
    return stat->StartTime;
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// pppd without a linkname writes pppN.pid holding only its pid: the interface is in the name.
std::string InterfaceFromUnitPidFile(int pid)
{
    for (const char* folder : kPidFolders) {
        std::unique_ptr<DIR, TDirCloser> dir(::opendir(SystemPath(folder).c_str()));
        if (!dir)
            continue;
        while (dirent* entry = ::readdir(dir.get())) {
            std::string_view name = entry->d_name;
            if (!name.starts_with("ppp") || !name.ends_with(".pid") || name.starts_with("ppp-"))
                continue;
            std::string_view interface = name.substr(0, name.size() - 4);
            if (!ProcNumber<unsigned>(interface.substr(3)))
                continue;
            std::string line = ReadFirstLine(SystemPath(folder) + "/" + std::string(name));
            if (ProcNumber<int>(line) == pid)
                return std::string(interface);
        }
    }
    return {};
}

std::optional<TPppLink> LinkFromPidFile(const TPppPeer& peer)
{
    const std::string& linkName = peer.LinkName.empty() ? peer.FileName : peer.LinkName;
    if (linkName.find('/') != linkName.npos)
        return std::nullopt;
    for (const char* folder : kPidFolders) {
        std::string bytes;
        if (ReadBoundedFile(SystemPath(folder) + "/ppp-" + linkName + ".pid", bytes, 4096) != TReadResult::rrOk)
            continue;
        std::string_view text = bytes;
        size_t eol = text.find('\n');
        std::optional<int> pid = ProcNumber<int>(text.substr(0, eol));
        if (!pid || *pid <= 0)
            continue;
        // A stale pid file names a process that ended; its pid may now be anything's.
        std::optional<uint64_t> start = PppdStartTime(SystemPath("/proc/") + std::to_string(*pid));
        if (!start)
            continue;
        TPppLink link{peer.Name, *pid, *start, {}};
        if (eol != text.npos) {
            std::string_view second = text.substr(eol + 1);
            second = second.substr(0, second.find('\n'));
            if (ValidInterfaceName(second))
                link.Interface = second;
        }
        return link;
    }
    return std::nullopt;
}

struct TFdCloser {
    int Fd;
    ~TFdCloser()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
};

// IFF_UP and IFF_RUNNING as the kernel reports them for the caller's network namespace.
bool KernelSaysRunning(const std::string& interface)
{
    TFdCloser socket{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (socket.Fd < 0)
        return false;
    ifreq request{};
    std::memcpy(request.ifr_name, interface.data(), interface.size()); // shorter than IFNAMSIZ
    if (::ioctl(socket.Fd, SIOCGIFFLAGS, &request) != 0)
        return false;
    const unsigned flags = static_cast<unsigned short>(request.ifr_flags);
    return (flags & (IFF_UP | IFF_RUNNING)) == (IFF_UP | IFF_RUNNING);
}

// Whether the interface is up and its link usable. sysfs's flags file holds the
// administrative flags only, never IFF_RUNNING. Where the root's /sys is the kernel's sysfs,
// the kernel is asked, as its IFF_RUNNING is the one word for a carrier and an operational
// state of up or "unknown" (what ppp interfaces report). A tree of plain files cannot be
// asked; there the same is read from sysfs's other files: carrier and operstate.
bool InterfaceRunning(const std::string& interface, const std::string& folder)
{
    struct statfs fs { };
    if (::statfs(folder.c_str(), &fs) == 0 && fs.f_type == SYSFS_MAGIC)
        return KernelSaysRunning(interface);
    std::optional<unsigned> flags = ProcNumber<unsigned>(ReadFirstLine(folder + "/flags"), 16);
    const std::string operstate = ReadFirstLine(folder + "/operstate");
    return flags && (*flags & IFF_UP) && ReadFirstLine(folder + "/carrier") == "1" &&
        (operstate == "up" || operstate == "unknown");
}

} // namespace

std::optional<uint64_t> PppdStartTime(const std::string& procDir)
{
    return PppdStartTimeAt(AT_FDCWD, procDir + "/");
}

namespace {

// Adds the pppd found in the process list for the peers that have no link yet.
void AddDialingLinks(std::vector<TPppLink>& links, std::vector<const TPppPeer*> unfound, int64_t nowMs)
{
    for (const TPppdProcess& found : SearchPppdProcesses(nowMs)) {
        const std::string& fileName = found.Peer;
        TPppLink link{{}, found.Pid, found.StartTime, {}};
        auto claimed = [&link](const TPppLink& l) { return l.Pid == link.Pid; };
        if (std::any_of(links.begin(), links.end(), claimed))
            continue;
        auto peer =
            std::find_if(unfound.begin(), unfound.end(), [&](const TPppPeer* p) { return p->FileName == fileName; });
        if (peer == unfound.end())
            continue;
        link.Entry = (*peer)->Name;
        link.Interface = (*peer)->Interface;
        if (link.Interface.empty())
            link.Interface = InterfaceFromUnitPidFile(link.Pid);
        links.push_back(std::move(link));
        unfound.erase(peer);
    }
}

// What the pid files and, for the peers without one, the process list show now.
std::vector<TPppLink> DiscoverLinks(const std::vector<TPppPeer>& peers, int64_t nowMs, bool& scanned)
{
    std::vector<TPppLink> links;
    std::vector<const TPppPeer*> unfound;
    for (const TPppPeer& peer : peers) {
        if (std::optional<TPppLink> link = LinkFromPidFile(peer))
            links.push_back(std::move(*link));
        else
            unfound.push_back(&peer);
    }
    // Before pppd has its interface there is no pid file: only the process list knows it.
    scanned = !unfound.empty();
    if (scanned)
        AddDialingLinks(links, std::move(unfound), nowMs);
    return links;
}

// How often the process list is searched for a pppd that has no pid file yet, while a peer
// has none: a dialing link shows within this time even where nothing announces it.
constexpr int64_t kDialingScanEveryMs = 3000;

// What the last discovery found, kept until something it depends on may have changed: the
// peers, the pid folders (watched: a pid file coming, going or rewritten), a process folder of
// a plain-folder /proc coming or going (the kernel's /proc sends no such events), a link's
// pppd ending, or the time for the next search of the process list.
struct TLinkMemory {
    std::mutex Lock;
    bool Valid = false;
    std::string Root;
    std::unique_ptr<TFolderWatch> Watch;
    std::string ProcFolder; // "" when /proc is not watched
    bool Changed = true;
    // Pid folders that could not be watched, with whether they existed when last looked at.
    std::vector<std::pair<std::string, bool>> Unwatched;
    std::vector<TPppPeer> Peers;
    std::vector<TPppLink> Links;
    bool Unfound = false;
    std::optional<int64_t> ScannedAtMs;
};

TLinkMemory LinkMemory;

bool Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

void WatchSystemFolders(TLinkMemory& memory)
{
    memory.Watch = std::make_unique<TFolderWatch>();
    memory.Unwatched.clear();
    std::vector<std::string> watched;
    for (const char* folder : kPidFolders) {
        const std::string path = SystemPath(folder);
        if (memory.Watch->Add(path)) {
            watched.push_back(path);
            continue;
        }
        // /run/pppd appearing shows as an event of /run.
        const std::string parent = path.substr(0, path.rfind('/'));
        if (std::find(watched.begin(), watched.end(), parent) == watched.end())
            memory.Unwatched.push_back({path, Exists(path)});
    }
    memory.ProcFolder = SystemPath("/proc");
    struct statfs fs { };
    if (::statfs(memory.ProcFolder.c_str(), &fs) != 0 || fs.f_type == PROC_SUPER_MAGIC ||
        !memory.Watch->Add(memory.ProcFolder, TFolderWatch::kEntryEvents))
        memory.ProcFolder.clear();
}

// Takes the queued events; true when one may change what the discovery finds.
bool TakeEvents(TLinkMemory& memory)
{
    bool changed = false;
    bool folderGone = false;
    memory.Watch->Drain([&](const std::string& folder, std::string_view name) {
        // Of the pid folders only pppd's own files count: /run is busy with everything else.
        if (folder.empty() || folder == memory.ProcFolder || name.empty() || name.starts_with("ppp"))
            changed = true;
        if (name.empty() && !folder.empty())
            folderGone = true;
    });
    if (folderGone) {
        // Watch the paths afresh: they may name other folders now.
        WatchSystemFolders(memory);
        return true;
    }
    for (const auto& [path, existed] : memory.Unwatched)
        if (Exists(path) != existed) {
            WatchSystemFolders(memory);
            return true;
        }
    return changed;
}

bool StillRunning(const std::vector<TPppLink>& links)
{
    return std::all_of(links.begin(), links.end(), [](const TPppLink& link) {
        return PppdStartTime(SystemPath("/proc/") + std::to_string(link.Pid)) == link.StartTime;
    });
}

} // namespace

std::vector<TPppLink> FindPppLinks(const std::vector<TPppPeer>& peers, int64_t nowMs)
{
    TLinkMemory& memory = LinkMemory;
    std::lock_guard<std::mutex> guard(memory.Lock);
    const std::string root = SystemRoot();
    if (!memory.Valid || memory.Root != root) {
        memory.Valid = true;
        memory.Root = root;
        memory.Changed = true;
        memory.ScannedAtMs.reset();
        WatchSystemFolders(memory);
    }
    if (TakeEvents(memory))
        memory.Changed = true;
    const bool scanDue = memory.Unfound &&
        (!memory.ScannedAtMs || nowMs < *memory.ScannedAtMs || nowMs - *memory.ScannedAtMs >= kDialingScanEveryMs);
    bool scanned = false;
    if (!memory.Changed && peers == memory.Peers && StillRunning(memory.Links)) {
        if (!scanDue)
            return memory.Links;
        // The pid files are as they were: only the process list can have news.
        std::vector<const TPppPeer*> unfound;
        for (const TPppPeer& peer : peers)
            if (std::none_of(memory.Links.begin(), memory.Links.end(),
                    [&peer](const TPppLink& link) { return link.Entry == peer.Name; }))
                unfound.push_back(&peer);
        AddDialingLinks(memory.Links, std::move(unfound), nowMs);
        scanned = true;
    } else {
        memory.Links = DiscoverLinks(peers, nowMs, scanned);
    }
    if (memory.Peers != peers)
        memory.Peers = peers;
    memory.Unfound = memory.Links.size() < peers.size();
    memory.Changed = false;
    if (scanned)
        memory.ScannedAtMs = nowMs;
    return memory.Links;
}

std::string ReadRouteTable()
{
    std::string routes;
    ReadBoundedFile(SystemPath("/proc/net/route"), routes, 1024 * 1024);
    return routes;
}

TInterfaceStatus ReadInterfaceStatus(const std::string& interface, std::string_view routes)
{
    TInterfaceStatus status;
    if (!ValidInterfaceName(interface))
        return status;
    const std::string folder = SystemPath("/sys/class/net/") + interface;
    // The first column of every line after the header is the interface the route goes through.
    bool routed = false;
    for (size_t at = routes.find('\n'); at != routes.npos && !routed;) {
        std::string_view line = routes.substr(at + 1);
        at = routes.find('\n', at + 1);
        line = line.substr(0, line.find_first_of("\t \n"));
        routed = line == interface;
    }
    status.Up = routed && InterfaceRunning(interface, folder);
    if (!status.Up)
        return status;
    ReadByteCounters(interface, status.BytesSent, status.BytesReceived);
    return status;
}

bool ReadByteCounters(const std::string& interface, uint64_t& sent, uint64_t& received)
{
    if (!ValidInterfaceName(interface))
        return false;
    const std::string folder = SystemPath("/sys/class/net/") + interface + "/statistics";
    std::optional<uint64_t> tx = ProcNumber<uint64_t>(ReadFirstLine(folder + "/tx_bytes"));
    std::optional<uint64_t> rx = ProcNumber<uint64_t>(ReadFirstLine(folder + "/rx_bytes"));
    if (!tx || !rx)
        return false;
    sent = *tx;
    received = *rx;
    return true;
}
