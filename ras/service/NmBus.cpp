#include "ras/service/NmBus.h"

#include "ras/service/ReportOnce.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unistd.h>

namespace {

constexpr const char* kNmName = "org.freedesktop.NetworkManager";
constexpr const char* kNmPath = "/org/freedesktop/NetworkManager";
constexpr const char* kNmInterface = "org.freedesktop.NetworkManager";
constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
constexpr const char* kSettingsInterface = "org.freedesktop.NetworkManager.Settings";
constexpr const char* kProfileInterface = "org.freedesktop.NetworkManager.Settings.Connection";
constexpr const char* kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";
constexpr const char* kDeviceInterface = "org.freedesktop.NetworkManager.Device";
constexpr const char* kStatisticsInterface = "org.freedesktop.NetworkManager.Device.Statistics";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// A bus that could not be reached is tried again after this much of the service's time.
constexpr int64_t kRetryMs = 5000;
constexpr int64_t kDefaultWaitMs = 3;
// Answers to the calls of a refresh are collected by later polls; a NetworkManager that has
// not answered by then is taken as not answering.
constexpr uint64_t kRefreshCallUsec = 10'000'000;
constexpr uint64_t kDeactivateUsec = 2'000'000;
constexpr uint64_t kSyncUsec = 2'000'000;

int64_t MonotonicUsec()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum class TCallKind {
    ckOwner,
    ckProfiles,
    ckProfile,
    ckActiveList,
    ckActive,
    ckDevice,
    ckStatistics,
    ckIgnore,
};

struct TMessage {
    sd_bus_message* M = nullptr;
    ~TMessage() { sd_bus_message_unref(M); }
};

// Reads a variant of the given contents into `read`, or skips it.
bool ReadVariant(sd_bus_message* m, const char* contents, const std::function<int()>& read)
{
    if (sd_bus_message_enter_container(m, 'v', contents) <= 0) {
        sd_bus_message_skip(m, "v");
        return false;
    }
    bool ok = read() >= 0;
    sd_bus_message_exit_container(m);
    return ok;
}

bool ReadString(sd_bus_message* m, std::string& out, char type = 's')
{
    const char* text = nullptr;
    if (sd_bus_message_read_basic(m, type, &text) <= 0 || !text)
        return false;
    out = text;
    return true;
}

bool VariantString(sd_bus_message* m, std::string& out, const char* contents = "s")
{
    return ReadVariant(m, contents, [&]() { return ReadString(m, out, contents[0]) ? 0 : -1; });
}

// An "ao" at the read position.
bool ReadPaths(sd_bus_message* m, std::vector<std::string>& out)
{
    if (sd_bus_message_enter_container(m, 'a', "o") <= 0)
        return false;
    std::string path;
    while (ReadString(m, path, 'o'))
        out.push_back(path);
    return sd_bus_message_exit_container(m) >= 0;
}

// An a{sv} at the read position; onEntry reads or skips the variant of each key. False when
// onEntry refused a key or the message is not such a dictionary.
bool ReadDictionary(sd_bus_message* m, const std::function<bool(const std::string&)>& onEntry)
{
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0)
        return false;
    bool ok = true;
    int r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        std::string key;
        if (!ReadString(m, key) || !onEntry(key))
            ok = false;
        if (sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0 && ok;
}

bool SkipVariant(sd_bus_message* m)
{
    return sd_bus_message_skip(m, "v") >= 0;
}

// GetSettings: a{sa{sv}}, of which the few keys the phonebook needs.
bool ReadProfile(sd_bus_message* m, TNmProfile& profile)
{
    if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") <= 0)
        return false;
    int r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
        std::string setting;
        if (!ReadString(m, setting))
            return false;
        bool ok = ReadDictionary(m, [&](const std::string& key) {
            std::string* field = nullptr;
            if (setting == "connection" && key == "id")
                field = &profile.Id;
            else if (setting == "connection" && key == "uuid")
                field = &profile.Uuid;
            else if (setting == "connection" && key == "type")
                field = &profile.Type;
            else if (setting == "connection" && key == "interface-name")
                field = &profile.InterfaceName;
            else if (setting == "bluetooth" && key == "type")
                field = &profile.BluetoothType;
            else if (setting == "pppoe" && key == "parent")
                field = &profile.PppoeParent;
            if (field)
                VariantString(m, *field);
            else
                SkipVariant(m);
            return true;
        });
        if (!ok || sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0;
}

} // namespace

const TNmDevice* TNmSnapshot::Device(const std::string& path) const
{
    for (const TNmDevice& device : Devices)
        if (device.Path == path)
            return &device;
    return nullptr;
}

struct TNmBus::TState {
    std::mutex Lock;
    sd_bus* Bus = nullptr;
    pid_t Pid = 0;
    std::string Address;
    bool AddressKnown = false;
    int64_t NowMs = 0;
    std::optional<int64_t> LastAttemptMs;
    uint64_t Attempts = 0;
    int64_t WaitMs = kDefaultWaitMs;

