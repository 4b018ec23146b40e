#include "ras/service/FileCache.h"

#include "ras/service/FolderWatch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

namespace {

// Enough for the service's files and a machine's peers; the least recently used beyond go,
// so a process that meets many folders (a test run) keeps few descriptors open.
constexpr size_t kMaxEntries = 128;
// How long a watched file's state is taken from the watch alone; then a stat looks again, so
// even a change no watch can see (a folder above renamed) shows within this time.
constexpr int64_t kVerifyMs = 5000;

int64_t MonotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000;
}

// File systems whose every change passes through this machine's kernel, so inotify sees it;
// a network or user-space file system may change under it unseen.
bool WatchSeesEveryChange(long type)
{
    switch (static_cast<unsigned long>(type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x01021994: // tmpfs
    case 0x9123683E: // btrfs
    case 0x58465342: // xfs
    case 0x794C7630: // overlayfs
    case 0xF2F52010: // f2fs
    case 0x2FC12FC1: // zfs
    case 0x3153464A: // jfs
    case 0x52654973: // reiserfs
    case 0xCA451A4E: // bcachefs
        return true;
    default:
        return false;
    }
}

// The batch the thread is in (0: none): within one, queued events are taken once.
thread_local uint64_t tBatch = 0;
std::atomic<uint64_t> gBatches{0};

struct TIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    int64_t ModifiedNs = 0;
    int64_t ChangedNs = 0;

    friend bool operator==(const TIdentity&, const TIdentity&) = default;
};

TIdentity IdentityOf(const struct stat& info)
{
    return {info.st_dev, info.st_ino, info.st_size, int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec,
        int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec};
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == path.npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == path.npos ? path : path.substr(slash + 1);
}

struct TFileEntry {
    TIdentity Identity;
    int Fd = -1; // held so the inode stays this file's while it is cached
    int FileWatch = -1;
    // Not there when last looked at (kept only where the folder's watch would see it come).
    bool Missing = false;
    // Its folder's watch and its own see every change, so no stat is needed before kVerifyMs.
    bool Watched = false;
    int64_t VerifiedMs = 0;
    size_t Cap = 0;
    bool RegularOnly = false;
    bool Stale = false;
    uint64_t LastUse = 0;
    TCachedFile File;
    const void* ParsedKind = nullptr;
    std::shared_ptr<const void> Parsed;
    std::exception_ptr ParseError;
};

struct TFolderEntry {
    TIdentity Identity;
    bool Stale = false;
    bool Watched = false;
    // A missing folder is watched for through its nearest ancestor that is there: a change of
    // the name that leads down to it may bring it.
    std::string Ancestor;
    std::string NextName;
    int64_t VerifiedMs = 0;
    uint64_t LastUse = 0;
    TCachedFolder Folder;
};

} // namespace

struct TFileCache::TState {
    std::mutex Lock;
    TFolderWatch Watch;
    std::map<std::string, TFileEntry> Files;
    std::map<std::string, TFolderEntry> Folders;
    // How many cached files and listings need each watched folder.
    std::map<std::string, int> WatchUsers;
    uint64_t Uses = 0;
    std::atomic<uint64_t> FileReads{0};
    std::atomic<uint64_t> FolderListings{0};
    std::atomic<uint64_t> Looks{0};
    // The batch whose events were last taken.
    uint64_t DrainedBatch = 0;

    void Watch_(const std::string& folder)
    {
        if (WatchUsers[folder]++ == 0)
            Watch.Add(folder);
    }
    void Unwatch(const std::string& folder)
    {
        auto it = WatchUsers.find(folder);
        if (it == WatchUsers.end() || --it->second > 0)
            return;
        Watch.Remove(folder);
        WatchUsers.erase(it);
    }

    // Closes what the entry holds open and stops watching the file itself.
    void Release(const std::string& path, TFileEntry& entry)
    {
        if (entry.Fd >= 0)
            ::close(entry.Fd);
        entry.Fd = -1;
        if (entry.FileWatch >= 0)
            Watch.RemoveFile(entry.FileWatch, FolderOf(path), NameOf(path));
        entry.FileWatch = -1;
    }
    void DropFile(std::map<std::string, TFileEntry>::iterator it)
    {
        Release(it->first, it->second);
        Unwatch(FolderOf(it->first));
        Files.erase(it);
    }
    void DropFolder(std::map<std::string, TFolderEntry>::iterator it)
    {
        Unwatch(it->second.Ancestor.empty() ? it->first : it->second.Ancestor);
        Folders.erase(it);
    }

