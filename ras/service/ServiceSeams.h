#pragma once

#include <string>

// What a test may put in place of the machine below the dial-up service. Plain data, so that a
// test saves and puts back the whole (TSeamScope) without the service knowing of tests; it is
// the service's own because ras/ is a C library that takes nothing from the program's platform.
struct TServiceSeams {
    // The folder the pppd backend reads the system below; empty: $ZELTIX_SYSTEM_ROOT, else "/".
    std::string SystemRoot;
    // Called when a save's temporary file is complete, before the rename. A hook that ends the
    // process leaves what a save killed at that moment leaves. Set before the service's threads
    // run: it is read without a lock.
    void (*SaveHook)(const std::string& tempPath) = nullptr;
};

// The one set of replaceable parts of the dial-up service in this process.
TServiceSeams& ServiceSeams();