    std::shared_ptr<const TNmSnapshot> Current = std::make_shared<const TNmSnapshot>();
    bool OwnerPending = false;
    bool Stale = false; // NetworkManager changed something: ask again

    // The refresh under way, if any.
    uint64_t Round = 0;
    uint64_t Rounds = 0;
    int Pending = 0;
    std::vector<std::optional<TNmProfile>> Profiles;
    std::vector<TNmActiveConnection> Active;
    std::map<std::string, TNmDevice> Devices;

    std::set<std::string> Watched; // devices asked for statistics

    struct TCall {
        TState* State;
        uint64_t Round;
        TCallKind Kind;
        std::string Path;
        size_t Index = 0;
    };

    void SetPresence(TNmPresence presence)
    {
        if (Current->Presence == presence && presence != TNmPresence::npPresent)
            return;
        auto next = std::make_shared<TNmSnapshot>();
        next->Presence = presence;
        Current = std::move(next);
    }

    void Drop()
    {
        if (Bus) {
            // After a fork the parent's connection is not this process's to close.
            if (Pid == ::getpid())
                sd_bus_close_unref(Bus);
            Bus = nullptr;
        }
        OwnerPending = false;
        Stale = false;
        Round = 0;
        Watched.clear();
        SetPresence(TNmPresence::npAbsent);
    }

    void Lost()
    {
        Drop();
        LastAttemptMs = NowMs;
    }

    // Brings the connection in line with the bus setting and the retry time; false when there
    // is none to use now.
    bool EnsureBus()
    {
        if (Bus && Pid != ::getpid())
            Drop();
        const char* env = std::getenv("ZELTIX_SYSTEM_BUS");
        std::string_view address = env ? env : "";
        if (!AddressKnown || address != Address) {
            Drop();
            Address = address;
            AddressKnown = true;
            LastAttemptMs.reset();
        }
        if (Bus)
            return true;
        // A clock that went back (another test, another time source) does not stall retries.
        if (LastAttemptMs && NowMs >= *LastAttemptMs && NowMs < *LastAttemptMs + kRetryMs)
            return false;
        LastAttemptMs = NowMs;
        return Connect();
    }

    bool Connect()
    {
        ++Attempts;
        sd_bus* bus = nullptr;
        int r;
        if (Address.empty()) {
            r = sd_bus_open_system(&bus);
        } else {
            r = sd_bus_new(&bus);
            if (r >= 0)
                r = sd_bus_set_address(bus, Address.c_str());
            if (r >= 0)
                r = sd_bus_set_bus_client(bus, 1);
            if (r >= 0)
                r = sd_bus_start(bus);
            if (r == -EINVAL)
                ReportOnce("address " + Address,
                    "ZELTIX_SYSTEM_BUS=" + Address +
                        " is no D-Bus address: NetworkManager's connections are not shown");
        }
        if (r < 0) {
            sd_bus_unref(bus);
            return false;
        }
        Bus = bus;
        Pid = ::getpid();
        const char* owner = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                            "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                            "arg0='org.freedesktop.NetworkManager'";
        const char* signals = "type='signal',path_namespace='/org/freedesktop/NetworkManager'";
        if (sd_bus_add_match_async(Bus, nullptr, owner, &TState::OnOwnerChanged, nullptr, this) < 0 ||
            sd_bus_add_match_async(Bus, nullptr, signals, &TState::OnSignal, nullptr, this) < 0 ||
            !Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
                TCallKind::ckOwner, {}, [](sd_bus_message* m) { return sd_bus_message_append(m, "s", kNmName); })) {
            Lost();
            return false;
        }
        OwnerPending = true;
        SetPresence(TNmPresence::npLoading);
        return true;
    }

