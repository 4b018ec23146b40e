#pragma once

#include "base/ExceptionRoute.h"

#include <utility>

// Saves the whole of a seam home (a folder's seams, or the state of an emulated interface) and
// puts it back when the scope ends, however the test ends: a failed ASSERT returns early, and
// the next test still finds what this one found. As a fixture member or a local:
//     TSeamScope App{AppSeams()};
//     App->DialogAnswerer = ...;
template <typename THome>
class TSeamScope {
public:
    explicit TSeamScope(THome& home)
        : FHome(home)
        , FSaved(home)
    {
    }
    ~TSeamScope() { FHome = std::move(FSaved); }
    TSeamScope(const TSeamScope&) = delete;
    TSeamScope& operator=(const TSeamScope&) = delete;

    THome* operator->() const { return &FHome; }
    THome& operator*() const { return FHome; }

private:
    THome& FHome;
    THome FSaved;
};

// Routes the exceptions of guarded handlers to handler for the scope's lifetime; the handler
// found comes back afterwards.
class TExceptionHandlerScope {
public:
    explicit TExceptionHandlerScope(TExceptionHandler handler)
        : FPrevious(SetExceptionHandler(std::move(handler)))
    {
    }
    ~TExceptionHandlerScope() { SetExceptionHandler(std::move(FPrevious)); }
    TExceptionHandlerScope(const TExceptionHandlerScope&) = delete;
    TExceptionHandlerScope& operator=(const TExceptionHandlerScope&) = delete;

private:
    TExceptionHandler FPrevious;
};
