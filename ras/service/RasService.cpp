#include "ras/service/RasService.h"

#include "ras/service/AnsiText.h"
#include "ras/service/FileCache.h"
#include "ras/service/FileLock.h"
#include "ras/service/RasErrors.h"
#include "ras/service/ServiceFile.h"

#include <algorithm>
#include <filesystem>

namespace {

void CheckDuration(const char* what, int64_t ms)
{
    if (ms < 0 || ms > kMaxDurationMs)
        throw ERasService(std::string("The ") + what + " of " + std::to_string(ms) + " ms is out of range");
}

// Hangs up the running link of a backend's entry; what is returned is what a stored connection
// of the entry would hold.
template <typename TBackend>
TConnectionRecord HangUpLink(const TBackend& backend, const TPhonebookEntry& entry, int64_t nowMs)
{
    std::optional<HRASCONN> handle = backend.LiveLink(entry.Name, nowMs);
    if (!handle || !backend.HangUp(*handle, nowMs))
        throw ERasNotConnected(QuotedName(entry.Name) + " is not connected");
    TConnectionRecord hungUp;
    hungUp.Handle = *handle;
    hungUp.Entry = entry.Name;
    hungUp.DeviceType = entry.DeviceType;
    hungUp.DeviceName = entry.DeviceName;
    hungUp.Speed = entry.Speed;
    hungUp.HungUpAtMs = nowMs;
    return hungUp;
}

} // namespace

TRasService::TRasService(std::string folder)
    : FFolder(std::move(folder))
    , FPpp(FFolder)
    , FNm(FFolder)
{
}

void TRasService::RefusePppPeer(std::string_view name, const std::vector<TPppPeer>& peers) const
{
    for (const TPppPeer& peer : peers)
        if (SameEntryName(peer.Name, name))
            throw ERasPppPeer(QuotedName(peer.Name) + " is a pppd peer: use pon/poff");
}

void TRasService::RefuseNmConnection(std::string_view name) const
{
    for (const TPhonebookEntry& entry : FNm.Entries())
        if (SameEntryName(entry.Name, name))
            throw ERasNmConnection(QuotedName(entry.Name) + " is a NetworkManager connection: use nmcli");
}

void TRasService::RefuseUnreadablePhonebook(const TCachedFile& file) const
{
    if (file.Result != TReadResult::rrOk && file.Result != TReadResult::rrMissing)
        throw ERasCannotOpenPhonebook("Cannot read the phonebook " + ReadableUtf8(PhonebookPath()) + ": " +
            UnreadableReason(file, PhonebookPath(), kMaxPhonebookBytes));
}

std::shared_ptr<const std::string> TRasService::ReadPhonebookBytes() const
{
    const TCachedFile file = TFileCache::Shared().Read(PhonebookPath(), kMaxPhonebookBytes, true);
    // No phonebook yet is an empty phonebook; one that is there but unreadable is not.
    if (file.Result == TReadResult::rrMissing)
        return std::make_shared<const std::string>();
    RefuseUnreadablePhonebook(file);
    return file.Bytes;
}

std::vector<TPhonebookEntry> TRasService::OwnEntries() const
{
    TCachedFile file;
    std::shared_ptr<const std::vector<TPhonebookEntry>> entries =
        TFileCache::Shared().Parsed<std::vector<TPhonebookEntry>>(
            PhonebookPath(), file, ParsePhonebook, kMaxPhonebookBytes, true);
    if (entries)
        return *entries;
    RefuseUnreadablePhonebook(file);
    return {};
}

TConnectionTable TRasService::ReadTable() const
{
    TCachedFile file;
    std::shared_ptr<const TConnectionTable> table =
        TFileCache::Shared().Parsed<TConnectionTable>(TablePath(), file, ParseConnectionTable, kMaxTableBytes, true);
    if (table)
        return *table;
    RefuseUnreadable(file, "connection table", TablePath(), kMaxTableBytes);
    return {};
}

void TRasService::EnsureFolder() const
{
    std::error_code ec;
    std::filesystem::create_directories(FFolder, ec);
    if (ec)
        throw ERasService("Cannot create the folder " + ReadableUtf8(FFolder) + ": " + ec.message());
}

void TRasService::WriteTable(TConnectionTable& table, int64_t nowMs) const
{
    std::erase_if(table.Records, [nowMs](const TConnectionRecord& r) { return IsGone(r, nowMs); });
    SaveServiceFile(TablePath(), SerializeConnectionTable(table));
}

