#include "base/SysUtils.h"

#include "base/Exceptions.h"
#include "base/FormatSettings.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct tm ToTm(const TLocalTime& t)
{
    struct tm result { };
    result.tm_year = t.Year - 1900;
    result.tm_mon = t.Month - 1;
    result.tm_mday = t.Day;
    result.tm_hour = t.Hour;
    result.tm_min = t.Minute;
    result.tm_sec = t.Second;
    // Weekday and day of the year, for locales whose patterns name them.
    if (t.Year >= 1 && t.Year <= 9999 && t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= 31) {
        using namespace std::chrono;
        const year_month_day date{
            year{t.Year}, month{static_cast<unsigned>(t.Month)}, day{static_cast<unsigned>(t.Day)}};
        if (date.ok()) {
            const sys_days days{date};
            result.tm_wday = static_cast<int>(weekday{days}.c_encoding());
            result.tm_yday = (days - sys_days{year{t.Year} / January / 1}).count();
        }
    }
    return result;
}

QString FormatWith(const std::string& pattern, const TLocalTime& t)
{
    if (pattern.empty())
        return {};
    const struct tm parts = ToTm(t);
    // strftime_l reports a buffer that is too small the same way as an empty result: grow a few
    // times, then give up rather than loop on a pattern that writes nothing.
    std::string buffer(128, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const size_t length = ::strftime_l(buffer.data(), buffer.size(), pattern.c_str(), &parts, FormatLocale());
        if (length > 0)
            return FormatLocaleText(std::string_view(buffer.data(), length));
        buffer.resize(buffer.size() * 8);
    }
    return {};
}

enum class TDatePart { dpDay, dpMonth, dpYear };

