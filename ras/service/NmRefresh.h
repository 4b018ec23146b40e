#pragma once

#include "ras/service/NmBus.h"

#include <systemd/sd-bus.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a call to NetworkManager asks for, so that its answer is read as such.
enum class TCallKind {
    ckOwner,
    ckProfiles,
    ckProfile,
    ckActiveList,
    ckActive,
    ckDevice,
    ckSpeed,
    ckStatistics,
    ckRaiseRate, // Statistics' RefreshRateMs set for the counters
    ckPutBack,   // the rate put back to 0 as the process ends
    ckIgnore,
};

// A call a refresh makes next, as an answer names more objects: GetAll of the interface on the
// object, or, without an interface, a profile's GetSettings (Index: its place in the list).
struct TNmRequest {
    TCallKind Kind;
    std::string Path;
    const char* Interface = nullptr;
    size_t Index = 0;
};

// NetworkManager's state being asked afresh: a round of calls whose answers are collected until
// all are in (Pending counts those under way).
struct TNmRefresh {
    uint64_t Round = 0; // the round under way; 0 for none
    uint64_t Rounds = 0;
    int Pending = 0;
    std::vector<std::optional<TNmProfile>> Profiles;
    std::vector<TNmActiveConnection> Active;
    std::map<std::string, TNmDevice> Devices;

    // Starts a new round; what the last one collected is forgotten.
    void Begin();
    // Takes in an answer to a call of the round; returns the calls it asks for next.
    std::vector<TNmRequest> Take(sd_bus_message* m, TCallKind kind, const std::string& path, size_t index);
    // The state the round collected; the round is over.
    std::shared_ptr<TNmSnapshot> Finish();
};
