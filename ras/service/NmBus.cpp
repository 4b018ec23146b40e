#include "ras/service/NmBus.h"

#include "ras/service/NmConnection.h"
#include "ras/service/NmMessages.h"
#include "ras/service/NmRefresh.h"
#include "ras/service/ReportOnce.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <unistd.h>

namespace {

constexpr int64_t kDefaultWaitMs = 3;
// Answers to the calls of a refresh are collected by later polls; a NetworkManager that has
// not answered by then is taken as not answering.
constexpr uint64_t kRefreshCallUsec = 10'000'000;
constexpr uint64_t kSyncUsec = 2'000'000;
// NetworkManager looks up who set a rate only once it takes the call, and refuses a caller
// that has gone by then; so the process waits this long for the answers before it ends.
constexpr int64_t kPutBackUsec = 1'000'000;

int64_t MonotonicUsec()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// The parts of the state: the connection (TNmConnection), the snapshot shown (Current, with
// what the signals change in it), and the calls under way (TNmRefresh).
struct TNmBus::TState {
    std::mutex Lock;
    TNmConnection Connection;
    int64_t NowMs = 0;
    int64_t WaitMs = kDefaultWaitMs;

    std::shared_ptr<const TNmSnapshot> Current = std::make_shared<const TNmSnapshot>();
    bool OwnerPending = false;
    bool Stale = false; // NetworkManager changed something: ask again
    uint64_t Generation = 0;

    TNmRefresh Refresh;
    // Devices whose refresh rate this process set (or is setting), to be put back to 0.
    std::set<std::string> Raised;
    bool StatisticsRefused = false;
    size_t PutBacksPending = 0;

    struct TCall {
        TState* State;
        uint64_t Round;
        TCallKind Kind;
        std::string Path;
        size_t Index = 0;
        uint64_t Generation = 0;
    };

    void SetPresence(TNmPresence presence)
    {
        if (Current->Presence == presence && presence != TNmPresence::npPresent)
            return;
        auto next = std::make_shared<TNmSnapshot>();
        next->Presence = presence;
        next->Generation = Generation;
        Current = std::move(next);
    }

    void Drop()
    {
        Connection.Close();
        OwnerPending = false;
        Stale = false;
        Refresh.Round = 0;
        ForgetStatistics();
        SetPresence(TNmPresence::npAbsent);
    }

    // A NetworkManager that went away took its refresh rates with it.
    void ForgetStatistics()
    {
        Raised.clear();
        StatisticsRefused = false;
    }

    bool SetRefreshRate(const std::string& device, uint32_t ms, TCallKind kind)
    {
        return Call(kNmName, device.c_str(), kPropertiesInterface, "Set", kind, device, [ms](sd_bus_message* m) {
            return sd_bus_message_append(m, "ssv", kStatisticsInterface, "RefreshRateMs", "u", ms);
        });
    }

    // At the end of the process every rate it raised goes back to 0, and the process waits a
    // bounded time for NetworkManager to have taken them.
    void PutBackRates()
    {
        if (!Connection.Bus || Connection.Inherited())
            return;
        for (const std::string& device : Raised)
            if (SetRefreshRate(device, 0, TCallKind::ckPutBack))
                ++PutBacksPending;
        Raised.clear();
        const int64_t deadline = MonotonicUsec() + kPutBackUsec;
        while (PutBacksPending > 0) {
            const int r = sd_bus_process(Connection.Bus, nullptr);
            if (r < 0)
                break;
            if (r > 0)
                continue;
            const int64_t remaining = deadline - MonotonicUsec();
            if (remaining <= 0 || sd_bus_wait(Connection.Bus, static_cast<uint64_t>(remaining)) < 0)
                break;
        }
        sd_bus_flush(Connection.Bus);
    }

    void Lost()
    {
        Drop();
        Connection.LastAttemptMs = NowMs;
    }

    // Brings the connection in line with the bus setting and the retry time; false when there
    // is none to use now.
    bool EnsureBus()
    {
        if (Connection.Inherited())
            Drop();
        if (Connection.TakeAddress())
            Drop();
        if (Connection.Bus)
            return true;
        if (!Connection.AttemptDue(NowMs))
            return false;
        return Connect();
    }