    // Marks what the queued events touch as stale; a folder that went is watched again when
    // it is next read.
    void Drain()
    {
        if (tBatch != 0 && DrainedBatch == tBatch)
            return;
        DrainedBatch = tBatch;
        Watch.Drain([this](const std::string& folder, std::string_view name) {
            if (folder.empty()) {
                for (auto& [path, entry] : Files)
                    entry.Stale = true;
                for (auto& [path, entry] : Folders)
                    entry.Stale = true;
                return;
            }
            if (auto listing = Folders.find(folder); listing != Folders.end())
                listing->second.Stale = true;
            for (auto& [path, entry] : Folders)
                if (!entry.Ancestor.empty() && entry.Ancestor == folder && (name.empty() || name == entry.NextName))
                    entry.Stale = true;
            if (!name.empty()) {
                std::string path = folder == "/" ? "/" : folder + "/";
                path += name;
                if (auto file = Files.find(path); file != Files.end())
                    file->second.Stale = true;
                return;
            }
            for (auto& [path, entry] : Files)
                if (FolderOf(path) == folder)
                    entry.Stale = true;
            if (!Watch.Watching(folder) && WatchUsers.contains(folder))
                Watch.Add(folder);
        });
    }

    // Keeps a missing folder's answer until its nearest ancestor that is there reports a change
    // of the name leading to it.
    void RememberMissingFolder(const std::string& folder, int64_t now)
    {
        std::string ancestor = folder;
        std::string next;
        struct stat info;
        do {
            if (ancestor == "/" || ancestor.empty() || ancestor[0] != '/')
                return;
            next = NameOf(ancestor);
            ancestor = FolderOf(ancestor);
        } while (::stat(ancestor.c_str(), &info) != 0 && errno == ENOENT);
        if (!S_ISDIR(info.st_mode) || !FolderWatchSeesEveryChange(ancestor))
            return;
        Watch_(ancestor);
        if (!Watch.Watching(ancestor)) {
            Unwatch(ancestor);
            return;
        }
        TFolderEntry& entry = Folders[folder];
        entry = TFolderEntry{};
        entry.Folder = {ENOENT, nullptr};
        entry.Watched = true;
        entry.VerifiedMs = now;
        entry.LastUse = ++Uses;
        entry.Ancestor = ancestor;
        entry.NextName = next;
        Trim();
    }

    void Trim()
    {
        while (Files.size() > kMaxEntries) {
            auto oldest = std::min_element(Files.begin(), Files.end(),
                [](const auto& a, const auto& b) { return a.second.LastUse < b.second.LastUse; });
            DropFile(oldest);
        }
        while (Folders.size() > kMaxEntries) {
            auto oldest = std::min_element(Folders.begin(), Folders.end(),
                [](const auto& a, const auto& b) { return a.second.LastUse < b.second.LastUse; });
            DropFolder(oldest);
        }
    }

