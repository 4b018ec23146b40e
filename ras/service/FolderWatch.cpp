#include "ras/service/FolderWatch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>

TFolderWatch::TFolderWatch()
{
    FFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

TFolderWatch::~TFolderWatch()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool TFolderWatch::Add(const std::string& folder, uint32_t mask)
{
    if (FFd < 0)
        return false;
    if (Watching(folder))
        return true;
    // IN_MASK_ADD: a second path of the same folder keeps what the first asked for.
    const int wd = ::inotify_add_watch(FFd, folder.c_str(), mask | IN_ONLYDIR | IN_MASK_ADD);
    if (wd < 0)
        return false;
    FFolders[wd].push_back(folder);
    return true;
}

void TFolderWatch::Remove(const std::string& folder)
{
    for (auto it = FFolders.begin(); it != FFolders.end(); ++it) {
        std::vector<std::string>& paths = it->second;
        auto found = std::find(paths.begin(), paths.end(), folder);
        if (found == paths.end())
            continue;
        paths.erase(found);
        if (paths.empty()) {
            ::inotify_rm_watch(FFd, it->first);
            FFolders.erase(it);
        }
        return;
    }
}

int TFolderWatch::AddFile(const std::string& folder, const std::string& name)
{
    if (FFd < 0)
        return -1;
    const std::string path = folder == "/" ? "/" + name : folder + "/" + name;
    const int wd = ::inotify_add_watch(FFd, path.c_str(), kFileEvents | IN_MASK_ADD);
    // A folder's descriptor is never taken for a file's: the name would be a folder then.
    if (wd < 0 || FFolders.contains(wd))
        return -1;
    FFiles[wd].Paths.emplace_back(folder, name);
    return wd;
}

void TFolderWatch::RemoveFile(int watch, const std::string& folder, const std::string& name)
{
    auto it = FFiles.find(watch);
    if (it == FFiles.end())
        return;
    auto& paths = it->second.Paths;
    auto found = std::find(paths.begin(), paths.end(), std::make_pair(folder, name));
    if (found == paths.end())
        return;
    paths.erase(found);
    if (it->second.Paths.empty()) {
        ::inotify_rm_watch(FFd, watch);
        FFiles.erase(it);
    }
}

bool TFolderWatch::Watching(const std::string& folder) const
{
    for (const auto& [wd, paths] : FFolders)
        if (std::find(paths.begin(), paths.end(), folder) != paths.end())
            return true;
    return false;
}

void TFolderWatch::Drain(const std::function<void(const std::string&, std::string_view)>& changed)
{
    if (FFd < 0)
        return;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t n = ::read(FFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changed("", "");
                continue;
            }
            if (auto file = FFiles.find(event->wd); file != FFiles.end()) {
                const auto paths = file->second.Paths;
                if (event->mask & IN_IGNORED)
                    FFiles.erase(file);
                for (const auto& [folder, name] : paths)
                    changed(folder, name);
                continue;
            }
            auto found = FFolders.find(event->wd);
            if (found == FFolders.end())
                continue;
            // A copy: the callback may add or remove watches.
            const std::vector<std::string> paths = found->second;
            const bool gone = event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF);
            const std::string_view name = gone || event->len == 0 ? std::string_view() : std::string_view(event->name);
            if (event->mask & IN_IGNORED)
                FFolders.erase(event->wd);
            else if (gone) {
                // The path may now name another folder; the next Add watches that one.
                ::inotify_rm_watch(FFd, event->wd);
                FFolders.erase(event->wd);
            }
            for (const std::string& path : paths)
                changed(path, name);
        }
    }
}