    bool Connect()
    {
        if (!Connection.Open())
            return false;
        sd_bus* bus = Connection.Bus;
        const char* owner = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                            "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                            "arg0='org.freedesktop.NetworkManager'";
        const char* signals = "type='signal',path_namespace='/org/freedesktop/NetworkManager'";
        if (sd_bus_add_match_async(bus, nullptr, owner, &TState::OnOwnerChanged, nullptr, this) < 0 ||
            sd_bus_add_match_async(bus, nullptr, signals, &TState::OnSignal, nullptr, this) < 0 ||
            !Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
                TCallKind::ckOwner, {}, [](sd_bus_message* m) { return sd_bus_message_append(m, "s", kNmName); })) {
            Lost();
            return false;
        }
        OwnerPending = true;
        ++Generation;
        SetPresence(TNmPresence::npLoading);
        return true;
    }

    bool Call(const char* destination, const char* path, const char* interface, const char* member, TCallKind kind,
        const std::string& objectPath, const std::function<int(sd_bus_message*)>& append, size_t index = 0)
    {
        TMessage m;
        if (sd_bus_message_new_method_call(Connection.Bus, &m.M, destination, path, interface, member) < 0 ||
            (append && append(m.M) < 0))
            return false;
        auto* call = new TCall{this, Refresh.Round, kind, objectPath, index, Generation};
        sd_bus_slot* slot = nullptr;
        if (sd_bus_call_async(Connection.Bus, &slot, m.M, &TState::OnReply, call, kRefreshCallUsec) < 0) {
            delete call;
            return false;
        }
        sd_bus_slot_set_destroy_callback(slot, [](void* p) { delete static_cast<TCall*>(p); });
        sd_bus_slot_set_floating(slot, 1);
        sd_bus_slot_unref(slot);
        if (kind != TCallKind::ckOwner && kind != TCallKind::ckIgnore && kind != TCallKind::ckRaiseRate &&
            kind != TCallKind::ckPutBack)
            ++Refresh.Pending;
        return true;
    }

    bool GetAll(TCallKind kind, const std::string& path, const char* interface)
    {
        return Call(kNmName, path.c_str(), kPropertiesInterface, "GetAll", kind, path,
            [interface](sd_bus_message* m) { return sd_bus_message_append(m, "s", interface); });
    }

    // A call the refresh asks for next.
    void Ask(const TNmRequest& request)
    {
        if (request.Interface)
            GetAll(request.Kind, request.Path, request.Interface);
        else
            Call(kNmName, request.Path.c_str(), kProfileInterface, "GetSettings", request.Kind, request.Path, {},
                request.Index);
    }

    void StartRound()
    {
        Refresh.Begin();
        Stale = false;
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
        Refresh.Round = 0;
        // Without an answer nothing of it can be shown; a later signal asks again.
        if (Current->Presence == TNmPresence::npLoading)
            SetPresence(TNmPresence::npAbsent);
    }

    void FinishRound()
    {
        std::shared_ptr<TNmSnapshot> next = Refresh.Finish();
        next->Generation = Generation;
        Current = std::move(next);
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
        if (call.Kind == TCallKind::ckPutBack) {
            --PutBacksPending;
            return 0;
        }
        if (call.Kind == TCallKind::ckRaiseRate) {
            if (call.Generation == Generation)
                RateRaised(m, call.Path, failed);
            return 0;
        }
        if (call.Kind == TCallKind::ckOwner) {
            OwnerPending = false;
            if (failed) {
                SetPresence(TNmPresence::npAbsent);
            } else {
                Stale = true;
            }
            return 0;
        }
        if (call.Round != Refresh.Round || Refresh.Round == 0)
            return 0;
        --Refresh.Pending;
        if (failed) {
            // An object that went away meanwhile is left out; the lists must answer.
            if (call.Kind == TCallKind::ckProfiles || call.Kind == TCallKind::ckActiveList) {
                const sd_bus_error* error = sd_bus_message_get_error(m);
                Fail(std::string(error && error->name ? error->name : "error") + ": " +
                    (error && error->message ? error->message : ""));
                return 0;
            }
        } else {
            for (const TNmRequest& request : Refresh.Take(m, call.Kind, call.Path, call.Index))
                Ask(request);
        }
        if (Refresh.Round != 0 && Refresh.Pending == 0)
            FinishRound();
        return 0;
    }

