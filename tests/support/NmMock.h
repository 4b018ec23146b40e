#pragma once

#include "tests/support/TempDir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct sd_bus;

// NetworkManager for a test: python3-dbusmock's NetworkManager on a D-Bus daemon of its own,
// which becomes the service's system bus (ZELTIX_SYSTEM_BUS) for the mock's lifetime. Both
// processes are ended when it goes, also after a failed assertion. The test drives the mock
// through its own bus connection; a call the mock refuses throws std::runtime_error.
// Unavailable() says why the mock could not be started, for the test to skip.
class TNmMock {
public:
    TNmMock();
    ~TNmMock();
    TNmMock(const TNmMock&) = delete;
    TNmMock& operator=(const TNmMock&) = delete;

    const std::string& Unavailable() const { return FUnavailable; }
    const std::string& Address() const { return FAddress; }

    // A profile: connection.id and connection.type, and more settings as "setting.key" = value.
    std::string AddProfile(const std::string& id, const std::string& type,
        const std::vector<std::pair<std::string, std::string>>& more = {});
    // A device with its control interface and the interface that carries the traffic, not
    // metered.
    std::string AddDevice(const std::string& name, const std::string& interface, const std::string& ipInterface);
    // Device.Statistics on the device, as NetworkManager has it.
    void AddStatistics(const std::string& device, uint64_t txBytes, uint64_t rxBytes);
    void SetStatistics(const std::string& device, uint64_t txBytes, uint64_t rxBytes);
    uint32_t StatisticsRefreshRate(const std::string& device);
    // The device's Metered, NetworkManager's verdict on it (1 yes, 2 no, 3 guess-yes, 4 guess-no).
    void SetMetered(const std::string& device, uint32_t metered);
    // An active connection of the profile on the device (none for ""), in that NetworkManager state.
    std::string Activate(
        const std::string& profile, const std::string& device, const std::string& name, uint32_t state);
    void SetState(const std::string& active, uint32_t state);
    // Deactivated from outside (nmcli, the modem unplugged): NetworkManager forgets it.
    void Remove(const std::string& device, const std::string& active);
    // From now on DeactivateConnection answers with this D-Bus error; with "", it deactivates
    // again.
    void RefuseDeactivation(const std::string& errorName, const std::string& message);
    // Sets an unsigned property of an object, which NetworkManager then reports as changed.
    void SetUnsigned(const std::string& path, const std::string& interface, const std::string& name, uint32_t value);
    // From now on the list of profiles is answered only after this long, as a busy
    // NetworkManager answers.
    void AnswerListingAfter(int ms);
    // The calls NetworkManager's main object received, as "Method firstArgument".
    std::vector<std::string> Calls();

    void StopNetworkManager();
    // A NetworkManager that knows nothing of an earlier one and numbers its objects from the
    // start again, as the daemon after a restart; Unavailable() says if it did not come up.
    void StartNetworkManager();
    void StopBus();

private:
    void Call(const std::string& path, const std::string& interface, const std::string& member, const char* types, ...);
    std::string Spawn(const std::vector<std::string>& argv, pid_t& pid, const std::string& log);
    bool WaitForName(const std::string& name);

    TTempDir FDir;
    std::string FUnavailable;
    std::string FAddress;
    std::string FOldBus;
    bool FHadBus = false;
    pid_t FDaemon = -1;
    pid_t FMock = -1;
    sd_bus* FBus = nullptr;
    std::string FLastPath; // what the last call returned, when it returned an object path or string
};

// The states of NetworkManager's active connections, as the mock is given them.
constexpr uint32_t kActivating = 1;
constexpr uint32_t kActivated = 2;
constexpr uint32_t kDeactivating = 3;