    bool Call(const char* destination, const char* path, const char* interface, const char* member, TCallKind kind,
        const std::string& objectPath, const std::function<int(sd_bus_message*)>& append, size_t index = 0)
    {
        TMessage m;
        if (sd_bus_message_new_method_call(Bus, &m.M, destination, path, interface, member) < 0 ||
            (append && append(m.M) < 0))
            return false;
        auto* call = new TCall{this, Round, kind, objectPath, index};
        sd_bus_slot* slot = nullptr;
        if (sd_bus_call_async(Bus, &slot, m.M, &TState::OnReply, call, kRefreshCallUsec) < 0) {
            delete call;
            return false;
        }
        sd_bus_slot_set_destroy_callback(slot, [](void* p) { delete static_cast<TCall*>(p); });
        sd_bus_slot_set_floating(slot, 1);
        sd_bus_slot_unref(slot);
        if (kind != TCallKind::ckOwner && kind != TCallKind::ckIgnore)
            ++Pending;
        return true;
    }

    bool GetAll(TCallKind kind, const std::string& path, const char* interface)
    {
        return Call(kNmName, path.c_str(), kPropertiesInterface, "GetAll", kind, path,
            [interface](sd_bus_message* m) { return sd_bus_message_append(m, "s", interface); });
    }

    void StartRound()
    {
        Round = ++Rounds;
        Pending = 0;
        Stale = false;
        Profiles.clear();
        Active.clear();
        Devices.clear();
        bool sent =
            Call(kNmName, kSettingsPath, kSettingsInterface, "ListConnections", TCallKind::ckProfiles, {}, {}) &&
            Call(kNmName, kNmPath, kPropertiesInterface, "Get", TCallKind::ckActiveList, {},
                [](sd_bus_message* m) { return sd_bus_message_append(m, "ss", kNmInterface, "ActiveConnections"); });
        if (!sent)
            Fail("the calls could not be sent");
    }

    void Fail(const std::string& why)
    {
        ReportOnce("refresh", "NetworkManager's state could not be read (" + why + "): its connections are not shown");
        Round = 0;
        // Without an answer nothing of it can be shown; a later signal asks again.
        if (Current->Presence == TNmPresence::npLoading)
            SetPresence(TNmPresence::npAbsent);
    }

    void FinishRound()
    {
        auto next = std::make_shared<TNmSnapshot>();
        next->Presence = TNmPresence::npPresent;
        for (std::optional<TNmProfile>& profile : Profiles)
            if (profile)
                next->Profiles.push_back(std::move(*profile));
        next->Active = std::move(Active);
        for (auto& [path, device] : Devices)
            next->Devices.push_back(std::move(device));
        Current = std::move(next);
        Round = 0;
    }

    static int OnReply(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* call = static_cast<TCall*>(userdata);
        return call->State->Reply(m, *call);
    }

    int Reply(sd_bus_message* m, const TCall& call)
    {
        const bool failed = sd_bus_message_is_method_error(m, nullptr);
        if (call.Kind == TCallKind::ckIgnore)
            return 0;
        if (call.Kind == TCallKind::ckOwner) {
            OwnerPending = false;
            if (failed) {
                SetPresence(TNmPresence::npAbsent);
            } else {
                Stale = true;
            }
            return 0;
        }
        if (call.Round != Round || Round == 0)
            return 0;
        --Pending;
        if (failed) {
            // An object that went away meanwhile is left out; the lists must answer.
            if (call.Kind == TCallKind::ckProfiles || call.Kind == TCallKind::ckActiveList) {
                const sd_bus_error* error = sd_bus_message_get_error(m);
                Fail(std::string(error && error->name ? error->name : "error") + ": " +
                    (error && error->message ? error->message : ""));
                return 0;
            }
        } else {
            Take(m, call);
        }
        if (Round != 0 && Pending == 0)
            FinishRound();
        return 0;
    }

