#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the service needs of NetworkManager's state, as its D-Bus objects last showed it. Text is
// UTF-8 as it comes from the bus.
struct TNmProfile {
    std::string Path; // the Settings.Connection object
    std::string Id;
    std::string Uuid; // connection.uuid: the profile's identity, which outlives restarts
    std::string Type; // connection.type: "gsm", "cdma", "pppoe", "bluetooth", ...
    std::string BluetoothType;
    std::string InterfaceName;
    std::string PppoeParent;
    int32_t Metered = 0; // connection.metered: 1 yes, 2 no, 0 (unknown) leaves it to the device
};

// NetworkManager's numbers for the device types and the metered flags the service tells apart.
enum : uint32_t {
    kNmDeviceEthernet = 1,
    kNmDeviceWifi = 2,
    kNmDeviceBluetooth = 5,
    kNmDeviceModem = 8,
    kNmDeviceVeth = 20,
    kNmDevicePpp = 23,
};
enum : uint32_t {
    kNmMeteredYes = 1,
    kNmMeteredNo = 2,
    kNmMeteredGuessYes = 3,
};

struct TNmActiveConnection {
    std::string Path;
    std::string Connection; // the profile's path
    std::string Uuid;       // the profile's
    uint32_t State = 0;
    std::vector<std::string> Devices;
};

struct TNmDevice {
    std::string Path;
    std::string Interface;
    std::string IpInterface;
    uint32_t DeviceType = 0;    // NetworkManager's NM_DEVICE_TYPE_* number
    uint32_t Metered = 0;       // 1 yes, 3 guess-yes: the link costs by the byte or the minute
    uint32_t Speed = 0;         // bits per second, from Wired.Speed or Wireless.Bitrate; 0 unknown
    bool HasStatistics = false; // the Device.Statistics interface answered
    uint32_t RefreshRateMs = 0;
    uint64_t TxBytes = 0;
    uint64_t RxBytes = 0;
};

enum class TNmPresence {
    npAbsent,  // no bus, or no NetworkManager on it: nothing of it exists
    npLoading, // being asked; what the service stored stays as it is meanwhile
    npPresent,
};

struct TNmSnapshot {
    TNmPresence Presence = TNmPresence::npAbsent;
    // Counts NetworkManager's comings and goings in this process: a snapshot of another
    // generation may come from a NetworkManager started afresh, which numbers its objects anew.
    uint64_t Generation = 0;
    std::vector<TNmProfile> Profiles; // in NetworkManager's order
    std::vector<TNmActiveConnection> Active;
    std::vector<TNmDevice> Devices;

    const TNmDevice* Device(const std::string& path) const;
};

// The result of a method call that NetworkManager may refuse.
struct TNmCallResult {
    bool Reached = false;  // false: no bus or no NetworkManager to ask
    std::string ErrorName; // empty when it succeeded
    std::string ErrorMessage;
};

// The process's one connection to the system bus (or to $ZELTIX_SYSTEM_BUS, a D-Bus address,
// read afresh at every call as the service folder is), opened at the first call and kept, and
// what it has learnt of NetworkManager. A poll never waits on the bus for longer than the wait
// budget: it takes in what the bus has sent since the last call (signals mark the state stale
// or update it in place) and, when the state is stale, asks NetworkManager again with calls
// whose answers are collected by this and later polls; until they are all in, the previous
// state stands. A bus that cannot be reached is tried again only every few seconds of the
// service's time, so an absent bus costs a getenv and a comparison per poll. Nothing here
// throws; every call locks, so any thread may call.
class TNmBus {
public:
    static TNmBus& Shared();

    // The state at nowMs (the service's time; without it, the last one given). While
    // NetworkManager's state is not known yet (the first answers after connecting), the call
    // waits up to firstWaitMs for it if that is longer than the wait budget.
    std::shared_ptr<const TNmSnapshot> Snapshot(std::optional<int64_t> nowMs, int64_t firstWaitMs = 0);
    // The devices whose counters come from NetworkManager's Statistics: NetworkManager is asked
    // to update those every second, once per device, and a refresh rate this process raised is
    // put back to 0 for the devices left out, and for all when the process ends. A refusal
    // (PolicyKit's enable-disable-statistics) is said once and not asked again.
    void KeepStatistics(const std::vector<std::string>& devicePaths);
    // NetworkManager's DeactivateConnection, waiting for its answer for up to two seconds, of
    // the active connection at the path if it is the profile's with that UUID; else the answer
    // is NetworkManager's ConnectionNotActive.
    TNmCallResult Deactivate(const std::string& activePath, const std::string& uuid, int64_t nowMs);

    // How long a poll may wait for answers under way; rasdial, which asks once, waits longer.
    void SetWaitBudgetMs(int64_t ms);
    // Connection attempts of this process, for the tests and the benchmark.
    uint64_t ConnectAttempts() const;
    // How often NetworkManager's state was asked for afresh, for the tests.
    uint64_t Refreshes() const;
    // For the tests: waits (up to two seconds) until every signal NetworkManager sent before
    // now is taken in and the state is asked again accordingly. False when that did not
    // happen in time. A wait on the bus itself rather than a replaceable part, so it stays here
    // and not in TServiceSeams.
    bool SyncForTests();

    TNmBus();
    ~TNmBus();
    TNmBus(const TNmBus&) = delete;
    TNmBus& operator=(const TNmBus&) = delete;

    struct TState;

private:
    std::unique_ptr<TState> FState;
};
