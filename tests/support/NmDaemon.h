#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <vector>

// What the real NetworkManager of a test has at its edges.
struct TNmDaemonOptions {
    bool RootOnly = false; // only root may deactivate connections or set statistics
    bool Veth = false;     // a veth pair veth0/veth1
    bool Pppd = false;     // pppd's stand-in, so PPPoE profiles activate without kernel PPP
    std::string Modem;     // "gsm" or "cdma": ModemManager's stand-in with one modem cdc-wdm0
};

// Debian's NetworkManager itself, on a bus of its own in a private network and mount namespace
// (tests/support/nm-netns.sh), which becomes the service's system bus (ZELTIX_SYSTEM_BUS) and
// system root (ZELTIX_SYSTEM_ROOT: the namespace's /sys) for the object's lifetime. Everything
// it started ends with it, also after a failed assertion. Unavailable() says why it could not
// be started, for the test to skip.
class TNmDaemon {
public:
    explicit TNmDaemon(const TNmDaemonOptions& options = {});
    ~TNmDaemon();
    TNmDaemon(const TNmDaemon&) = delete;
    TNmDaemon& operator=(const TNmDaemon&) = delete;

    const std::string& Unavailable() const { return FUnavailable; }
    // The bus and the root as seen from outside the namespace.
    const std::string& Address() const { return FAddress; }
    const std::string& Root() const { return FRoot; }
    // The environment a program outside needs to see it.
    std::vector<std::string> Environment() const;

    // Runs the command inside the namespace; its standard output. A failure is a test failure,
    // unless it is expected (mayFail), and then gives "".
    std::string Run(const std::vector<std::string>& argv, bool mayFail = false) const;
    std::string Nmcli(const std::vector<std::string>& args, bool mayFail = false) const;
    // A profile with autoconnect off: nmcli connection add with these settings.
    void AddProfile(const std::string& type, const std::string& name, const std::vector<std::string>& settings);

    // NetworkManager stopped and started again on the same bus, also in two steps; then the
    // bus as well.
    void Restart();
    void Stop();
    void Start();
    void RestartBus();

private:
    std::string Script(const std::vector<std::string>& args, bool mayFail) const;

    TTempDir FDir;
    std::string FUnavailable;
    std::string FAddress;
    std::string FRoot;
    std::vector<std::pair<std::string, std::string>> FOldEnvironment;
    bool FUp = false;
};