std::vector<TPhonebookEntry> TRasService::Phonebook() const
{
    const TFileCache::TBatch poll;
    std::vector<TPhonebookEntry> entries = OwnEntries();
    std::vector<TPppPeer> peers = FPpp.Peers();
    std::vector<TPhonebookEntry> nm = FNm.Entries();
    auto isPeer = [&peers](const TPhonebookEntry& entry) {
        return std::any_of(peers.begin(), peers.end(),
            [&entry](const TPppPeer& peer) { return SameEntryName(peer.Name, entry.Name); });
    };
    std::erase_if(nm, isPeer);
    std::erase_if(entries, [&](const TPhonebookEntry& entry) {
        return isPeer(entry) || std::any_of(nm.begin(), nm.end(), [&entry](const TPhonebookEntry& profile) {
            return SameEntryName(profile.Name, entry.Name);
        });
    });
    for (TPppPeer& peer : peers)
        entries.push_back(
            {std::move(peer.Name), std::move(peer.DeviceType), std::move(peer.DeviceName), peer.Speed, {}});
    for (TPhonebookEntry& entry : nm)
        entries.push_back(std::move(entry));
    return entries;
}

std::optional<TPhonebookEntry> TRasService::FindEntry(std::string_view name) const
{
    const TFileCache::TBatch poll;
    for (TPhonebookEntry& entry : Phonebook())
        if (SameEntryName(entry.Name, name))
            return std::move(entry);
    return std::nullopt;
}

void TRasService::AddEntry(const TPhonebookEntry& entry)
{
    ValidateNewEntry(entry);
    RefusePppPeer(entry.Name, FPpp.Peers());
    RefuseNmConnection(entry.Name);
    EnsureFolder();
    TFileLock lock(LockPath());
    const std::shared_ptr<const std::string> bytes = ReadPhonebookBytes();
    for (const TPhonebookEntry& existing : ParsePhonebook(*bytes))
        if (SameEntryName(existing.Name, entry.Name))
            throw ERasEntryExists("The phonebook already has an entry " + QuotedName(existing.Name));
    SaveServiceFile(PhonebookPath(), AppendPhonebookEntry(*bytes, entry));
}

TPhonebookEntry TRasService::RemoveEntry(std::string_view name)
{
    RefusePppPeer(name, FPpp.Peers());
    RefuseNmConnection(name);
    EnsureFolder();
    TFileLock lock(LockPath());
    const std::shared_ptr<const std::string> bytes = ReadPhonebookBytes();
    for (TPhonebookEntry& existing : ParsePhonebook(*bytes)) {
        if (SameEntryName(existing.Name, name)) {
            SaveServiceFile(PhonebookPath(), RemovePhonebookEntry(*bytes, existing.Name));
            return std::move(existing);
        }
    }
    throw ERasUnknownEntry("The phonebook has no entry " + QuotedName(name));
}

HRASCONN TRasService::Dial(std::string_view entryName, const TDialOptions& options, int64_t nowMs)
{
    nowMs = ClampTime(nowMs);
    CheckDuration("connect time", options.ConnectAfterMs);
    CheckDuration("linger time", options.LingerMs);
    if (options.PinnedState && !RasConnStateName(*options.PinnedState))
        throw ERasService(std::to_string(*options.PinnedState) + " is not a connection state");
    RefusePppPeer(entryName, FPpp.Peers());
    RefuseNmConnection(entryName);
    EnsureFolder();
    TFileLock lock(LockPath());
    std::optional<TPhonebookEntry> entry = FindEntry(entryName);
    if (!entry)
        throw ERasUnknownEntry("The phonebook has no entry " + QuotedName(entryName));
    TConnectionTable table = ReadTable();
    for (const TConnectionRecord& r : table.Records)
        if (!r.HungUpAtMs && SameEntryName(r.Entry, entry->Name))
            throw ERasAlreadyConnected(
                QuotedName(entry->Name) + " is already connected (handle " + HandleText(r.Handle) + ")");
    if (table.NextHandle > UINT32_MAX)
        throw ERasService("No connection handles are left");
    // The table stays within what its reader accepts (see ServiceFile.h).
    std::erase_if(table.Records, [nowMs](const TConnectionRecord& r) { return IsGone(r, nowMs); });
    if (table.Records.size() >= kMaxConnections)
        throw ERasService("The connection table is full: " + std::to_string(table.Records.size()) +
            " connections are dialled or still listed as hung up");

    TConnectionRecord record;
    record.Handle = static_cast<HRASCONN>(table.NextHandle++);
    record.Entry = entry->Name;
    record.DeviceType = entry->DeviceType;
    record.DeviceName = entry->DeviceName;
    record.Speed = entry->Speed;
    record.DialedAtMs = nowMs;
    record.ConnectAfterMs = options.ConnectAfterMs;
    record.PinnedState = options.PinnedState;
    record.Error = options.Error;
    record.LingerMs = options.LingerMs;
    table.Records.push_back(record);
    WriteTable(table, nowMs);
    return record.Handle;
}