    // The entry for the file, read again if it changed; nullptr when it is missing or cannot
    // even be looked at, with `file` saying which.
    TFileEntry* Refresh(const std::string& path, size_t cap, bool regularOnly, TCachedFile& file)
    {
        Drain();
        auto it = Files.find(path);
        const int64_t now = MonotonicMs();
        if (it != Files.end() && !it->second.Stale && it->second.Watched && now - it->second.VerifiedMs < kVerifyMs &&
            it->second.Cap == cap && it->second.RegularOnly == regularOnly) {
            it->second.LastUse = ++Uses;
            file = it->second.File;
            return it->second.Missing ? nullptr : &it->second;
        }
        struct stat info;
        ++Looks;
        if (::stat(path.c_str(), &info) != 0) {
            const int error = errno;
            file = {};
            if (error != ENOENT) {
                if (it != Files.end())
                    DropFile(it);
                file.Result = TReadResult::rrUnreadable;
                file.Error = error;
                return nullptr;
            }
            // Remembered as missing where the folder's watch tells when it comes.
            if (it == Files.end()) {
                Watch_(FolderOf(path));
                it = Files.emplace(path, TFileEntry{}).first;
            }
            TFileEntry& entry = it->second;
            Release(path, entry);
            entry = TFileEntry{};
            entry.Missing = true;
            entry.Cap = cap;
            entry.RegularOnly = regularOnly;
            entry.LastUse = ++Uses;
            entry.Watched = Watch.Watching(FolderOf(path)) && FolderWatchSeesEveryChange(FolderOf(path));
            entry.VerifiedMs = now;
            if (!entry.Watched)
                DropFile(it);
            else
                Trim();
            return nullptr;
        }
        if (it != Files.end() && !it->second.Missing && !it->second.Stale && it->second.Identity == IdentityOf(info) &&
            it->second.Cap == cap && it->second.RegularOnly == regularOnly) {
            it->second.LastUse = ++Uses;
            it->second.VerifiedMs = now;
            file = it->second.File;
            return &it->second;
        }
        if (it == Files.end()) {
            // The watch comes before the read, so a change right after it is not missed.
            Watch_(FolderOf(path));
            it = Files.emplace(path, TFileEntry{}).first;
        } else if (!Watch.Watching(FolderOf(path))) {
            Watch.Add(FolderOf(path));
        }
        TFileEntry& entry = it->second;
        Release(path, entry);
        entry = TFileEntry{};
        entry.Cap = cap;
        entry.RegularOnly = regularOnly;
        entry.LastUse = ++Uses;
        entry.Identity = IdentityOf(info);
        entry.VerifiedMs = now;
        // Watched before the read, so a change during it shows at the next call.
        entry.FileWatch = Watch.AddFile(FolderOf(path), NameOf(path));
        Load(path, info, entry);
        struct statfs fs;
        entry.Watched = entry.FileWatch >= 0 && entry.Fd >= 0 && Watch.Watching(FolderOf(path)) &&
            ::fstatfs(entry.Fd, &fs) == 0 && WatchSeesEveryChange(fs.f_type);
        if (entry.File.Result == TReadResult::rrMissing) {
            // Gone between the stat and the open.
            DropFile(it);
            file = {};
            return nullptr;
        }
        file = entry.File;
        TFileEntry* result = &entry;
        Trim();
        return Files.contains(path) ? result : nullptr;
    }

    void Load(const std::string& path, const struct stat& info, TFileEntry& entry)
    {
        TCachedFile& file = entry.File;
        if (entry.RegularOnly && !S_ISREG(info.st_mode)) {
            file.Result = TReadResult::rrUnreadable;
            return;
        }
        // O_NONBLOCK: a FIFO put in a file's place must not hang the poll.
        entry.Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (entry.Fd < 0) {
            file.Error = errno;
            file.Result = file.Error == ENOENT ? TReadResult::rrMissing : TReadResult::rrUnreadable;
            return;
        }
        ++FileReads;
        struct stat opened;
        if (::fstat(entry.Fd, &opened) == 0) {
            entry.Identity = IdentityOf(opened);
            if (entry.RegularOnly && !S_ISREG(opened.st_mode)) {
                file.Result = TReadResult::rrUnreadable;
                return;
            }
        }
        auto bytes = std::make_shared<std::string>();
        file.Result = ReadBoundedFd(entry.Fd, *bytes, entry.Cap, &file.Error);
        if (file.Result == TReadResult::rrOk || file.Result == TReadResult::rrTooBig)
            file.Bytes = std::move(bytes);
    }
};

bool FolderWatchSeesEveryChange(const std::string& folder)
{
    struct statfs info;
    return ::statfs(folder.c_str(), &info) == 0 && WatchSeesEveryChange(info.f_type);
}

TFileCache& TFileCache::Shared()
{
    // Never destroyed: threads and static destructors may still poll at the process's end.
    static TFileCache* cache = new TFileCache;
    return *cache;
}

TFileCache::TFileCache()
    : FState(std::make_unique<TState>())
{
}

