#pragma once

#include "ras/service/BoundedFile.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A file as the cache last read it.
struct TCachedFile {
    TReadResult Result = TReadResult::rrMissing;
    int Error = 0; // errno of rrUnreadable
    // The bytes for rrOk, the first `cap` bytes for rrTooBig; empty otherwise.
    std::shared_ptr<const std::string> Bytes;
};

// A folder's names (without "." and ".."), sorted, or the errno of listing it.
struct TCachedFolder {
    int Error = 0;
    std::shared_ptr<const std::vector<std::string>> Names;
};

// Whether every change in the folder passes through this machine's kernel (a local file system),
// so a watch sees it; a network or user-space file system may change under it unseen, and what
// is kept of its files is looked at again.
bool FolderWatchSeesEveryChange(const std::string& folder);

// The files the service polls every second, read once and kept with what was parsed from
// them until they change. A file counts as changed when inotify reports something for its
// name or for the file itself (an edit in place within one clock tick, or one through a hard
// link, included) or when stat shows another file (device, inode, size, modification or change
// time): writers replace the service's files by a rename, and the cached file's descriptor
// stays open so its inode number cannot be handed to a new file meanwhile. Where the watches
// see every change (a local file system), a poll costs no stat: one is made only every few
// seconds, for what no watch can see (a folder above renamed). A missing file costs a stat,
// never an open.
// One cache serves the process; every call locks it, so any thread may call.
class TFileCache {
public:
    static TFileCache& Shared();

    TFileCache();
    ~TFileCache();
    TFileCache(const TFileCache&) = delete;
    TFileCache& operator=(const TFileCache&) = delete;

    // The file at most `cap` bytes long (rrTooBig beyond); with regularOnly anything but a
    // regular file is rrUnreadable and never opened, as a FIFO would block.
    TCachedFile Read(const std::string& path, size_t cap = SIZE_MAX, bool regularOnly = false);

    // What parse made of the bytes of an rrOk read, parsed again only when the file changed;
    // nullptr for any other result, which `file` tells. A parse that threw throws the same
    // again until the file changes.
    template <typename T, typename TParse>
    std::shared_ptr<const T> Parsed(
        const std::string& path, TCachedFile& file, TParse&& parse, size_t cap = SIZE_MAX, bool regularOnly = false)
    {
        static const char kind = 0; // one slot per type and parser
        return std::static_pointer_cast<const T>(
            ParsedAs(path, file, cap, regularOnly, &kind, [&](std::string_view bytes) -> std::shared_ptr<const void> {
                return std::make_shared<const T>(parse(bytes));
            }));
    }

    TCachedFolder List(const std::string& folder);

    // While one lives, the thread's calls take inotify's queued events once, at the first call:
    // the reads of one poll then cost one look at the queue. Changes that come later in the
    // batch show in the next one, unless this process made them (Changed).
    class TBatch {
    public:
        TBatch();
        ~TBatch();
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;

    private:
        uint64_t FOuter;
    };
    // This process has just written the file: the next read looks at it again.
    void Changed(const std::string& path);

    // How many times a file was opened and read, and a folder listed, by this cache: what
    // the tests count.
    uint64_t FileReads() const;
    uint64_t FolderListings() const;
    // How many times a file or folder was looked at with stat.
    uint64_t Looks() const;

private:
    struct TState;
    std::shared_ptr<const void> ParsedAs(const std::string& path, TCachedFile& file, size_t cap, bool regularOnly,
        const void* kind, const std::function<std::shared_ptr<const void>(std::string_view)>& parse);
    std::unique_ptr<TState> FState;
};
