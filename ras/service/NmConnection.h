#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

// The process's connection to the system bus, or to the bus $ZELTIX_SYSTEM_BUS names (a D-Bus
// address, read afresh at every call as the service folder is): which bus, when it was last
// tried, and the open connection, which a child forked from the process does not share.
struct TNmConnection {
    sd_bus* Bus = nullptr;
    pid_t Pid = 0;       // the process that opened Bus
    std::string Address; // "" for the system bus
    bool AddressKnown = false;
    std::optional<int64_t> LastAttemptMs;
    uint64_t Attempts = 0;

    // The open connection is the parent's, after a fork.
    bool Inherited() const;
    // Takes the bus the setting names now; true when that is another one than the one used,
    // which is then tried at once.
    bool TakeAddress();
    // Whether a bus that could not be reached is tried again at nowMs (the service's time);
    // notes the attempt when it is.
    bool AttemptDue(int64_t nowMs);
    // Opens the connection; false when the bus cannot be reached.
    bool Open();
    void Close();
};
