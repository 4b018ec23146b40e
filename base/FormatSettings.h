#pragma once

#include <QChar>
#include <QString>

#include <locale.h>
#include <string>
#include <string_view>

// The number, date and time formats of the user's locale, read from the C library's locale
// once, on first use. With de_DE.UTF-8 a time stamp reads 08.12.2026 14:03:22 and an amount 4,50.
struct TFormatSettings {
    std::string LocaleName;      // the locale the settings were read from
    QChar DecimalSeparator;      // LC_NUMERIC radix character
    std::string ShortDateFormat; // strftime pattern of the locale's date (D_FMT)
    std::string LongTimeFormat;  // strftime pattern of the locale's time (T_FMT)
    std::string TimeAM;          // AM_STR in UTF-8, may be empty
    std::string TimePM;          // PM_STR in UTF-8, may be empty
};

// The settings of the process's locale (LANG / LC_* as the C library resolves them).
const TFormatSettings& FormatSettings();

// Test seam: reads the settings from the named locale instead ("de_DE.UTF-8"), or from the
// process's locale again when name is empty. Returns false, changing nothing, when the locale
// is not installed.
bool UseLocaleForFormats(const std::string& name);

// The C library's locale object the current settings were read from, for strftime_l and the
// other *_l functions. Stays valid for the life of the process.
locale_t FormatLocale();

// Text in the character set of FormatLocale() (what strftime_l writes) as a QString.
QString FormatLocaleText(std::string_view bytes);
