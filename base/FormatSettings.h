#pragma once

#include <QChar>

#include <string>

// The number, date and time formats of the user's locale, read from the C library's locale
// once, on first use. With de_DE.UTF-8 a time stamp reads 08.12.2026 14:03:22 and an amount 4,50.
struct TFormatSettings {
    std::string LocaleName;      // the locale the settings were read from
    QChar DecimalSeparator;      // LC_NUMERIC radix character
    std::string ShortDateFormat; // strftime pattern of the locale's date (D_FMT)
    std::string LongTimeFormat;  // strftime pattern of the locale's time (T_FMT)
    std::string TimeAM;          // AM_STR, may be empty
    std::string TimePM;          // PM_STR, may be empty
};

// The settings of the process's locale (LANG / LC_* as the C library resolves them).
const TFormatSettings& FormatSettings();

// Test seam: reads the settings from the named locale instead ("de_DE.UTF-8"), or from the
// process's locale again when name is empty. Returns false, changing nothing, when the locale
// is not installed.
bool UseLocaleForFormats(const std::string& name);
