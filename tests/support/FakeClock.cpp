#include "tests/support/FakeClock.h"

#include "platform/Seams.h"
#include "platform/Timer.h"

TFakeClock::TFakeClock(TLocalTime start, DWORD startTick)
    : FPrevious(PlatformSeams().Clock)
    , FTick(startTick)
    , FEpochMs(1796738602000) // 2026-12-08 14:03:22 UTC
{
    SetLocalTime(start);
    PlatformSeams().Clock = this;
}

TFakeClock::~TFakeClock()
{
    PlatformSeams().Clock = FPrevious;
}

TLocalTime TFakeClock::LocalTime()
{
    QDate d = FLocal.date();
    QTime t = FLocal.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

void TFakeClock::SetLocalTime(const TLocalTime& t)
{
    FLocal = QDateTime(QDate(t.Year, t.Month, t.Day), QTime(t.Hour, t.Minute, t.Second, t.Millisecond), Qt::UTC);
}

void TFakeClock::AdvanceMilliseconds(int64_t ms)
{
    FTick = static_cast<DWORD>(FTick + static_cast<uint64_t>(ms));
    FEpochMs += ms;
    FLocal = FLocal.addMSecs(ms);
    CheckTimersAfterClockMove();
}

void TFakeClock::SetTick(DWORD tick)
{
    FTick = tick;
    CheckTimersAfterClockMove();
}

void TFakeClock::Sleep(DWORD milliseconds)
{
    AdvanceMilliseconds(milliseconds == 0 ? TimeSliceMs : milliseconds);
}