bool TRasService::HangUp(HRASCONN handle, int64_t nowMs, std::optional<int64_t> lingerMs)
{
    nowMs = ClampTime(nowMs);
    if (lingerMs)
        CheckDuration("linger time", *lingerMs);
    if (handle >= kFirstPppHandle && handle <= kLastPppHandle && FPpp.Find(handle, nowMs))
        return FPpp.HangUp(handle, nowMs);
    if (handle >= kFirstNmHandle && FNm.Find(handle, nowMs))
        return FNm.HangUp(handle, nowMs);
    EnsureFolder();
    TFileLock lock(LockPath());
    TConnectionTable table = ReadTable();
    for (TConnectionRecord& r : table.Records) {
        if (r.Handle != handle || IsGone(r, nowMs))
            continue;
        if (r.HungUpAtMs)
            return false;
        r.HungUpAtMs = nowMs;
        if (lingerMs)
            r.LingerMs = *lingerMs;
        WriteTable(table, nowMs);
        return true;
    }
    throw ERasInvalidHandle("There is no connection with the handle " + HandleText(handle));
}

TConnectionRecord TRasService::HangUpEntry(std::string_view entry, int64_t nowMs, std::optional<int64_t> lingerMs)
{
    nowMs = ClampTime(nowMs);
    if (lingerMs)
        CheckDuration("linger time", *lingerMs);
    for (const TPppPeer& peer : FPpp.Peers())
        if (SameEntryName(peer.Name, entry))
            return HangUpLink(FPpp, {peer.Name, peer.DeviceType, peer.DeviceName, peer.Speed, {}}, nowMs);
    for (const TPhonebookEntry& profile : FNm.Entries())
        if (SameEntryName(profile.Name, entry))
            return HangUpLink(FNm, profile, nowMs);
    EnsureFolder();
    TFileLock lock(LockPath());
    TConnectionTable table = ReadTable();
    for (TConnectionRecord& r : table.Records) {
        if (r.HungUpAtMs || !SameEntryName(r.Entry, entry))
            continue;
        r.HungUpAtMs = nowMs;
        if (lingerMs)
            r.LingerMs = *lingerMs;
        TConnectionRecord hungUp = r;
        WriteTable(table, nowMs);
        return hungUp;
    }
    throw ERasNotConnected(QuotedName(entry) + " is not connected");
}

std::vector<TConnectionView> TRasService::Connections(int64_t nowMs) const
{
    const TFileCache::TBatch poll;
    // Writers replace the table in one rename, so a read needs no lock.
    std::vector<TConnectionView> views;
    for (const TConnectionRecord& r : ReadTable().Records)
        if (std::optional<TConnectionView> view = ViewAt(r, nowMs))
            views.push_back(std::move(*view));
    for (TConnectionView& view : FPpp.Connections(nowMs))
        views.push_back(std::move(view));
    for (TConnectionView& view : FNm.Connections(nowMs))
        views.push_back(std::move(view));
    return views;
}

std::optional<TConnectionView> TRasService::Find(HRASCONN handle, int64_t nowMs) const
{
    const TFileCache::TBatch poll;
    if (handle >= kFirstNmHandle)
        if (std::optional<TConnectionView> view = FNm.Find(handle, nowMs))
            return view;
    if (handle >= kFirstPppHandle && handle <= kLastPppHandle)
        if (std::optional<TConnectionView> view = FPpp.Find(handle, nowMs))
            return view;
    for (const TConnectionRecord& r : ReadTable().Records)
        if (r.Handle == handle)
            return ViewAt(r, nowMs);
    return std::nullopt;
}
