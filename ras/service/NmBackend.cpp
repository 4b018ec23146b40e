#include "ras/service/NmBackend.h"

#include "ras/service/AnsiText.h"
#include "ras/service/FileCache.h"
#include "ras/service/NmBus.h"
#include "ras/service/PppLinkTable.h"
#include "ras/service/PppLinks.h"
#include "ras/service/PppPeers.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasRecords.h"
#include "ras/service/ServiceFile.h"

#include <algorithm>

namespace {

// How long a phonebook read waits for NetworkManager's first answers; they come within a few
// milliseconds from a NetworkManager that runs.
constexpr int64_t kFirstEntriesWaitMs = 500;

bool IsDialUp(const TNmProfile& profile)
{
    return profile.Type == "gsm" || profile.Type == "cdma" || profile.Type == "pppoe" ||
        (profile.Type == "bluetooth" && profile.BluetoothType == "dun");
}

// As the pppd backend spells them.
std::string DeviceType(const TNmProfile& profile)
{
    return profile.Type == "pppoe" ? "PPPoE" : "modem";
}

// A device name from the bus in ANSI, cut to what the records hold; "" when it cannot be one
// (the link file keeps it as one blank-free field).
std::string AnsiDevice(const std::string& utf8)
{
    std::optional<std::string> ansi = Utf8ToAnsi(utf8);
    if (!ansi || std::any_of(ansi->begin(), ansi->end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; }))
        return {};
    ansi->resize(std::min<size_t>(ansi->size(), RAS_MaxDeviceName));
    return *ansi;
}

// What a profile names as its device when it is not active: for PPPoE the Ethernet interface
// it runs over, as the pppd backend shows it, else the interface it is bound to, if any.
std::string ProfileDevice(const TNmProfile& profile)
{
    if (profile.Type == "pppoe" && !profile.PppoeParent.empty())
        return AnsiDevice(profile.PppoeParent);
    return AnsiDevice(profile.InterfaceName);
}

// The device NetworkManager runs the active connection on, by its (control) interface: the
// modem's port, the Ethernet interface of PPPoE, the phone's Bluetooth address.
const TNmDevice* ActiveDevice(const TNmSnapshot& snapshot, const TNmActiveConnection& active)
{
    for (const std::string& path : active.Devices)
        if (const TNmDevice* device = snapshot.Device(path))
            return device;
    return nullptr;
}

const TNmProfile* ProfileAt(const TNmSnapshot& snapshot, const std::string& path)
{
    for (const TNmProfile& profile : snapshot.Profiles)
        if (profile.Path == path)
            return &profile;
    return nullptr;
}

// The byte counters of the interface that carries the traffic (the ppp interface of a modem
// or PPPoE connection), from the kernel; else NetworkManager's own counters of the device,
// which it updates only once asked to.
void ReadBytes(const TNmDevice& device, TNmObservedLink& link)
{
    const std::string& interface = device.IpInterface.empty() ? device.Interface : device.IpInterface;
    if (ReadByteCounters(interface, link.BytesSent, link.BytesReceived))
        return;
    if (!device.HasStatistics)
        return;
    if (device.RefreshRateMs == 0)
        TNmBus::Shared().WatchStatistics(device.Path);
    link.BytesSent = device.TxBytes;
    link.BytesReceived = device.RxBytes;
}

std::vector<TNmObservedLink> ObserveLinks(const TNmSnapshot& snapshot)
{
    std::vector<TNmObservedLink> observed;
    for (const TNmActiveConnection& active : snapshot.Active) {
        const TNmProfile* profile = ProfileAt(snapshot, active.Connection);
        if (!profile || !IsDialUp(*profile))
            continue;
        std::optional<std::string> name = EntryName(profile->Id);
        if (!name)
            continue;
        TNmObservedLink link;
        link.ActivePath = active.Path;
        // The active connection names its profile's UUID; where it does not, the profile does.
        link.Uuid = active.Uuid.empty() ? profile->Uuid : active.Uuid;
        link.Entry = std::move(*name);
        link.DeviceType = DeviceType(*profile);
        link.State = active.State;
        const TNmDevice* device = ActiveDevice(snapshot, active);
        link.DeviceName = device ? AnsiDevice(device->Interface) : std::string();
        if (link.DeviceName.empty())
            link.DeviceName = ProfileDevice(*profile);
        if (device && active.State == kNmActivated)
            ReadBytes(*device, link);
        observed.push_back(std::move(link));
    }
    return observed;
}

} // namespace

