#pragma once

#include "ras/service/RasRecords.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

// The built librasapi32.so, as the program finds it beside itself.
std::string RasLibraryPath();
// Loads it with `now` as the time of its service; throws std::runtime_error when it cannot.
// The library stays loaded, with that time, until UnloadRasLibrary.
void* LoadRasLibrary(long long (*now)());
// Puts the library's own clock back and unloads it.
void UnloadRasLibrary(void* module);

// Tests of the built librasapi32.so, loaded as the program loads it, over a service folder of
// the test's own (ZELTIX_RAS_DIR) and with a clock that moves only when the test sets Now. The
// library stays loaded for the whole suite, as in a program that polls it.
class TRasLibraryTest : public ::testing::Test {
protected:
    static constexpr long long T0 = 1'800'000'000'000;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    template <typename T>
    static T Symbol(const char* name)
    {
        return reinterpret_cast<T>(LibrarySymbol(name));
    }

    // Up to eight connections, as RasEnumConnectionsA lists them.
    static std::vector<RASCONNA> Connections();

    static inline std::atomic<long long> Now{T0};
    static inline void* Library = nullptr;
    TTempDir Folder;

private:
    static void* LibrarySymbol(const char* name);
    static long long SuiteClock() { return Now.load(); }
};
