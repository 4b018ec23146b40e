#include "platform/Termination.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    // Only async-signal-safe work here: one byte down the pipe wakes the event loop.
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &byte, 1);
}

} // namespace

void InstallTerminationHandler(QObject* context, std::function<void()> onTerminate)
{
    if (SignalPipe[0] < 0) {
        if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
    }
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onTerminate = std::move(onTerminate)]() {
        char buffer[64];
        while (::read(SignalPipe[0], buffer, sizeof buffer) > 0) {
        }
        static bool busy = false;
        if (busy)
            return;
        busy = true;
        onTerminate();
        busy = false;
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
