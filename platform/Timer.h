#pragma once

#include "platform/WinTypes.h"

#include <QObject>

#include <cstdint>
#include <functional>

class QEvent;

// The window timer as a component: every Interval milliseconds of the platform clock
// (GetTickCount) it raises OnTimer from the message loop. As with the platform's timer message,
// a tick is handled by whichever message loop runs next, also one nested inside OnTimer itself
// (a hang-up wait, a modal dialog), so the handler can run again before it has returned.
// Ticks that fall due while no loop runs are folded into one. A disabled timer raises nothing,
// not even a tick that was already on its way. The timer runs while it is enabled, its interval
// is not 0 and OnTimer is assigned.
// Timers share wake-ups, as the platform coalesces them: a tick due within a twentieth of its
// interval (at most 50 ms) is handled with another timer's tick that falls due first, and a
// timer with a tolerance waits up to that long for another timer's wake-up to come along.
class TTimer : public QObject {
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    // Enabled, with an interval of 1000 ms and no handler.
    explicit TTimer(QObject* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    // Enabling a running timer does not restart its interval.
    void SetEnabled(bool Value);
    UINT Interval() const { return FInterval; }
    // A new interval starts counting now.
    void SetInterval(UINT Value);
    // How late a tick may come so that it shares another timer's wake-up; 0 (the default)
    // wakes the program for this timer alone when no other timer is due by then.
    UINT Tolerance() const { return FTolerance; }
    void SetTolerance(UINT Value);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent Value);

    // Whether the timer counts its interval now.
    bool Running() const { return FRunning; }

protected:
    bool event(QEvent* e) override;

private:
    friend class TTimerQueue;

    void UpdateTimer();

    bool FEnabled = true;
    UINT FInterval = 1000;
    UINT FTolerance = 0;
    TNotifyEvent FOnTimer;

    bool FRunning = false;
    // When the next tick falls due, in the queue's milliseconds.
    uint64_t FDue = 0;
    // A tick has been posted and not yet handled.
    bool FPending = false;
    // Changes whenever the timer starts or stops, so a tick posted before is dropped.
    uint64_t FRun = 0;
};

// Test clocks call this after they have moved: it wakes the timers as the system clock would
// have, so the ticks due by the new time are posted and the next pass of the message loop
// handles them.
void CheckTimersAfterClockMove();

// Whether a timer's handler is running now (on the user-interface thread), and a number that
// changes whenever one starts or ends, or a wait lets other messages run. Reads of the machine's
// state that a handler makes more than once may keep what they read while both stay the same:
// within one tick nothing else has run.
bool InTimerTick();
uint64_t TimerTickSerial();
// A wait that handles messages: what was read before may have changed.
void NewTimerTickSerial();