TNmBackend::TNmBackend(std::string folder)
    : TLinkBackend(std::move(folder))
{
}

std::vector<TPhonebookEntry> TNmBackend::Entries() const
{
    // The phonebook is read when a program starts: one started while NetworkManager's first
    // answers are under way would miss its profiles and their tariffs, so this read waits for
    // them a little longer than a poll does.
    std::shared_ptr<const TNmSnapshot> snapshot = TNmBus::Shared().Snapshot(std::nullopt, kFirstEntriesWaitMs);
    std::vector<TPhonebookEntry> entries;
    for (const TNmProfile& profile : snapshot->Profiles) {
        if (!IsDialUp(profile))
            continue;
        std::optional<std::string> name = EntryName(profile.Id);
        if (!name || std::any_of(entries.begin(), entries.end(), [&name](const TPhonebookEntry& e) {
                return SameEntryName(e.Name, *name);
            }))
            continue;
        TPhonebookEntry entry;
        entry.Name = std::move(*name);
        entry.DeviceType = DeviceType(profile);
        for (const TNmActiveConnection& active : snapshot->Active)
            if (active.Connection == profile.Path)
                if (const TNmDevice* device = ActiveDevice(*snapshot, active))
                    entry.DeviceName = AnsiDevice(device->Interface);
        if (entry.DeviceName.empty())
            entry.DeviceName = ProfileDevice(profile);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TConnectionView> TNmBackend::Observe(int64_t nowMs, TNmLinkTable* tableOut) const
{
    std::shared_ptr<const TNmSnapshot> snapshot = TNmBus::Shared().Snapshot(nowMs);
    TCachedFile file;
    std::optional<TNmLinkTable> stored = ReadLinks(file);
    const bool exists = file.Result == TReadResult::rrOk;
    // Until NetworkManager has answered, what another process saw stands.
    if (snapshot->Presence == TNmPresence::npLoading) {
        if (tableOut)
            *tableOut = stored.value_or(TNmLinkTable{});
        return stored ? StoredNmLinks(*stored, nowMs) : std::vector<TConnectionView>{};
    }
    const std::vector<TNmObservedLink> observed = ObserveLinks(*snapshot);
    // No NetworkManager connection now and none remembered: nothing is read or written.
    if (observed.empty() && (!exists || (stored && stored->Links.empty())))
        return {};
    RefuseUnreadableLinks(file);
    return StoreMerge(
        stored, [&](TNmLinkTable& table) { return MergeNmLinks(table, observed, nowMs); }, tableOut);
}

bool TNmBackend::HangUp(HRASCONN handle, int64_t nowMs) const
{
    nowMs = ClampTime(nowMs);
    TNmLinkTable table;
    Observe(nowMs, &table);
    auto it = std::find_if(
        table.Links.begin(), table.Links.end(), [handle](const TNmLinkRecord& r) { return r.Handle == handle; });
    if (it == table.Links.end() || (it->GoneAtMs && nowMs >= *it->GoneAtMs + kPppLingerMs))
        throw ERasInvalidHandle("There is no connection with the handle " + HandleText(handle));
    if (it->GoneAtMs)
        return false;
    const std::string what = "the connection " + HandleText(handle) + " (" + QuotedName(it->Entry) + ")";
    TNmCallResult result = TNmBus::Shared().Deactivate(it->ActivePath, it->Uuid, nowMs);
    if (!result.Reached)
        throw ERasHangUpRefused("NetworkManager is not reachable to deactivate " + what);
    if (result.ErrorName == "org.freedesktop.NetworkManager.ConnectionNotActive")
        return false;
    if (!result.ErrorName.empty()) {
        const std::string message = "NetworkManager refused to deactivate " + what + ": " +
            ReadableUtf8(result.ErrorName) + ": " + ReadableUtf8(result.ErrorMessage);
        if (result.ErrorName == "org.freedesktop.NetworkManager.PermissionDenied" ||
            result.ErrorName == "org.freedesktop.DBus.Error.AccessDenied")
            throw ERasHangUpDenied(message);
        throw ERasHangUpRefused(message);
    }
    // Deactivating: disconnected from now on, whatever NetworkManager shows meanwhile.
    RewriteLinks([handle, nowMs](TNmLinkTable& current) {
        for (TNmLinkRecord& record : current.Links)
            if (record.Handle == handle && !record.GoneAtMs)
                record.GoneAtMs = nowMs;
    });
    return true;
}