    void Take(sd_bus_message* m, const TCall& call)
    {
        switch (call.Kind) {
        case TCallKind::ckProfiles: {
            std::vector<std::string> paths;
            if (!ReadPaths(m, paths))
                return;
            Profiles.resize(paths.size());
            for (size_t i = 0; i < paths.size(); ++i)
                Call(
                    kNmName, paths[i].c_str(), kProfileInterface, "GetSettings", TCallKind::ckProfile, paths[i], {}, i);
            break;
        }
        case TCallKind::ckProfile: {
            TNmProfile profile;
            profile.Path = call.Path;
            if (call.Index < Profiles.size() && ReadProfile(m, profile))
                Profiles[call.Index] = std::move(profile);
            break;
        }
        case TCallKind::ckActiveList: {
            std::vector<std::string> paths;
            if (sd_bus_message_enter_container(m, 'v', "ao") <= 0 || !ReadPaths(m, paths))
                return;
            for (const std::string& path : paths)
                GetAll(TCallKind::ckActive, path, kActiveInterface);
            break;
        }
        case TCallKind::ckActive: {
            TNmActiveConnection active;
            active.Path = call.Path;
            bool ok = ReadDictionary(m, [&](const std::string& key) {
                if (key == "Connection")
                    VariantString(m, active.Connection, "o");
                else if (key == "Uuid")
                    VariantString(m, active.Uuid);
                else if (key == "State")
                    ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &active.State); });
                else if (key == "Devices")
                    ReadVariant(m, "ao", [&]() { return ReadPaths(m, active.Devices) ? 0 : -1; });
                else
                    SkipVariant(m);
                return true;
            });
            if (!ok)
                return;
            for (const std::string& device : active.Devices) {
                if (Devices.count(device))
                    continue;
                Devices[device].Path = device;
                GetAll(TCallKind::ckDevice, device, kDeviceInterface);
                GetAll(TCallKind::ckStatistics, device, kStatisticsInterface);
            }
            Active.push_back(std::move(active));
            break;
        }
        case TCallKind::ckDevice: {
            TNmDevice& device = Devices[call.Path];
            ReadDictionary(m, [&](const std::string& key) {
                if (key == "Interface")
                    VariantString(m, device.Interface);
                else if (key == "IpInterface")
                    VariantString(m, device.IpInterface);
                else
                    SkipVariant(m);
                return true;
            });
            break;
        }
        case TCallKind::ckStatistics: {
            TNmDevice& device = Devices[call.Path];
            device.HasStatistics = ReadStatistics(m, device);
            break;
        }
        default:
            break;
        }
    }

    static bool ReadStatistics(sd_bus_message* m, TNmDevice& device)
    {
        return ReadDictionary(m, [&](const std::string& key) {
            if (key == "TxBytes")
                ReadVariant(m, "t", [&]() { return sd_bus_message_read_basic(m, 't', &device.TxBytes); });
            else if (key == "RxBytes")
                ReadVariant(m, "t", [&]() { return sd_bus_message_read_basic(m, 't', &device.RxBytes); });
            else if (key == "RefreshRateMs")
                ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &device.RefreshRateMs); });
            else
                SkipVariant(m);
            return true;
        });
    }

    static int OnOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* state = static_cast<TState*>(userdata);
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0)
            return 0;
        state->Round = 0;
        state->Watched.clear();
        if (!newOwner || !*newOwner) {
            state->Stale = false;
            state->SetPresence(TNmPresence::npAbsent);
        } else {
            state->Stale = true;
            state->SetPresence(TNmPresence::npLoading);
        }
        return 0;
    }

    static int OnSignal(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* state = static_cast<TState*>(userdata);
        if (state->Current->Presence == TNmPresence::npAbsent && !state->OwnerPending)
            return 0;
        const char* member = sd_bus_message_get_member(m);
        // Only NetworkManager's own interfaces say that something changed (a test double's
        // call log, for one, does not).
        const char* interface = sd_bus_message_get_interface(m);
        if (!interface ||
            (!std::string_view(interface).starts_with(kNmInterface) &&
                std::strcmp(interface, kPropertiesInterface) != 0))
            return 0;
        if (state->Round == 0 && member && std::strcmp(member, "PropertiesChanged") == 0 && state->UpdateInPlace(m))
            return 0;
        if (sd_bus_message_rewind(m, 1) < 0 || state->ChangesWhatIsShown(m))
            state->Stale = true;
        return 0;
    }

    // Whether the signal changes the profiles, the active connections or their devices'
    // interfaces. NetworkManager reports much else (access points' signal strength, Wi-Fi scans,
    // addresses), several times a minute on a laptop; none of it is asked for again.
    bool ChangesWhatIsShown(sd_bus_message* m) const
    {
        const char* memberText = sd_bus_message_get_member(m);
        const char* interfaceText = sd_bus_message_get_interface(m);
        if (!memberText || !interfaceText)
            return false;
        const std::string_view member = memberText;
        const std::string_view interface = interfaceText;
        if (member != "PropertiesChanged")
            // NewConnection and ConnectionRemoved of the settings, Updated and Removed of a profile.
            return interface == kSettingsInterface || interface == kProfileInterface;
        std::string changed(interface);
        if (changed == kPropertiesInterface && !ReadString(m, changed))
            return true;
        std::set<std::string> keys;
        if (!ReadDictionary(m, [&](const std::string& key) {
                keys.insert(key);
                SkipVariant(m);
                return true;
            }))
            return true;
        if (changed == kNmInterface)
            return keys.contains("ActiveConnections");
        if (changed == kSettingsInterface)
            return keys.contains("Connections");
        if (changed == kActiveInterface)
            return keys.contains("State") || keys.contains("Connection") || keys.contains("Devices");
        if (changed == kDeviceInterface) {
            const char* path = sd_bus_message_get_path(m);
            return (keys.contains("Interface") || keys.contains("IpInterface")) && path && Current->Device(path);
        }
        return false;
    }

    // State changes of an active connection and new counters of a device, the changes that
    // come most often, are taken from the signal itself; anything else is asked again.
    bool UpdateInPlace(sd_bus_message* m)
    {
        const char* interface = sd_bus_message_get_interface(m);
        const char* pathText = sd_bus_message_get_path(m);
        if (!interface || !pathText || Current->Presence != TNmPresence::npPresent)
            return false;
        const std::string path = pathText;
        std::string changed = interface;
        if (changed == kPropertiesInterface && !ReadString(m, changed))
            return false;
        auto next = std::make_shared<TNmSnapshot>(*Current);
        if (changed == kActiveInterface) {
            auto it = std::find_if(next->Active.begin(), next->Active.end(),
                [&path](const TNmActiveConnection& a) { return a.Path == path; });
            if (it == next->Active.end())
                return false;
            bool ok = ReadDictionary(m, [&](const std::string& key) {
                if (key == "State")
                    return ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &it->State); });
                SkipVariant(m);
                return key == "StateFlags";
            });
            if (!ok)
                return false;
        } else if (changed == kStatisticsInterface) {
            auto it = std::find_if(
                next->Devices.begin(), next->Devices.end(), [&path](const TNmDevice& d) { return d.Path == path; });
            if (it == next->Devices.end() || !ReadStatistics(m, *it))
                return false;
            it->HasStatistics = true;
        } else {
            return false;
        }
        Current = std::move(next);
        return true;
    }

    bool Busy() const { return OwnerPending || Round != 0 || Stale; }

    // Takes in what the bus has sent and starts a refresh when one is due; waits for answers
    // under way for up to budgetUsec.
    void Pump(int64_t budgetUsec)
    {
        const int64_t deadline = MonotonicUsec() + budgetUsec;
        for (;;) {
            int r = sd_bus_process(Bus, nullptr);
            if (r < 0 || sd_bus_is_open(Bus) <= 0) {
                Lost();
                return;
            }
            if (r > 0)
                continue;
            if (Stale && Round == 0 && !OwnerPending)
                StartRound();
            if (!OwnerPending && Round == 0)
                return;
            int64_t remaining = deadline - MonotonicUsec();
            if (remaining <= 0)
                return;
            if (sd_bus_wait(Bus, static_cast<uint64_t>(remaining)) < 0) {
                Lost();
                return;
            }
        }
    }
};

