#include "tests/support/FakeDialUpService.h"

#include "platform/Seams.h"
#include "tests/support/RasLibrary.h"

#include <cstdlib>

namespace {

TFakeClock* ServiceClock = nullptr;

long long FakeNow()
{
    return ServiceClock ? ServiceClock->EpochMs() : 0;
}

} // namespace

std::string TFakeDialUpService::BinaryDir()
{
    return ZELTIX_BINARY_DIR;
}

TFakeDialUpService::TFakeDialUpService(TFakeClock& clock)
    : FClock(clock)
    , FService(FFolder.Path())
    , FPreviousSearchPath(PlatformSeams().LibrarySearchPath)
    , FPreviousService(PlatformSeams().DialUpService)
    , FPreviousNow(PlatformSeams().DialUpNow)
{
    ::setenv("ZELTIX_RAS_DIR", FFolder.Path().c_str(), 1);
    TPlatformSeams& seams = PlatformSeams();
    seams.LibrarySearchPath = {BinaryDir()};
    ServiceClock = &clock;
    // The library stays loaded while the service exists, so the time source is still in place
    // when the program loads the same library (the same path gives the same loaded library).
    FLibrary = LoadRasLibrary(&FakeNow);
    // The link statistics read the same service at the same time.
    seams.DialUpService = &FService;
    seams.DialUpNow = [&clock] { return clock.EpochMs(); };
}

TFakeDialUpService::~TFakeDialUpService()
{
    TPlatformSeams& seams = PlatformSeams();
    seams.DialUpService = FPreviousService;
    seams.DialUpNow = FPreviousNow;
    UnloadRasLibrary(FLibrary);
    ServiceClock = nullptr;
    seams.LibrarySearchPath = FPreviousSearchPath;
    ::unsetenv("ZELTIX_RAS_DIR");
}

void TFakeDialUpService::AddEntry(
    const std::string& name, const std::string& type, const std::string& device, uint32_t speed)
{
    TPhonebookEntry entry;
    entry.Name = name;
    entry.DeviceType = type;
    entry.DeviceName = device;
    entry.Speed = speed;
    FService.AddEntry(entry);
}

HRASCONN TFakeDialUpService::Dial(const std::string& entry, TDialOptions options)
{
    return FService.Dial(entry, options, FClock.EpochMs());
}

void TFakeDialUpService::HangUp(HRASCONN handle, int64_t lingerMs)
{
    FService.HangUp(handle, FClock.EpochMs(), lingerMs);
}

int32_t TFakeDialUpService::State(HRASCONN handle)
{
    std::optional<TConnectionView> view = FService.Find(handle, FClock.EpochMs());
    return view ? view->State : -1;
}