    void RateRaised(sd_bus_message* m, const std::string& device, bool failed)
    {
        if (!failed)
            return;
        Raised.erase(device);
        // No answer from NetworkManager (it went away, or the call timed out) is no refusal:
        // the rate is asked for again at the next poll.
        static constexpr const char* kNoAnswer[] = {"org.freedesktop.DBus.Error.NoReply",
            "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
            "org.freedesktop.DBus.Error.Disconnected", "org.freedesktop.DBus.Error.Timeout"};
        if (std::any_of(std::begin(kNoAnswer), std::end(kNoAnswer),
                [m](const char* name) { return sd_bus_message_is_method_error(m, name) > 0; }))
            return;
        // PolicyKit allows enable-disable-statistics to active local sessions only; the
        // counters then come from the kernel wherever the interface is visible.
        const sd_bus_error* error = sd_bus_message_get_error(m);
        StatisticsRefused = true;
        ReportOnce("statistics",
            "NetworkManager refused to count the bytes of its devices every second (" +
                std::string(error && error->name ? error->name : "error") + ": " +
                (error && error->message ? error->message : "") +
                "): the bytes of a connection whose interface is not visible here stay as NetworkManager last "
                "counted them");
    }

    static int OnOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* state = static_cast<TState*>(userdata);
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0)
            return 0;
        state->Refresh.Round = 0;
        state->ForgetStatistics();
        ++state->Generation;
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
        if (state->Refresh.Round == 0 && member && std::strcmp(member, "PropertiesChanged") == 0 &&
            state->TakeInPlace(m))
            return 0;
        if (sd_bus_message_rewind(m, 1) < 0 || ChangesWhatIsShown(m, *state->Current))
            state->Stale = true;
        return 0;
    }

    bool TakeInPlace(sd_bus_message* m)
    {
        std::shared_ptr<const TNmSnapshot> next = UpdatedInPlace(m, *Current);
        if (!next)
            return false;
        Current = std::move(next);
        return true;
    }

    bool Busy() const { return OwnerPending || Refresh.Round != 0 || Stale; }

    // Takes in what the bus has sent and starts a refresh when one is due; waits for answers
    // under way for up to budgetUsec.
    void Pump(int64_t budgetUsec)
    {
        const int64_t deadline = MonotonicUsec() + budgetUsec;
        for (;;) {
            int r = sd_bus_process(Connection.Bus, nullptr);
            if (r < 0 || sd_bus_is_open(Connection.Bus) <= 0) {
                Lost();
                return;
            }
            if (r > 0)
                continue;
            if (Stale && Refresh.Round == 0 && !OwnerPending)
                StartRound();
            if (!OwnerPending && Refresh.Round == 0)
                return;
            int64_t remaining = deadline - MonotonicUsec();
            if (remaining <= 0)
                return;
            if (sd_bus_wait(Connection.Bus, static_cast<uint64_t>(remaining)) < 0) {
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
    FState->PutBackRates();
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

void TNmBus::KeepStatistics(const std::vector<std::string>& devicePaths)
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    TState& state = *FState;
    if (!state.Connection.Bus)
        return;
    const std::set<std::string> wanted(devicePaths.begin(), devicePaths.end());
    for (auto it = state.Raised.begin(); it != state.Raised.end();) {
        if (wanted.contains(*it)) {
            ++it;
            continue;
        }
        state.SetRefreshRate(*it, 0, TCallKind::ckIgnore);
        it = state.Raised.erase(it);
    }
    if (state.StatisticsRefused)
        return;
    for (const std::string& device : wanted) {
        // Counting already: a rate someone else set is theirs, neither raised nor put back. A
        // rate this process raised and another one put back meanwhile is raised again.
        const TNmDevice* shown = state.Current->Device(device);
        if (shown && shown->RefreshRateMs != 0)
            continue;
        state.Raised.insert(device);
        state.SetRefreshRate(device, 1000, TCallKind::ckRaiseRate);
    }
}

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
        FState->Connection.Bus, activePath.c_str(), kPropertiesInterface, "Get",
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
        FState->Connection.Bus, kNmPath, kNmInterface, "DeactivateConnection",
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
    return FState->Connection.Attempts;
}

uint64_t TNmBus::Refreshes() const
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    return FState->Refresh.Rounds;
}

bool TNmBus::SyncForTests()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (!FState->EnsureBus())
        return true;
    const int64_t deadline = MonotonicUsec() + kSyncUsec;
    // The answer comes after every signal NetworkManager sent before it.
    TMessage ping;
    if (sd_bus_message_new_method_call(
            FState->Connection.Bus, &ping.M, kNmName, kNmPath, "org.freedesktop.DBus.Peer", "Ping") >= 0)
        sd_bus_call(FState->Connection.Bus, ping.M, kSyncUsec, nullptr, nullptr);
    // What came before the answer is taken in first: only then is it known what to ask.
    do {
        int64_t remaining = deadline - MonotonicUsec();
        if (remaining <= 0)
            return false;
        FState->Pump(remaining);
    } while (FState->Connection.Bus && FState->Busy());
    return true;
}
