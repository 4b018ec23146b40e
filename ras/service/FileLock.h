#pragma once

#include <string>

// Holds an exclusive flock on a lock file for as long as it lives. The program and any
// number of rasdial processes take it around every read-modify-write of the service files.
class TFileLock {
public:
    // Creates the lock file if needed and waits for the lock. Throws ERasService on failure.
    explicit TFileLock(const std::string& path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    int FFd = -1;
};
