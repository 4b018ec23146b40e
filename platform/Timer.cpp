#include "platform/Timer.h"

#include "base/ScopeGuard.h"
#include "platform/Kernel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

// A tick on its way to its timer, stamped with the run of the timer that posted it.
class TTickEvent : public QEvent {
public:
    explicit TTickEvent(uint64_t run)
        : QEvent(Type())
        , Run(run)
    {
    }

    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    const uint64_t Run;
};

int TickDepth = 0;
uint64_t TickSerial = 0;

} // namespace

// All running timers of the program. The queue hands ticks over as events, delivered by every
// message loop, nested ones included: at once when its own wake-up fires, as posted events
// when a test clock moves. (A toolkit timer never calls its own slot again while that slot
// runs, so the wake-up whose slot runs a handler hands its place to another; see Arm.)
class TTimerQueue {
public:
    static TTimerQueue& Instance()
    {
        static TTimerQueue queue;
        return queue;
    }

    void Start(TTimer* timer)
    {
        timer->FRunning = true;
        ++timer->FRun;
        timer->FPending = false;
        timer->FDue = Now() + timer->FInterval;
        if (std::find(FTimers.begin(), FTimers.end(), timer) == FTimers.end())
            FTimers.push_back(timer);
        Arm();
    }

    void Stop(TTimer* timer)
    {
        timer->FRunning = false;
        ++timer->FRun;
        timer->FPending = false;
        FTimers.erase(std::remove(FTimers.begin(), FTimers.end(), timer), FTimers.end());
        if (FTimers.empty() && FWake)
            FWake->stop();
    }

    // Posts a tick to every timer that is due, at most one on its way per timer, and arms
    // the wake-up for the next one. A wake-up has them handed over at once instead (handOver).
    void Check(std::vector<std::pair<QPointer<TTimer>, uint64_t>>* handOver = nullptr)
    {
        if (FTimers.empty())
            return;
        const uint64_t now = Now();
        for (TTimer* timer : FTimers) {
            if (timer->FDue > now + ShareWindow(*timer))
                continue;
            if (!timer->FPending && QCoreApplication::instance()) {
                timer->FPending = true;
                if (handOver)
                    handOver->emplace_back(timer, timer->FRun);
                else
                    QCoreApplication::postEvent(timer, new TTickEvent(timer->FRun));
            }
            // Ticks missed meanwhile are not made up: the next one is an interval from now. A tick
            // that came a little early keeps the timer's rhythm.
            timer->FDue += timer->FInterval;
            if (timer->FDue <= now)
                timer->FDue = now + timer->FInterval;
        }
        Arm();
    }

    // The toolkit timer that wakes the queue when the earliest timer falls due by the system
    // clock. A test clock moves on its own and says so (CheckTimersAfterClockMove).
    // The ticks a wake-up posts are handled at once, in the same pass of the loop. A toolkit
    // timer never fires again while its own slot runs, so the wake-up in charge then is another
    // one: a handler's nested loop (a hang-up wait, a modal dialog) still gets its ticks.
    void Arm()
    {
        if (FTimers.empty() || !QCoreApplication::instance())
            return;
        while (!FWake && !FSpares.empty()) {
            FWake = FSpares.back();
            FSpares.pop_back();
        }
        if (!FWake) {
            QTimer* wake = new QTimer(QCoreApplication::instance());
            wake->setSingleShot(true);
            wake->setTimerType(Qt::PreciseTimer);
            QObject::connect(wake, &QTimer::timeout, wake, [this, wake] { Wake(wake); });
            FWake = wake;
        }
        uint64_t due = UINT64_MAX;
        for (const TTimer* timer : FTimers)
            due = std::min(due, timer->FDue + timer->FTolerance);
        const uint64_t now = Now();
        FWakeAt = due;
        const uint64_t wait = due > now ? due - now : 0;
        FWake->start(static_cast<int>(std::min<uint64_t>(wait, INT_MAX)));
    }

