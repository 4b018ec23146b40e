#pragma once

#include "app/Application.h"

#include <utility>

// The application's exception event as the scope found it, put back when the scope ends: the
// main window's start-up sets it to its own handler.
class TApplicationEventScope {
public:
    TApplicationEventScope()
        : FSaved(Application()->OnException)
    {
    }
    ~TApplicationEventScope() { Application()->OnException = std::move(FSaved); }
    TApplicationEventScope(const TApplicationEventScope&) = delete;
    TApplicationEventScope& operator=(const TApplicationEventScope&) = delete;

private:
    TApplication::TExceptionEvent FSaved;
};
