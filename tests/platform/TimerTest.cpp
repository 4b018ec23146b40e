#include "platform/Timer.h"

#include "platform/Windows.h"
#include "tests/platform/GuiTestApplication.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

class TimerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

// What a test does to a timer of 1000 ms, and the clock times (from its start) of its ticks.
struct TTimerCase {
    std::string Name;
    std::function<void(TFakeClock&, TTimer&)> Drive;
    std::vector<int64_t> Ticks;
};

TEST_F(TimerTest, TicksComeEveryIntervalOfThePlatformClock)
{
    const std::vector<TTimerCase> cases = {
        {"on time", [](TFakeClock& c, TTimer&) { RunEventLoopFor(c, 3500); }, {1000, 2000, 3000}},
        {"a stall folds the missed ticks into one and counts on from it",
            [](TFakeClock& c, TTimer&) {
                RunEventLoopFor(c, 1500);
                StallThenRunEventLoop(c, 6600);
                RunEventLoopFor(c, 1500);
            },
            {1000, 8100, 9100}},
        {"enabling a running timer keeps its interval",
            [](TFakeClock& c, TTimer& t) {
                RunEventLoopFor(c, 500);
                t.SetEnabled(true);
                RunEventLoopFor(c, 1000);
            },
            {1000}},
        {"a new interval counts from now",
            [](TFakeClock& c, TTimer& t) {
                RunEventLoopFor(c, 500);
                t.SetInterval(2000);
                RunEventLoopFor(c, 3000);
            },
            {2500}},
        {"a disabled timer drops the tick on its way; enabled again it starts a new interval",
            [](TFakeClock& c, TTimer& t) {
                c.AdvanceMilliseconds(1000); // due, not yet handled
                t.SetEnabled(false);
                t.SetEnabled(true);
                RunEventLoopFor(c, 1500);
            },
            {2000}},
        {"without a handler it does not run",
            [](TFakeClock& c, TTimer& t) {
                const TTimer::TNotifyEvent handler = t.OnTimer();
                t.SetOnTimer({});
                EXPECT_FALSE(t.Running());
                RunEventLoopFor(c, 1500);
                t.SetOnTimer(handler);
                RunEventLoopFor(c, 1000);
            },
            {2500}},
        {"a clock set back makes no time pass",
            [](TFakeClock& c, TTimer&) {
                c.SetTick(c.TickCount() - 60000);
                RunEventLoopFor(c, 1500);
            },
            {1000}},
    };
    for (const TTimerCase& test : cases) {
        TFakeClock clock;
        const int64_t start = clock.EpochMs();
        std::vector<int64_t> ticks;
        TTimer timer(nullptr);
        timer.SetOnTimer([&](QObject* sender) {
            EXPECT_EQ(sender, &timer);
            ticks.push_back(clock.EpochMs() - start);
        });
        test.Drive(clock, timer);
        EXPECT_EQ(ticks, test.Ticks) << test.Name;
    }
}

// A second timer beside one of 1000 ms started at 0: when it starts, its interval and tolerance,
// and the clock times of its ticks over 5.5 s. The first one ticks every 1000 ms throughout.
struct TSharedWakeCase {
    std::string Name;
    int64_t StartMs;
    UINT Interval;
    UINT Tolerance;
    std::vector<int64_t> Ticks;
};

TEST_F(TimerTest, TimersShareWakeUps)
{
    const std::vector<TSharedWakeCase> cases = {
        {"started 30 ms later, it ticks with the other", 30, 1000, 0, {1000, 2000, 3000, 4000, 5000}},
        {"started 60 ms later, it keeps its own time", 60, 1000, 0, {1060, 2060, 3060, 4060, 5060}},
        {"a short interval comes no earlier than it is due", 30, 200, 0,
            {230, 430, 630, 830, 1030, 1230, 1430, 1630, 1830, 2030, 2230, 2430, 2630, 2830, 3030, 3230, 3430, 3630,
                3830, 4030, 4230, 4430, 4630, 4830, 5030, 5230, 5430}},
        {"with a tolerance it waits for the other's wake-up", 300, 2000, 1000, {3000, 5000}},
        {"the tolerance is no delay when the other is due first", 300, 2000, 700, {3000, 5000}},
        {"beyond its tolerance it wakes on its own", 300, 2000, 500, {2800, 4800}},
    };
    for (const TSharedWakeCase& test : cases) {
        TFakeClock clock;
        const int64_t start = clock.EpochMs();
        std::vector<int64_t> first;
        std::vector<int64_t> second;
        TTimer one(nullptr);
        one.SetOnTimer([&](QObject*) { first.push_back(clock.EpochMs() - start); });
        RunEventLoopFor(clock, test.StartMs, 10);
        TTimer two(nullptr);
        two.SetInterval(test.Interval);
        two.SetTolerance(test.Tolerance);
        two.SetOnTimer([&](QObject*) { second.push_back(clock.EpochMs() - start); });
        RunEventLoopFor(clock, 5500 - test.StartMs, 10);
        EXPECT_EQ(second, test.Ticks) << test.Name;
        EXPECT_EQ(first, (std::vector<int64_t>{1000, 2000, 3000, 4000, 5000})) << test.Name;
    }
}

