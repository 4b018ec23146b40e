#pragma once

#include "base/FormatSettings.h"

#include <gtest/gtest.h>

#include <string>

// The formats of the named locale for the scope's lifetime, and the process's own formats again
// afterwards, also after a failed assertion. Ok() says whether the locale is installed, and when
// it is not, which one is missing and how to make it.
class TFormatLocaleScope {
public:
    explicit TFormatLocaleScope(const std::string& name)
        : FName(name)
        , FOk(UseLocaleForFormats(name))
    {
    }
    ~TFormatLocaleScope() { UseLocaleForFormats({}); }
    TFormatLocaleScope(const TFormatLocaleScope&) = delete;
    TFormatLocaleScope& operator=(const TFormatLocaleScope&) = delete;

    ::testing::AssertionResult Ok() const
    {
        if (FOk)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << "the locale " << FName << " is not installed; as root: enable \"" << FName
            << " UTF-8\" in /etc/locale.gen and run locale-gen --keep-existing (scripts/setup.sh does both)";
    }

private:
    std::string FName;
    bool FOk;
};
