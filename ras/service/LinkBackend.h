#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/FileCache.h"
#include "ras/service/FileLock.h"
#include "ras/service/Phonebook.h"
#include "ras/service/ServiceFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// What the backends of real links (pppd, NetworkManager) share: a link file in the service
// folder that keeps the links' handles, read through the file cache and rewritten under the
// service's lock, and the look-ups over the links one poll observes.
//
// What tells one backend's link file from the other's.
template <typename TTable>
struct TLinkFileKind {
    const char* FileName; // in the service folder
    const char* What;     // as messages name the file
    size_t MaxBytes;
    HRASCONN FirstHandle; // of the backend's range
    std::optional<TTable> (*Parse)(std::string_view bytes);
    std::string (*Serialize)(const TTable& table);
};

// TBackend provides Observe(nowMs, TTable* tableOut) and its kind of link file as the static
// member kLinks.
template <typename TBackend, typename TTable>
class TLinkBackend {
public:
    std::string LinksPath() const { return FFolder + "/" + TBackend::kLinks.FileName; }

    // The links at nowMs in handle order (see the backend's Observe).
    std::vector<TConnectionView> Connections(int64_t nowMs) const { return Self().Observe(nowMs, nullptr); }

    // Nothing when the handle is not one of this backend's links.
    std::optional<TConnectionView> Find(HRASCONN handle, int64_t nowMs) const
    {
        if (handle < TBackend::kLinks.FirstHandle)
            return std::nullopt;
        for (TConnectionView& view : Self().Observe(nowMs, nullptr))
            if (view.Handle == handle)
                return std::move(view);
        return std::nullopt;
    }

    // The handle of the entry's link that is not disconnected, if it has one. The entry's name
    // is compared as the phonebook compares names, letter case aside.
    std::optional<HRASCONN> LiveLink(const std::string& entry, int64_t nowMs) const
    {
        for (const TConnectionView& view : Self().Observe(nowMs, nullptr))
            if (SameEntryName(view.Entry, entry) && view.State != RASCS_Disconnected)
                return view.Handle;
        return std::nullopt;
    }

protected:
    explicit TLinkBackend(std::string folder)
        : FFolder(std::move(folder))
    {
    }

    // The stored links, nothing for a damaged file; `file` tells whether there is one and
    // whether it could be read.
    std::optional<TTable> ReadLinks(TCachedFile& file) const
    {
        std::shared_ptr<const std::optional<TTable>> table =
            TFileCache::Shared().template Parsed<std::optional<TTable>>(
                LinksPath(), file, TBackend::kLinks.Parse, TBackend::kLinks.MaxBytes, true);
        if (!table)
            return TTable{};
        return *table;
    }

    // The links' handles are kept in the file: one that is there but cannot be read is never
    // replaced by one that forgot them. Throws ERasUnreadableFile.
    void RefuseUnreadableLinks(const TCachedFile& file) const
    {
        RefuseUnreadable(file, TBackend::kLinks.What, LinksPath(), TBackend::kLinks.MaxBytes);
    }

    // Under the service's lock: the table as the file holds it now (an empty one for a damaged
    // file), changed by change(table), saved. Throws ERasUnreadableFile for a file that cannot
    // be read and ERasService for one that cannot be written, which is then unchanged.
    template <typename TChange>
    TTable RewriteLinks(TChange change) const
    {
        std::error_code ec;
        std::filesystem::create_directories(FFolder, ec);
        TFileLock lock(FFolder + "/ras.lock");
        TCachedFile file;
        TTable table = ReadLinks(file).value_or(TTable{});
        RefuseUnreadableLinks(file);
        change(table);
        SaveServiceFile(LinksPath(), TBackend::kLinks.Serialize(table));
        return table;
    }

    // The end of a poll: merge(table) brings the table up to what the poll observed and
    // returns the views. When that changes the stored table, the merge is redone on the file as
    // it is under the lock, so that processes polling at once hand out one handle per link.
    template <typename TMerge>
    std::vector<TConnectionView> StoreMerge(const std::optional<TTable>& stored, TMerge merge, TTable* tableOut) const
    {
        // A damaged link file loses the links' history, not the links: they come back with
        // new handles.
        TTable table = stored.value_or(TTable{});
        std::vector<TConnectionView> views = merge(table);
        if (!stored || table != *stored)
            table = RewriteLinks([&views, &merge](TTable& current) { views = merge(current); });
        if (tableOut)
            *tableOut = std::move(table);
        return views;
    }

    std::string FFolder;

private:
    const TBackend& Self() const { return static_cast<const TBackend&>(*this); }
};
