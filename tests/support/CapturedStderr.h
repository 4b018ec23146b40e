#pragma once

#include "tests/support/TempDir.h"

#include <string>

// What this process writes to its standard error while the object lives goes to a file of its
// own instead, for the test to read: the messages a library says once per process.
class TCapturedStderr {
public:
    TCapturedStderr();
    ~TCapturedStderr();
    TCapturedStderr(const TCapturedStderr&) = delete;
    TCapturedStderr& operator=(const TCapturedStderr&) = delete;

    // Everything written so far.
    std::string Text() const;

private:
    TTempDir FDir;
    int FSaved = -1;
};
