#pragma once

#include <functional>
#include <utility>

// Runs a step when the scope ends, however it ends (a return, an exception, a nested loop
// that returns early): the one shape of every "put it back afterwards".
class TScopeExit {
public:
    explicit TScopeExit(std::function<void()> onExit)
        : FOnExit(std::move(onExit))
    {
    }
    ~TScopeExit()
    {
        if (FOnExit)
            FOnExit();
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    std::function<void()> FOnExit;
};

// Gives a variable a value for the scope and puts its old value back when the scope ends.
template <class T>
class TRestore {
public:
    TRestore(T& variable, T value)
        : FVariable(variable)
        , FOld(std::exchange(variable, std::move(value)))
    {
    }
    ~TRestore() { FVariable = std::move(FOld); }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;

private:
    T& FVariable;
    T FOld;
};
