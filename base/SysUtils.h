#pragma once

#include "base/DateTime.h"

#include <QString>

#include <cstdint>
#include <optional>

// Conversions between numbers, dates and their texts in the user's locale formats (see
// FormatSettings). Numbers use the locale's decimal separator and never group digits.

// Formats with a picture such as "0.00" (two decimals, at least one integer digit) or "00"
// (at least two digits). '0' is a digit that is always written, '#' one written only when it
// is significant, '.' the place of the decimal separator. The value is rounded half away from
// zero on its 18 significant decimal digits, so an amount typed as 2,675 shows 2,68; a value
// that rounds to zero has no minus sign. Text in quotes and any other character is written as
// it stands, except ',' which is ignored (no grouping). An empty picture gives FloatToStr.
// Infinities and NaN give "INF", "-INF" and "NAN", here and in FloatToStr.
QString FormatFloat(const QString& picture, long double value);

// The shortest general form with up to 15 significant digits and no trailing zeros:
// 1234 gives "1234", 1234.5 gives "1234,5" (German). Values from 1E15 up and below 1E-4 are
// written with an exponent: "1E15", "1,5E20", "1E-5".
QString FloatToStr(long double value);

// Text to number: optional blanks around, an optional sign, digits with at most one locale
// decimal separator, an optional exponent. No digit grouping. Returns false for anything else.
bool TryStrToFloat(const QString& text, long double& value);
// Text that does not convert gives def.
long double StrToFloatDef(const QString& text, long double def);
// The program's money: cents as text in the locale's number format, as the tariff list and the
// history's cost cells hold them. Text that is no number is no money: 0.
long double MoneyCents(const QString& text);

// Decimal (or hexadecimal with "$" or "0x") 32-bit signed integer with an optional sign and
// leading blanks. Returns false for anything else or a value that does not fit; hexadecimal
// too is a value with a sign, so "$FFFFFFFF" does not fit (it is not -1).
bool TryStrToInt(const QString& text, int32_t& value);
// The same forms read at any size: a number beyond the 64-bit range is held at its end. Nothing
// for text that is not a number.
std::optional<int64_t> StrToIntSaturated(const QString& text);
int32_t StrToIntDef(const QString& text, int32_t def);

// The short date, the long time, and both joined by one blank (the program's time stamp).
QString FormatShortDate(const TLocalTime& t);
QString FormatLongTime(const TLocalTime& t);
QString FormatTimeStamp(const TLocalTime& t);

// A time of day given in seconds since midnight, in the long time format. Values of a day or
// more wrap around midnight, as a time of day does.
QString FormatTimeOfDay(int64_t seconds);

// A duration as hours, minutes and seconds joined by ":", each at least two digits; the hours
// grow past 24 ("1666:40:00").
QString FormatDuration(int64_t seconds);

// Reads a duration "h:mm:ss" of any number of hours, or anything TryStrToTime reads.
bool TryStrToDuration(const QString& text, int64_t& seconds);

// Reads a date in the order of the locale's short date format (day, month and year in any of
// its orders, any non-digit separator, two-digit years in the window around the current year).
bool TryStrToDate(const QString& text, TDate& date);
// As TryStrToDate, raising EConvertError "'<text>' is not a valid date" on failure.
TDate StrToDate(const QString& text);
// The date a session started on, from its time stamp (short date, a blank, the long time): the
// text before the first blank, as StrToDate reads it.
TDate SessionDate(const QString& timeStamp);

// Reads a time of day "h:m[:s]" with an optional AM/PM designator: seconds since midnight.
// Hours of 24 or more, minutes or seconds of 60 or more are not a time of day: false.
bool TryStrToTime(const QString& text, int32_t& seconds);
