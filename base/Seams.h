#pragma once

#include <string>

// What a test may put in place inside the runtime helpers. Plain data, so that a test saves and
// puts back the whole (TSeamScope); no Qt, since the dial-up service shares these helpers.
struct TBaseSeams {
    // Called after an atomic write's temporary file is complete and before the rename. A hook
    // that throws or ends the process stands for a crash at the worst moment.
    void (*AtomicWriteHook)(const std::string& tempPath) = nullptr;
};

// The one set of replaceable parts of the runtime helpers.
TBaseSeams& BaseSeams();
