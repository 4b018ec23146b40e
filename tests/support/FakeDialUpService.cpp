#include "tests/support/FakeDialUpService.h"

#include "platform/Seams.h"

#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>

namespace {

TFakeClock* ServiceClock = nullptr;

long long FakeNow()
{
    return ServiceClock ? ServiceClock->EpochMs() : 0;
}

// The library stays loaded while the service exists, so the time source is still in place
// when the program loads the same library (the same path gives the same loaded library).
void* LoadLibraryWithTimeSource(long long (*source)(void))
{
    std::string path = TFakeDialUpService::BinaryDir() + "/librasapi32.so";
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw std::runtime_error("cannot load " + path);
    auto setTimeSource = reinterpret_cast<TZeltixRasSetTimeSource>(::dlsym(module, "ZeltixRasSetTimeSource"));
    if (!setTimeSource)
        throw std::runtime_error("librasapi32.so has no time source seam");
    setTimeSource(source);
    return module;
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
    FLibrary = LoadLibraryWithTimeSource(&FakeNow);
    // The link statistics read the same service at the same time.
    seams.DialUpService = &FService;
    seams.DialUpNow = [&clock] { return clock.EpochMs(); };
}

TFakeDialUpService::~TFakeDialUpService()
{
    TPlatformSeams& seams = PlatformSeams();
    seams.DialUpService = FPreviousService;
    seams.DialUpNow = FPreviousNow;
    auto setTimeSource = reinterpret_cast<TZeltixRasSetTimeSource>(::dlsym(FLibrary, "ZeltixRasSetTimeSource"));
    setTimeSource(nullptr);
    ::dlclose(FLibrary);
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
