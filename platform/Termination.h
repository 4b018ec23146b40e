#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// A desktop logout ends a process with SIGTERM (or SIGHUP, as a closed terminal and some
// session managers do), Ctrl+C with SIGINT. While a handler object lives, the program treats
// each of these signals like its own "close" command: the signal is turned
// into a call of onTerminate on the event loop (never inside the signal handler), so the normal
// shutdown writes every file. A signal that arrives while no loop runs is handled by the next
// one. A second signal while the first is still being handled is ignored. Only one handler
// acts at a time: a newer one replaces an older one. When the handler object goes, the
// signals end the process again.
class TTerminationHandler {
public:
    explicit TTerminationHandler(std::function<void()> onTerminate);
    ~TTerminationHandler();
    TTerminationHandler(const TTerminationHandler&) = delete;
    TTerminationHandler& operator=(const TTerminationHandler&) = delete;

private:
    void Handle();

    std::function<void()> FOnTerminate;
    std::unique_ptr<QSocketNotifier> FNotifier;
    bool FBusy = false;
};
