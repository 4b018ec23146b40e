#pragma once

#include <cstdlib>

// A property of the input that must hold: its failure is a finding, as a crash is.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}
