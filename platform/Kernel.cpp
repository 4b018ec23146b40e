#include "platform/Kernel.h"

#include "platform/Seams.h"

#include <ctime>
#include <sched.h>
#include <time.h>

namespace {

void SystemSleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        ::sched_yield();
        return;
    }
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {
    }
}

} // namespace

TClock::~TClock() = default;

void TClock::Sleep(DWORD milliseconds)
{
    SystemSleep(milliseconds);
}

DWORD GetTickCount()
{
    if (TClock* clock = PlatformSeams().Clock)
        return clock->TickCount();
    // The boot-time clock goes on while the machine is suspended, as the platform's tick count
    // does: a session that spans a suspension is timed and priced for all of it.
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds)
{
    if (TClock* clock = PlatformSeams().Clock) {
        clock->Sleep(milliseconds);
        return;
    }
    SystemSleep(milliseconds);
}

TLocalTime GetLocalTime()
{
    if (TClock* clock = PlatformSeams().Clock)
        return clock->LocalTime();
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
        static_cast<int>(ts.tv_nsec / 1000000L)};
}

DWORD Win32Platform()
{
    return PlatformSeams().PlatformId.value_or(VER_PLATFORM_WIN32_NT);
}