    void Wake(QTimer* wake)
    {
        // Handed over for the time its slot runs; it takes over again afterwards, as a spare.
        if (FWake == wake)
            FWake = nullptr;
        std::vector<std::pair<QPointer<TTimer>, uint64_t>> due;
        Check(&due);
        // The first tick is handed over as the loop would hand a posted one over, without
        // waking it again; the others are posted before it, so a loop the first handler runs
        // (a hang-up wait) delivers them too.
        for (size_t i = 1; i < due.size(); ++i)
            if (due[i].first)
                QCoreApplication::postEvent(due[i].first, new TTickEvent(due[i].second));
        if (!due.empty() && due[0].first) {
            TTickEvent tick(due[0].second);
            QCoreApplication::sendEvent(due[0].first, &tick);
        }
        FSpares.push_back(wake);
    }

    // A test clock that moved wakes the queue as the system clock would have.
    void CheckAfterClockMove()
    {
        if (Now() >= FWakeAt)
            Check();
    }

private:
    // How early a tick may be handled along with another timer's: a twentieth of the interval,
    // at most 50 ms. Two timers of one interval started a few milliseconds apart (the session
    // clock is started from within the poll) then wake the program once instead of twice.
    static uint64_t ShareWindow(const TTimer& timer) { return std::min<uint64_t>(timer.FInterval / 20, 50); }

    // Milliseconds of the platform clock, counted on from the 32-bit tick count so that they
    // go on across its wrap. Running timers are checked at least once an interval, far more
    // often than the count can wrap. A clock set back (only test clocks are) makes no time pass.
    uint64_t Now()
    {
        const DWORD tick = GetTickCount();
        const DWORD passed = tick - FLastTick;
        FLastTick = tick;
        if (passed <= static_cast<DWORD>(INT32_MAX))
            FNow += passed;
        return FNow;
    }

    std::vector<TTimer*> FTimers;
    QPointer<QTimer> FWake;
    std::vector<QPointer<QTimer>> FSpares;
    DWORD FLastTick = GetTickCount();
    uint64_t FNow = 0;
    // When the wake-up is set for, in the queue's milliseconds.
    uint64_t FWakeAt = 0;
};

TTimer::TTimer(QObject* AOwner)
    : QObject(AOwner)
{
}

TTimer::~TTimer()
{
    TTimerQueue::Instance().Stop(this);
}

void TTimer::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TTimer::SetInterval(UINT Value)
{
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TTimer::SetTolerance(UINT Value)
{
    if (Value == FTolerance)
        return;
    FTolerance = Value;
    // Only the wake-up moves: the tick keeps its time.
    if (FRunning)
        TTimerQueue::Instance().Arm();
}

void TTimer::SetOnTimer(TNotifyEvent Value)
{
    const bool assigned = static_cast<bool>(FOnTimer);
    FOnTimer = std::move(Value);
    if (assigned != static_cast<bool>(FOnTimer))
        UpdateTimer();
}

void TTimer::UpdateTimer()
{
    TTimerQueue& queue = TTimerQueue::Instance();
    if (FEnabled && FInterval != 0 && FOnTimer)
        queue.Start(this);
    else
        queue.Stop(this);
}

bool TTimer::event(QEvent* e)
{
    if (e->type() != TTickEvent::Type())
        return QObject::event(e);
    // A tick posted before the timer last stopped or started belongs to a run that is over.
    if (static_cast<TTickEvent*>(e)->Run != FRun)
        return true;
    FPending = false;
    if (FRunning) {
        // Held for the call: the handler may replace itself.
        const TNotifyEvent handler = FOnTimer;
        ++TickDepth;
        ++TickSerial;
        const TScopeExit ended([] {
            --TickDepth;
            ++TickSerial;
        });
        handler(this);
    }
    return true;
}

void CheckTimersAfterClockMove()
{
    TTimerQueue::Instance().CheckAfterClockMove();
}

bool InTimerTick()
{
    return TickDepth > 0;
}

uint64_t TimerTickSerial()
{
    return TickSerial;
}

void NewTimerTickSerial()
{
    ++TickSerial;
}