TEST_F(TimerTest, ATimerTicksInsideTheNestedLoopOfItsOwnHandlerAndStopsWhenDisabledThere)
{
    TFakeClock clock;
    TTimer timer(nullptr);
    int depth = 0;
    std::vector<int> depths;
    timer.SetOnTimer([&](QObject*) {
        ++depth;
        depths.push_back(depth);
        if (depth == 1)
            RunEventLoopFor(clock, 2500); // a hang-up wait or a dialog left open
        if (depths.size() == 3)
            timer.SetEnabled(false);
        --depth;
    });
    RunEventLoopFor(clock, 5000);
    EXPECT_EQ(depths, (std::vector<int>{1, 2, 2})) << "two ticks inside the first, none once disabled";
}

TEST_F(TimerTest, TheSystemClockWakesATimerInsideAModalLoopOfItsOwnHandler)
{
    // The real wake-up, as the running program has it: a modal loop inside the handler ends only
    // when the timer has ticked again inside it. A guard ends a loop that would wait forever.
    TTimer timer(nullptr);
    timer.SetInterval(USER_TIMER_MINIMUM);
    QEventLoop modal;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &modal, &QEventLoop::quit);
    int depth = 0;
    int deepest = 0;
    timer.SetOnTimer([&](QObject*) {
        ++depth;
        deepest = std::max(deepest, depth);
        if (depth == 1) {
            guard.start(10000);
            modal.exec();
        } else {
            modal.quit();
        }
        --depth;
    });
    QEventLoop outer;
    QObject::connect(&guard, &QTimer::timeout, &outer, &QEventLoop::quit);
    QTimer until;
    QObject::connect(&until, &QTimer::timeout, &outer, [&] {
        if (deepest >= 2)
            outer.quit();
    });
    until.start(1);
    QTimer::singleShot(10000, &outer, &QEventLoop::quit);
    outer.exec();
    timer.SetEnabled(false);
    EXPECT_EQ(deepest, 2);
}

TEST_F(TimerTest, WindowTimersTickThroughTheSameQueue)
{
    TFakeClock clock;
    std::vector<WPARAM> ids;
    HWND window = AllocateHWnd([&](TMessage& message) {
        if (message.Msg == WM_TIMER)
            ids.push_back(message.WParam);
    });
    EXPECT_EQ(SetTimer(window, 7, 1000, nullptr), 7u);
    EXPECT_EQ(SetTimer(window, 8, 1, nullptr), 8u) << "raised to the minimum interval";
    RunEventLoopFor(clock, 1000, 5);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 7u), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 8u), 100);
    ids.clear();
    EXPECT_TRUE(KillTimer(window, 8));
    EXPECT_EQ(SetTimer(window, 7, 1000, nullptr), 7u) << "set again: a new interval";
    RunEventLoopFor(clock, 1500);
    EXPECT_EQ(ids, (std::vector<WPARAM>{7}));
    DeallocateHWnd(window);
    RunEventLoopFor(clock, 2000);
    EXPECT_EQ(ids.size(), 1u);
}

} // namespace

namespace {

// With the system clock, the ticks a wake-up posts are handled in the same pass of the loop;
// a handler that runs a loop of its own (a hang-up wait) still gets the next ticks in it, and so
// does a timer whose tick shares its wake-up (the session clock, started from within the poll).
TEST_F(TimerTest, WithTheSystemClockANestedLoopOfAHandlerGetsTheNextTicks)
{
    TTimer timer(nullptr);
    TTimer second(nullptr);
    timer.SetInterval(20);
    second.SetInterval(20);
    int ticks = 0;
    int ticksInside = 0;
    int secondTicks = 0;
    int secondTicksInside = 0;
    bool timeUp = false;
    QEventLoop outer;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &outer, [&] {
        timeUp = true;
        outer.quit();
    });
    timer.SetOnTimer([&](QObject*) {
        if (++ticks != 1)
            return;
        while ((ticks < 4 || secondTicks < 3) && !timeUp)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticksInside = ticks - 1;
        secondTicksInside = secondTicks;
        outer.quit();
    });
    // Started right after the first, so the two share their wake-ups, this one second.
    second.SetOnTimer([&](QObject*) { ++secondTicks; });
    bound.start(10000);
    outer.exec();
    EXPECT_FALSE(timeUp);
    EXPECT_GE(ticksInside, 3);
    EXPECT_GE(secondTicksInside, 3);
}

} // namespace
