#include "platform/Termination.h"

#include "base/ScopeGuard.h"

#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

int SignalPipe[2] = {-1, -1};
// The handlers in the order they were made; the newest acts.
std::vector<TTerminationHandler*> Handlers;

void OnSignal(int)
{
    // Only async-signal-safe work here: one byte down the pipe wakes the event loop.
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &byte, 1);
}

void SetDisposition(void (*handler)(int))
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A program started with SIGHUP ignored (nohup) was asked to outlive its terminal.
    static const bool hangUpIgnored = [] {
        struct sigaction current { };
        return ::sigaction(SIGHUP, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
    }();
    if (!hangUpIgnored)
        ::sigaction(SIGHUP, &action, nullptr);
}

} // namespace

TTerminationHandler::TTerminationHandler(std::function<void()> onTerminate)
    : FOnTerminate(std::move(onTerminate))
{
    if (SignalPipe[0] < 0 && ::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    FNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this] { Handle(); });
    // One reader of the pipe: the older handler's notifier rests meanwhile.
    if (!Handlers.empty())
        Handlers.back()->FNotifier->setEnabled(false);
    Handlers.push_back(this);
    SetDisposition(&OnSignal);
}

TTerminationHandler::~TTerminationHandler()
{
    const bool acting = !Handlers.empty() && Handlers.back() == this;
    Handlers.erase(std::remove(Handlers.begin(), Handlers.end(), this), Handlers.end());
    if (Handlers.empty())
        SetDisposition(SIG_DFL);
    else if (acting)
        Handlers.back()->FNotifier->setEnabled(true);
}

void TTerminationHandler::Handle()
{
    char buffer[64];
    while (::read(SignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (FBusy)
        return;
    const TRestore busy(FBusy, true);
    FOnTerminate();
}
