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
#include <map>
#include <mutex>
#include <optional>

namespace {

// How long a phonebook read waits for NetworkManager's first answers; they come within a few
// milliseconds from a NetworkManager that runs.
constexpr int64_t kFirstEntriesWaitMs = 500;
// How long the links stay as they were while NetworkManager is gone from the bus: a restart
// (an upgrade, systemctl restart) leaves the links up and is back within a few seconds.
constexpr int64_t kNmAbsentHoldMs = 10'000;

// What this process remembers of a link folder's NetworkManager connections between polls.
struct TProcessMemory {
    std::optional<uint64_t> MergedGeneration; // the snapshot the links were last merged with
    std::optional<int64_t> LostAtMs;          // NetworkManager found gone with links up
    struct TCounters {
        uint32_t Speed = 0;
        uint64_t Sent = 0;
        uint64_t Received = 0;
    };
    std::map<HRASCONN, TCounters> Counters; // last read, shown while NetworkManager cannot say
};

std::mutex& MemoryLock()
{
    static std::mutex lock;
    return lock;
}

TProcessMemory& MemoryOf(const std::string& linksPath)
{
    static std::map<std::string, TProcessMemory> memories;
    return memories[linksPath];
}

// The links as stored, showing the counters last read while they are connected.
std::vector<TConnectionView> HeldLinks(const TNmLinkTable& table, const TProcessMemory& memory, int64_t nowMs)
{
    std::vector<TConnectionView> views = StoredNmLinks(table, nowMs);
    for (TConnectionView& view : views) {
        auto it = memory.Counters.find(view.Handle);
        if (view.State == RASCS_Connected && it != memory.Counters.end()) {
            view.Speed = it->second.Speed;
            view.BytesSent = it->second.Sent;
            view.BytesReceived = it->second.Received;
        }
    }
    return views;
}

void RememberCounters(TProcessMemory& memory, const std::vector<TConnectionView>& views)
{
    memory.Counters.clear();
    for (const TConnectionView& view : views)
        if (view.State == RASCS_Connected)
            memory.Counters[view.Handle] = {view.Speed, view.BytesSent, view.BytesReceived};
}

bool HasLiveLinks(const TNmLinkTable& table)
{
    return std::any_of(
        table.Links.begin(), table.Links.end(), [](const TNmLinkRecord& record) { return !record.GoneAtMs; });
}

bool IsDialUp(const TNmProfile& profile)
{
    return profile.Type == "gsm" || profile.Type == "cdma" || profile.Type == "pppoe" ||
        (profile.Type == "bluetooth" && profile.BluetoothType == "dun");
}

// A device that NetworkManager takes as metered (the profile's setting, else its own guess
// from the device: a phone's tethering, a hotspot's vendor flag).
bool IsMetered(const TNmDevice* device)
{
    return device && (device->Metered == kNmMeteredYes || device->Metered == kNmMeteredGuessYes);
}

// Listed at any time: the dial-up profiles and every profile marked metered.
bool IsEntry(const TNmProfile& profile)
{
    return IsDialUp(profile) || profile.Metered == kNmMeteredYes;
}

// Listed now: an entry, or a profile active on a device taken as metered unless the profile
// itself says it is not.
bool IsListed(const TNmProfile& profile, const TNmDevice* device)
{
    return IsEntry(profile) || (profile.Metered != kNmMeteredNo && IsMetered(device));
}

// The names nmcli shows for the device types; a veth end is an Ethernet device to it as well.
std::string DeviceTypeName(uint32_t type)
{
    switch (type) {
    case kNmDeviceEthernet:
    case kNmDeviceVeth:
        return "ethernet";
    case kNmDeviceWifi:
        return "wifi";
    case kNmDeviceBluetooth:
        return "bt";
    case kNmDeviceModem:
        return "gsm";
    case kNmDevicePpp:
        return "ppp";
    default:
        return {};
    }
}

// A profile's type in the same names, for a profile not active on a device now.
std::string ProfileTypeName(const std::string& type)
{
    if (type == "802-3-ethernet")
        return "ethernet";
    if (type == "802-11-wireless")
        return "wifi";
    if (type == "bluetooth")
        return "bt";
    return type.empty() ? "ethernet" : type;
}

// As the pppd backend spells them for the dial-up types; NetworkManager's device type for
// the others.
std::string DeviceType(const TNmProfile& profile, const TNmDevice* device)
{
    if (IsDialUp(profile))
        return profile.Type == "pppoe" ? "PPPoE" : "modem";
    std::string name = device ? DeviceTypeName(device->DeviceType) : std::string();
    return name.empty() ? ProfileTypeName(profile.Type) : name;
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

// What a profile names as its device: for PPPoE the Ethernet interface it runs over, as the
// pppd backend shows it (pppoe.parent, or in older profiles the interface it is bound to), else
// the interface it is bound to, if any.
std::string ProfileDevice(const TNmProfile& profile)
{
    if (profile.Type == "pppoe" && !profile.PppoeParent.empty())
        return AnsiDevice(profile.PppoeParent);
    return AnsiDevice(profile.InterfaceName);
}

// The device NetworkManager runs the active connection on, by its (control) interface: the
// modem's port, the phone's Bluetooth address, the Ethernet or Wi-Fi interface.
const TNmDevice* ActiveDevice(const TNmSnapshot& snapshot, const TNmActiveConnection& active)
{
    for (const std::string& path : active.Devices)
        if (const TNmDevice* device = snapshot.Device(path))
            return device;
    return nullptr;
}

// The device name shown: a PPPoE link's Ethernet parent while connected as well as before (the
// ppp interface NetworkManager creates for it comes and goes), else the active device's.
std::string DeviceName(const TNmProfile& profile, const TNmDevice* device)
{
    if (profile.Type == "pppoe") {
        std::string parent = ProfileDevice(profile);
        if (!parent.empty())
            return parent;
    }
    std::string name = device ? AnsiDevice(device->Interface) : std::string();
    return name.empty() ? ProfileDevice(profile) : name;
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
// which it updates only once asked to (the device is then added to `counted`).
void ReadBytes(const TNmDevice& device, TNmObservedLink& link, std::vector<std::string>& counted)
{
    const std::string& interface = device.IpInterface.empty() ? device.Interface : device.IpInterface;
    if (ReadByteCounters(interface, link.BytesSent, link.BytesReceived))
        return;
    if (!device.HasStatistics)
        return;
    counted.push_back(device.Path);
    link.BytesSent = device.TxBytes;
    link.BytesReceived = device.RxBytes;
}

// The active connections that are entries' connections: those of dial-up and metered
// profiles, and any on a device NetworkManager takes as metered.
std::vector<TNmObservedLink> ObserveLinks(const TNmSnapshot& snapshot)
{
    std::vector<TNmObservedLink> observed;
    std::vector<std::string> counted;
    for (const TNmActiveConnection& active : snapshot.Active) {
        const TNmProfile* profile = ProfileAt(snapshot, active.Connection);
        const TNmDevice* device = ActiveDevice(snapshot, active);
        if (!profile || !IsListed(*profile, device))
            continue;
        std::optional<std::string> name = EntryName(profile->Id);
        if (!name)
            continue;
        TNmObservedLink link;
        link.ActivePath = active.Path;
        // The active connection names its profile's UUID; where it does not, the profile does.
        link.Uuid = active.Uuid.empty() ? profile->Uuid : active.Uuid;
        link.Entry = std::move(*name);
        link.DeviceType = DeviceType(*profile, device);
        link.DeviceName = DeviceName(*profile, device);
        link.State = active.State;
        if (device && active.State == kNmActivated) {
            ReadBytes(*device, link, counted);
            link.Speed = device->Speed;
        }
        observed.push_back(std::move(link));
    }
    TNmBus::Shared().KeepStatistics(counted);
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
    // Every listed profile under its name folded as names compare and its UUID: the order
    // NetworkManager lists them in is the order of its objects, which it numbers afresh at each
    // start in the order it loads the profiles, so the entries are ordered by these instead. Of
    // several profiles with one name the first in that order is the entry.
    std::map<std::pair<std::string, std::string>, TPhonebookEntry> listed;
    for (const TNmProfile& profile : snapshot->Profiles) {
        const TNmActiveConnection* active = nullptr;
        for (const TNmActiveConnection& a : snapshot->Active)
            if (a.Connection == profile.Path && (!active || a.State == kNmActivated))
                active = &a;
        const TNmDevice* device = active ? ActiveDevice(*snapshot, *active) : nullptr;
        if (!IsListed(profile, device))
            continue;
        std::optional<std::string> name = EntryName(profile.Id);
        if (!name)
            continue;
        TPhonebookEntry entry;
        entry.Name = std::move(*name);
        entry.DeviceType = DeviceType(profile, device);
        entry.DeviceName = DeviceName(profile, device);
        entry.Speed = device ? device->Speed : 0;
        listed.emplace(std::make_pair(FoldedEntryName(entry.Name), profile.Uuid), std::move(entry));
    }
    std::vector<TPhonebookEntry> entries;
    for (auto& [key, entry] : listed)
        if (entries.empty() || !SameEntryName(entries.back().Name, entry.Name))
            entries.push_back(std::move(entry));
    return entries;
}

std::vector<TConnectionView> TNmBackend::Observe(int64_t nowMs, TNmLinkTable* tableOut) const
{
    std::shared_ptr<const TNmSnapshot> snapshot = TNmBus::Shared().Snapshot(nowMs);
    TCachedFile file;
    std::optional<TNmLinkTable> stored = ReadLinks(file);
    const bool exists = file.Result == TReadResult::rrOk;
    std::lock_guard<std::mutex> guard(MemoryLock());
    TProcessMemory& memory = MemoryOf(LinksPath());
    // Until NetworkManager has answered, what another process saw stands.
    if (snapshot->Presence == TNmPresence::npLoading) {
        if (tableOut)
            *tableOut = stored.value_or(TNmLinkTable{});
        return stored ? HeldLinks(*stored, memory, nowMs) : std::vector<TConnectionView>{};
    }
    // NetworkManager gone with links up: they stay as they were for a while, since a restarted
    // NetworkManager takes them over; ended and begun again, a session would be charged its
    // first minute twice.
    if (snapshot->Presence == TNmPresence::npAbsent && stored && HasLiveLinks(*stored)) {
        if (tableOut)
            *tableOut = *stored;
        // A process that never saw it here (a rasdial run) cannot tell a restart from
        // NetworkManager gone for good: it lists none of them and leaves them as stored, for a
        // process that saw it to hold or end.
        if (!memory.MergedGeneration) {
            std::vector<TConnectionView> views = StoredNmLinks(*stored, nowMs);
            std::erase_if(views, [](const TConnectionView& view) { return view.State != RASCS_Disconnected; });
            return views;
        }
        if (!memory.LostAtMs || nowMs < *memory.LostAtMs)
            memory.LostAtMs = nowMs;
        if (nowMs - *memory.LostAtMs < kNmAbsentHoldMs)
            return HeldLinks(*stored, memory, nowMs);
    }
    const bool present = snapshot->Presence == TNmPresence::npPresent;
    const bool restarted = present && memory.MergedGeneration && *memory.MergedGeneration != snapshot->Generation;
    if (present) {
        memory.MergedGeneration = snapshot->Generation;
        memory.LostAtMs.reset();
    }
    const std::vector<TNmObservedLink> observed = ObserveLinks(*snapshot);
    // No NetworkManager connection now and none remembered: nothing is read or written.
    if (observed.empty() && (!exists || (stored && stored->Links.empty())))
        return {};
    RefuseUnreadableLinks(file);
    std::vector<TConnectionView> views = StoreMerge(
        stored, [&](TNmLinkTable& table) { return MergeNmLinks(table, observed, nowMs, restarted); }, tableOut);
    RememberCounters(memory, views);
    return views;
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
