#include "tests/support/EventLoop.h"

#include "tests/support/FakeClock.h"

#include <QCoreApplication>

#include <algorithm>

void RunEventLoopFor(TFakeClock& clock, int64_t ms, int64_t stepMs)
{
    const int64_t end = clock.EpochMs() + ms;
    QCoreApplication::processEvents();
    while (clock.EpochMs() < end) {
        clock.AdvanceMilliseconds(std::min(stepMs, end - clock.EpochMs()));
        QCoreApplication::processEvents();
    }
}

void StallThenRunEventLoop(TFakeClock& clock, int64_t ms)
{
    clock.AdvanceMilliseconds(ms);
    QCoreApplication::processEvents();
}
