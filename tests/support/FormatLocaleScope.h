#pragma once

#include "base/FormatSettings.h"

#include <string>

// The formats of the named locale for the scope's lifetime, and the process's own formats again
// afterwards, also after a failed assertion. Ok() says whether the locale is installed.
class TFormatLocaleScope {
public:
    explicit TFormatLocaleScope(const std::string& name)
        : FOk(UseLocaleForFormats(name))
    {
    }
    ~TFormatLocaleScope() { UseLocaleForFormats({}); }
    TFormatLocaleScope(const TFormatLocaleScope&) = delete;
    TFormatLocaleScope& operator=(const TFormatLocaleScope&) = delete;

    bool Ok() const { return FOk; }

private:
    bool FOk;
};
