#pragma once

#include <compare>

// A local calendar date and time of day, as the clock hands it out and the locale formats it.
struct TLocalTime {
    int Year = 1899;
    int Month = 12; // 1..12
    int Day = 30;   // 1..31
    int Hour = 0;   // 0..23
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;

    friend bool operator==(const TLocalTime&, const TLocalTime&) = default;
};

// A calendar date alone, as read back from a date text.
struct TDate {
    int Year = 0;
    int Month = 0;
    int Day = 0;

    friend bool operator==(const TDate&, const TDate&) = default;
    friend auto operator<=>(const TDate&, const TDate&) = default;
};
