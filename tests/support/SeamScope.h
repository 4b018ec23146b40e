#pragma once

#include "base/ExceptionRoute.h"

#include <string>
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

// Reads the pppd backend's system below root for the scope's lifetime; the default root again
// afterwards.
class TSystemRootScope {
public:
    explicit TSystemRootScope(const std::string& root);
    ~TSystemRootScope();
    TSystemRootScope(const TSystemRootScope&) = delete;
    TSystemRootScope& operator=(const TSystemRootScope&) = delete;
};

// Calls hook between writing a temporary file and renaming it, for the scope's lifetime.
class TAtomicWriteHookScope {
public:
    explicit TAtomicWriteHookScope(void (*hook)(const std::string& tempPath));
    ~TAtomicWriteHookScope();
    TAtomicWriteHookScope(const TAtomicWriteHookScope&) = delete;
    TAtomicWriteHookScope& operator=(const TAtomicWriteHookScope&) = delete;
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
