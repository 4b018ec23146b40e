#pragma once

#include "platform/Kernel.h"

#include <QDateTime>

// A clock that stands still until the test moves it. It installs itself as the platform's clock
// for its lifetime (and puts back the clock it found), so tick counts and local time come from it. Every move lets the program's
// timers that fall due post their ticks; Sleep moves it too, so a wait of the program that gives
// up its time slice lets time pass.
class TFakeClock : public TClock {
public:
    explicit TFakeClock(TLocalTime start = {2026, 12, 8, 14, 3, 22, 0}, DWORD startTick = 1000000);
    ~TFakeClock() override;

    DWORD TickCount() override { return FTick; }
    TLocalTime LocalTime() override;
    // Sleep(0) lets one time slice pass.
    void Sleep(DWORD milliseconds) override;
    static constexpr DWORD TimeSliceMs = 10;

    void AdvanceMilliseconds(int64_t ms);
    void AdvanceSeconds(int64_t s) { AdvanceMilliseconds(s * 1000); }
    void AdvanceMinutes(int64_t m) { AdvanceMilliseconds(m * 60000); }
    void SetTick(DWORD tick);
    // Wall-clock milliseconds since the Unix epoch, moving with the clock (for the dial-up
    // service, which keeps its times that way).
    int64_t EpochMs() const { return FEpochMs; }
    void SetLocalTime(const TLocalTime& t);

private:
    TClock* FPrevious;
    DWORD FTick;
    int64_t FEpochMs;
    QDateTime FLocal; // kept as a plain calendar time, free of time zones
};