// The order in which the locale's short date pattern writes day, month and year.
std::vector<TDatePart> DateOrder(std::string_view pattern)
{
    std::vector<TDatePart> order;
    auto add = [&order](std::initializer_list<TDatePart> parts) {
        for (TDatePart part : parts)
            if (std::find(order.begin(), order.end(), part) == order.end())
                order.push_back(part);
    };
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        // Skip flags, width and the E/O modifiers between '%' and the conversion.
        while (
            ++i < pattern.size() && std::string_view("_-0^#EO123456789").find(pattern[i]) != std::string_view::npos) {
        }
        if (i >= pattern.size())
            break;
        switch (pattern[i]) {
        case 'd':
        case 'e':
            add({TDatePart::dpDay});
            break;
        case 'm':
            add({TDatePart::dpMonth});
            break;
        case 'Y':
        case 'y':
        case 'G':
        case 'g':
            add({TDatePart::dpYear});
            break;
        case 'D':
            add({TDatePart::dpMonth, TDatePart::dpDay, TDatePart::dpYear});
            break;
        case 'F':
            add({TDatePart::dpYear, TDatePart::dpMonth, TDatePart::dpDay});
            break;
        default:
            break;
        }
    }
    // A pattern without all three numbers still reads day, month, year.
    add({TDatePart::dpDay, TDatePart::dpMonth, TDatePart::dpYear});
    return order;
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int CurrentYear()
{
    const std::time_t now = std::time(nullptr);
    struct tm local { };
    ::localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// Two-digit years fall in the hundred years from fifty years ago.
int ExpandYear(int twoDigits)
{
    const int pivot = CurrentYear() - 50;
    int year = pivot - pivot % 100 + twoDigits;
    if (year < pivot)
        year += 100;
    return year;
}

// Reads up to four digits at i; false when there is no digit or more than four.
bool ReadNumber(const QString& text, qsizetype& i, qsizetype end, int& value, int& length)
{
    value = 0;
    length = 0;
    for (; i < end && IsDigit(text[i]); ++i) {
        if (++length > 4)
            return false;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return length > 0;
}

} // namespace

QString FormatShortDate(const TLocalTime& t)
{
    return FormatWith(FormatSettings().ShortDateFormat, t);
}

QString FormatLongTime(const TLocalTime& t)
{
    return FormatWith(FormatSettings().LongTimeFormat, t);
}

QString FormatTimeStamp(const TLocalTime& t)
{
    return FormatShortDate(t) + u' ' + FormatLongTime(t);
}

QString FormatTimeOfDay(int64_t seconds)
{
    int64_t ofDay = seconds % 86400;
    if (ofDay < 0)
        ofDay += 86400;
    TLocalTime t;
    t.Hour = static_cast<int>(ofDay / 3600);
    t.Minute = static_cast<int>(ofDay / 60 % 60);
    t.Second = static_cast<int>(ofDay % 60);
    return FormatLongTime(t);
}

bool TryStrToDate(const QString& text, TDate& date)
{
    qsizetype i = 0, end = text.size();
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;
    std::array<int, 3> values{}, lengths{};
    for (size_t n = 0; n < values.size(); ++n) {
        if (n > 0) {
            const qsizetype separatorStart = i;
            while (i < end && !IsDigit(text[i]))
                ++i;
            if (i == separatorStart)
                return false;
        }
        if (!ReadNumber(text, i, end, values[n], lengths[n]))
            return false;
    }
    if (i != end)
        return false;

    TDate result;
    const std::vector<TDatePart> order = DateOrder(FormatSettings().ShortDateFormat);
    for (size_t n = 0; n < values.size(); ++n) {
        switch (order[n]) {
        case TDatePart::dpDay:
            result.Day = values[n];
            break;
        case TDatePart::dpMonth:
            result.Month = values[n];
            break;
        case TDatePart::dpYear:
            result.Year = lengths[n] <= 2 ? ExpandYear(values[n]) : values[n];
            break;
        }
    }
    if (result.Year < 1 || result.Month < 1 || result.Month > 12 || result.Day < 1)
        return false;
    using namespace std::chrono;
    const year_month_day check{
        year{result.Year}, month{static_cast<unsigned>(result.Month)}, day{static_cast<unsigned>(result.Day)}};
    if (!check.ok())
        return false;
    date = result;
    return true;
}

TDate StrToDate(const QString& text)
{
    TDate date;
    if (!TryStrToDate(text, date))
        throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid date"));
    return date;
}

namespace {

// Removes an AM/PM designator, the locale's or the English one in any case, from the start
// or the end of text. Tells which one it was: 0 none, 1 AM, 2 PM.
int TakeDesignator(QString& text)
{
    const TFormatSettings& settings = FormatSettings();
    const std::array<std::pair<QString, int>, 4> designators{{
        {QString::fromStdString(settings.TimeAM), 1},
        {QString::fromStdString(settings.TimePM), 2},
        {QStringLiteral("AM"), 1},
        {QStringLiteral("PM"), 2},
    }};
    for (const auto& [designator, kind] : designators) {
        if (designator.isEmpty())
            continue;
        if (text.endsWith(designator, Qt::CaseInsensitive)) {
            text.chop(designator.size());
            return kind;
        }
        if (text.startsWith(designator, Qt::CaseInsensitive)) {
            text.remove(0, designator.size());
            return kind;
        }
    }
    return 0;
}

QString TrimBlanks(const QString& text)
{
    qsizetype i = 0, end = text.size();
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;
    return text.mid(i, end - i);
}

} // namespace

bool TryStrToTime(const QString& text, int32_t& seconds)
{
    QString body = TrimBlanks(text);
    const int designator = TakeDesignator(body);
    body = TrimBlanks(body);
    // ':' always separates; '.' too where the locale writes times with it (fi_FI: 14.03.22).
    const bool dotSeparates = FormatSettings().LongTimeFormat.find('.') != std::string::npos;
    std::array<int, 3> parts{};
    size_t count = 0;
    qsizetype i = 0;
    while (count < parts.size()) {
        if (count > 0) {
            if (i >= body.size() || !(body[i] == u':' || (dotSeparates && body[i] == u'.')))
                break;
            ++i;
        }
        if (i >= body.size() || !IsDigit(body[i]))
            return false;
        int value = 0;
        for (; i < body.size() && IsDigit(body[i]); ++i)
            value = std::min(value * 10 + (body[i].unicode() - u'0'), 1000);
        parts[count++] = value;
    }
    if (count < 2 || i != body.size())
        return false;
    int hour = parts[0];
    if (designator != 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (designator == 2 ? 12 : 0);
    }
    if (hour >= 24 || parts[1] >= 60 || parts[2] >= 60)
        return false;
    seconds = hour * 3600 + parts[1] * 60 + parts[2];
    return true;
}

QString FormatDuration(int64_t seconds)
{
    const bool negative = seconds < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
    return (negative ? QStringLiteral("-") : QString()) +
        QStringLiteral("%1:%2:%3")
            .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
            .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

bool TryStrToDuration(const QString& text, int64_t& seconds)
{
    if (int32_t ofDay = 0; TryStrToTime(text, ofDay)) {
        seconds = ofDay;
        return true;
    }
    // Hours of a day or more: what the session clock writes for a long session. Twelve digits
    // of hours are more than any clock counts, and keep the sum of many rows far from overflow.
    const QStringList parts = TrimBlanks(text).split(u':');
    if (parts.size() != 3)
        return false;
    std::array<int64_t, 3> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        const QString& part = parts[static_cast<qsizetype>(i)];
        if (part.isEmpty() || part.size() > 12 || !std::all_of(part.begin(), part.end(), IsDigit))
            return false;
        for (QChar c : part)
            values[i] = values[i] * 10 + (c.unicode() - u'0');
    }
    if (values[1] >= 60 || values[2] >= 60)
        return false;
    seconds = values[0] * 3600 + values[1] * 60 + values[2];
    return true;
}

TDate SessionDate(const QString& timeStamp)
{
    const qsizetype blank = timeStamp.indexOf(QLatin1Char(' '));
    return StrToDate(blank < 0 ? timeStamp : timeStamp.left(blank));
}