TFileCache::~TFileCache()
{
    for (auto& [path, entry] : FState->Files)
        if (entry.Fd >= 0)
            ::close(entry.Fd);
}

TFileCache::TBatch::TBatch()
    : FOuter(tBatch)
{
    if (tBatch == 0)
        tBatch = ++gBatches;
}

TFileCache::TBatch::~TBatch()
{
    tBatch = FOuter;
}

void TFileCache::Changed(const std::string& path)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (auto it = FState->Files.find(path); it != FState->Files.end())
        it->second.Stale = true;
    if (auto it = FState->Folders.find(FolderOf(path)); it != FState->Folders.end())
        it->second.Stale = true;
}

TCachedFile TFileCache::Read(const std::string& path, size_t cap, bool regularOnly)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    TCachedFile file;
    FState->Refresh(path, cap, regularOnly, file);
    return file;
}

std::shared_ptr<const void> TFileCache::ParsedAs(const std::string& path, TCachedFile& file, size_t cap,
    bool regularOnly, const void* kind, const std::function<std::shared_ptr<const void>(std::string_view)>& parse)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    TFileEntry* entry = FState->Refresh(path, cap, regularOnly, file);
    if (file.Result != TReadResult::rrOk)
        return nullptr;
    if (!entry)
        return parse(*file.Bytes);
    if (entry->ParsedKind != kind) {
        entry->ParsedKind = kind;
        entry->Parsed.reset();
        entry->ParseError = nullptr;
        try {
            entry->Parsed = parse(*file.Bytes);
        } catch (...) {
            entry->ParseError = std::current_exception();
        }
    }
    if (entry->ParseError)
        std::rethrow_exception(entry->ParseError);
    return entry->Parsed;
}

TCachedFolder TFileCache::List(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    TState& state = *FState;
    state.Drain();
    auto it = state.Folders.find(folder);
    const int64_t now = MonotonicMs();
    if (it != state.Folders.end() && !it->second.Stale && it->second.Watched &&
        now - it->second.VerifiedMs < kVerifyMs) {
        it->second.LastUse = ++state.Uses;
        return it->second.Folder;
    }
    struct stat info;
    ++state.Looks;
    if (::stat(folder.c_str(), &info) != 0) {
        const int error = errno;
        if (it != state.Folders.end())
            state.DropFolder(it);
        if (error == ENOENT)
            state.RememberMissingFolder(folder, now);
        return {error, nullptr};
    }
    if (it != state.Folders.end() && !it->second.Ancestor.empty()) {
        state.DropFolder(it);
        it = state.Folders.end();
    }
    if (it != state.Folders.end() && !it->second.Stale && it->second.Identity == IdentityOf(info)) {
        it->second.LastUse = ++state.Uses;
        it->second.VerifiedMs = now;
        return it->second.Folder;
    }
    if (it == state.Folders.end()) {
        state.Watch_(folder);
        it = state.Folders.emplace(folder, TFolderEntry{}).first;
    } else if (!state.Watch.Watching(folder)) {
        state.Watch.Add(folder);
    }
    TFolderEntry& entry = it->second;
    entry = TFolderEntry{};
    entry.Identity = IdentityOf(info);
    entry.LastUse = ++state.Uses;
    entry.VerifiedMs = now;
    entry.Watched = state.Watch.Watching(folder) && FolderWatchSeesEveryChange(folder);
    ++state.FolderListings;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        entry.Folder = {errno, nullptr};
    } else {
        auto names = std::make_shared<std::vector<std::string>>();
        while (dirent* found = ::readdir(dir)) {
            const std::string_view name = found->d_name;
            if (name != "." && name != "..")
                names->emplace_back(name);
        }
        ::closedir(dir);
        std::sort(names->begin(), names->end());
        entry.Folder = {0, std::move(names)};
    }
    TCachedFolder result = entry.Folder;
    state.Trim();
    return result;
}

uint64_t TFileCache::FileReads() const
{
    return FState->FileReads.load();
}

uint64_t TFileCache::FolderListings() const
{
    return FState->FolderListings.load();
}

uint64_t TFileCache::Looks() const
{
    return FState->Looks.load();
}
