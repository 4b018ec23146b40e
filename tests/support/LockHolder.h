#pragma once

#include <string>
#include <sys/types.h>

// A second process that holds the flock of a file until Release() or the end of the object: what
// another program holding the dial-up service's lock looks like. It opens the file for reading
// only, which is all any user who may read the file needs. It ends itself after a minute, so
// that a wait without a bound shows as a failed test rather than a hung one.
class TLockHolder {
public:
    // The process is named `name`, as /proc shows it; it holds the lock once this returns.
    explicit TLockHolder(const std::string& path, const char* name = "lockholder");
    ~TLockHolder();
    TLockHolder(const TLockHolder&) = delete;
    TLockHolder& operator=(const TLockHolder&) = delete;

    pid_t Pid() const { return FPid; }
    // Ends the process, which frees the lock, and waits for it.
    void Release();

private:
    pid_t FPid = -1;
};
