#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// How long a process waits for the service's lock before the operation fails. The lock is held
// for a read-modify-write of one small file with its fsync: a few milliseconds, and on a disk
// busy with other writes rarely above a hundred. A program polls once a second on its
// user-interface thread, so a quarter of a second lets every such save through while the clock
// and the window go on; a lock held longer is held by a process that hangs or was stopped, and
// the poll fails and is tried again at the next one.
constexpr int64_t kPollLockWaitMs = 250;

// The wait of this process: kPollLockWaitMs unless set. A tool a person runs may wait longer.
int64_t LockWaitMs();
void SetLockWaitMs(int64_t ms);

// Holds an exclusive flock on a lock file for as long as it lives. The program and any
// number of rasdial processes take it around every read-modify-write of the service files.
class TFileLock {
public:
    // Creates the lock file if needed and waits for the lock at most LockWaitMs(). Throws
    // ERasServiceBusy, naming the process that holds it where the system tells, when the wait
    // is over; ERasUnreadableFile when a link or anything but a regular file is in the lock
    // file's place; ERasService on other failures.
    explicit TFileLock(const std::string& path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    std::unique_lock<std::timed_mutex> FInProcess;
    int FFd = -1;
};
