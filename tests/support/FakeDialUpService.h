#pragma once

#include "ras/service/RasService.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A dial-up service of the test's own: an empty phonebook in a temporary folder, the built
// librasapi32.so as the library the program loads, and the fake clock as the time of both.
// Only one may exist at a time; it puts back the library search path and the service it found.
class TFakeDialUpService {
public:
    explicit TFakeDialUpService(TFakeClock& clock);
    ~TFakeDialUpService();

    TRasService& Service() { return FService; }
    const std::string& Folder() const { return FFolder.Path(); }

    void AddEntry(const std::string& name, const std::string& type = "modem",
        const std::string& device = "Standard 56000 bps Modem", uint32_t speed = 56000);
    HRASCONN Dial(const std::string& entry, TDialOptions options = {});
    void HangUp(HRASCONN handle, int64_t lingerMs = 2000);
    int32_t State(HRASCONN handle);

    // The folder of the built librasapi32.so and rasdial.
    static std::string BinaryDir();

private:
    TFakeClock& FClock;
    TTempDir FFolder;
    TRasService FService;
    void* FLibrary = nullptr;
    std::vector<std::string> FPreviousSearchPath;
    TRasService* FPreviousService;
    std::function<int64_t()> FPreviousNow;
};
