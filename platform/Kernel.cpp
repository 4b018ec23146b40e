#include "platform/Kernel.h"

#include <ctime>
#include <sched.h>
#include <time.h>

namespace {

TClock* InstalledClock = nullptr;
int PlatformIdOverride = -1;

} // namespace

TClock::~TClock() = default;

void SetClockForTests(TClock* clock)
{
    InstalledClock = clock;
}

void SetPlatformIdForTests(int platformId)
{
    PlatformIdOverride = platformId;
}

DWORD GetTickCount()
{
    if (InstalledClock)
        return InstalledClock->TickCount();
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        ::sched_yield();
        return;
    }
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {
    }
}

TLocalTime GetLocalTime()
{
    if (InstalledClock)
        return InstalledClock->LocalTime();
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
            static_cast<int>(ts.tv_nsec / 1000000L)};
}

DWORD Win32Platform()
{
    return PlatformIdOverride >= 0 ? static_cast<DWORD>(PlatformIdOverride) : VER_PLATFORM_WIN32_NT;
}