TNmBus& TNmBus::Shared()
{
    static TNmBus bus;
    return bus;
}

TNmBus::TNmBus()
    : FState(std::make_unique<TState>())
{
}

TNmBus::~TNmBus()
{
    FState->Drop();
}

std::shared_ptr<const TNmSnapshot> TNmBus::Snapshot(std::optional<int64_t> nowMs, int64_t firstWaitMs)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (nowMs)
        FState->NowMs = *nowMs;
    if (FState->EnsureBus()) {
        const bool first = FState->Current->Presence == TNmPresence::npLoading;
        FState->Pump(std::max(FState->WaitMs, first ? firstWaitMs : 0) * 1000);
    }
    return FState->Current;
}

void TNmBus::WatchStatistics(const std::string& devicePath)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (!FState->Bus || !FState->Watched.insert(devicePath).second)
        return;
    FState->Call(kNmName, devicePath.c_str(), kPropertiesInterface, "Set", TCallKind::ckIgnore, devicePath,
        [](sd_bus_message* m) {
            return sd_bus_message_append(m, "ssv", kStatisticsInterface, "RefreshRateMs", "u", uint32_t{1000});
        });
}

namespace {

// A method call of NetworkManager's, waiting for its answer for up to two seconds; reply is
// its answer when it succeeded.
TNmCallResult CallNow(sd_bus* bus, const char* path, const char* interface, const char* member,
    const std::function<int(sd_bus_message*)>& append, TMessage& reply)
{
    TNmCallResult result;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    TMessage call;
    int r = sd_bus_message_new_method_call(bus, &call.M, kNmName, path, interface, member);
    if (r >= 0)
        r = append(call.M);
    if (r >= 0)
        r = sd_bus_call(bus, call.M, kDeactivateUsec, &error, &reply.M);
    if (r >= 0) {
        result.Reached = true;
    } else if (sd_bus_error_is_set(&error) &&
        !sd_bus_error_has_name(&error, "org.freedesktop.DBus.Error.ServiceUnknown") &&
        !sd_bus_error_has_name(&error, "org.freedesktop.DBus.Error.NameHasNoOwner")) {
        result.Reached = true;
        result.ErrorName = error.name;
        result.ErrorMessage = error.message ? error.message : "";
    }
    sd_bus_error_free(&error);
    return result;
}

} // namespace

