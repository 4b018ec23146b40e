#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <sys/inotify.h>
#include <utility>
#include <vector>

// Tells which names in a few folders changed since it was last asked, through inotify, so a
// poll can skip files nothing has touched. The descriptor never blocks: Drain takes what the
// kernel queued and returns. The kernel queues an event before the write that caused it
// returns, so a change is never missed by the next Drain.
// Not thread-safe: its owner locks.
class TFolderWatch {
public:
    TFolderWatch();
    ~TFolderWatch();
    TFolderWatch(const TFolderWatch&) = delete;
    TFolderWatch& operator=(const TFolderWatch&) = delete;

    // What is reported for a name in a watched folder (and for the folder itself going).
    static constexpr uint32_t kContentEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
        IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    // What is reported for a watched file itself.
    static constexpr uint32_t kFileEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
    // Only names coming and going, for a folder of process folders.
    static constexpr uint32_t kEntryEvents =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

    // Starts watching the folder (following a symbolic link to it). False when it cannot be
    // watched: it is missing or no folder, or inotify is not available.
    bool Add(const std::string& folder, uint32_t mask = kContentEvents);
    void Remove(const std::string& folder);
    bool Watching(const std::string& folder) const;

    // Watches one file itself (what it names now, through symbolic links), so a change made
    // through another name of it (a hard link) is reported too: as a change of `name` in
    // `folder`, the file's path. The result identifies the watch for RemoveFile; -1 when it
    // cannot be watched.
    int AddFile(const std::string& folder, const std::string& name);
    void RemoveFile(int watch, const std::string& folder, const std::string& name);

    // Calls changed(folder, name) for each queued event of a watched folder; name is empty when
    // the folder itself went or was moved (it is then no longer watched). When the kernel's
    // queue overflowed, changed("", "") says anything may have changed.
    void Drain(const std::function<void(const std::string& folder, std::string_view name)>& changed);

private:
    int FFd = -1;
    // Two paths of one folder (/var/run and /run) share a watch descriptor.
    std::map<int, std::vector<std::string>> FFolders;
    // A watched file's folder and name; two names of one file share a descriptor, counted.
    struct TWatchedFile {
        std::vector<std::pair<std::string, std::string>> Paths;
    };
    std::map<int, TWatchedFile> FFiles;
};
