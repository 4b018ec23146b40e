#pragma once

#include "base/DateTime.h"
#include "platform/WinTypes.h"

// Milliseconds since the system started, time spent suspended included, cut to 32 bits: wraps
// after about 49.7 days.
DWORD GetTickCount();
// Gives up the rest of the time slice (0) or waits the given milliseconds.
void Sleep(DWORD milliseconds);
// The local date and time.
TLocalTime GetLocalTime();

// Platform identifiers of the operating-system version information.
constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
// The platform family the program runs on: the NT family here.
DWORD Win32Platform();

// The source of ticks and local time. The system clock is used unless a test installs its own
// (TPlatformSeams::Clock).
class TClock {
public:
    virtual ~TClock();
    virtual DWORD TickCount() = 0;
    virtual TLocalTime LocalTime() = 0;
    // Lets the time pass that Sleep waits for; the system clock gives up the processor.
    virtual void Sleep(DWORD milliseconds);
};
