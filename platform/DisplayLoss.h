#pragma once

#include <functional>

// When the connection to the display breaks (the X server or the Wayland compositor is gone),
// the toolkit ends the process at once: with exit(1) under X11, with _exit(1) under Wayland,
// after a warning that says so. While a handler object lives, either way first runs onLost
// once, on the user-interface thread, so the program can write its files before the process
// ends. A warning that comes from another thread waits up to five seconds for onLost to run
// there. Only one handler acts at a time: a newer one replaces an older one.
class TDisplayLossHandler {
public:
    explicit TDisplayLossHandler(std::function<void()> onLost);
    ~TDisplayLossHandler();
    TDisplayLossHandler(const TDisplayLossHandler&) = delete;
    TDisplayLossHandler& operator=(const TDisplayLossHandler&) = delete;

private:
    std::function<void()> FOnLost;
    TDisplayLossHandler* FOlder = nullptr;
    bool FRan = false;

    friend struct TDisplayLossRoute;
};