TNmCallResult TNmBus::Deactivate(const std::string& activePath, const std::string& uuid, int64_t nowMs)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->NowMs = nowMs;
    if (!FState->EnsureBus())
        return {};
    // A NetworkManager that restarted may have given the path to another profile's connection
    // before this process heard of it: only a connection of the link's own profile is ended.
    TMessage reply;
    TNmCallResult result = CallNow(
        FState->Bus, activePath.c_str(), kPropertiesInterface, "Get",
        [](sd_bus_message* m) { return sd_bus_message_append(m, "ss", kActiveInterface, "Uuid"); }, reply);
    std::string current;
    const bool gone = result.ErrorName.starts_with("org.freedesktop.DBus.Error.Unknown") ||
        result.ErrorName == "org.freedesktop.DBus.Error.InvalidArgs";
    if (gone ||
        (result.Reached && result.ErrorName.empty() && VariantString(reply.M, current) && !current.empty() &&
            current != uuid))
        return {true, "org.freedesktop.NetworkManager.ConnectionNotActive", {}};
    if (!result.Reached || !result.ErrorName.empty())
        return result;
    TMessage answer;
    return CallNow(
        FState->Bus, kNmPath, kNmInterface, "DeactivateConnection",
        [&activePath](sd_bus_message* m) { return sd_bus_message_append(m, "o", activePath.c_str()); }, answer);
}

void TNmBus::SetWaitBudgetMs(int64_t ms)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->WaitMs = std::max<int64_t>(0, ms);
}

uint64_t TNmBus::ConnectAttempts() const
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    return FState->Attempts;
}

uint64_t TNmBus::Refreshes() const
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    return FState->Rounds;
}

bool TNmBus::SyncForTests()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (!FState->EnsureBus())
        return true;
    const int64_t deadline = MonotonicUsec() + kSyncUsec;
    // The answer comes after every signal NetworkManager sent before it.
    TMessage ping;
    if (sd_bus_message_new_method_call(FState->Bus, &ping.M, kNmName, kNmPath, "org.freedesktop.DBus.Peer", "Ping") >=
        0)
        sd_bus_call(FState->Bus, ping.M, kSyncUsec, nullptr, nullptr);
    // What came before the answer is taken in first: only then is it known what to ask.
    do {
        int64_t remaining = deadline - MonotonicUsec();
        if (remaining <= 0)
            return false;
        FState->Pump(remaining);
    } while (FState->Bus && FState->Busy());
    return true;
}
