#include "base/SysUtils.h"

#include "base/FormatSettings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <vector>

namespace {

// |value| = 0.Digits x 10^Point. Digits has no leading or trailing zero; empty means zero.
struct TDecimal {
    std::string Digits;
    long long Point = 0;
};

void StripTrailingZeros(TDecimal& d)
{
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
    if (d.Digits.empty())
        d.Point = 0;
}

// The 18 significant digits of a finite value: what an 80-bit long double holds reliably, so
// amounts typed in decimal (2,675) come back as typed before they are rounded for display.
TDecimal DecimalOf(long double value)
{
    // A whole number below 10^18 has exactly these digits; durations and whole cents, shown
    // every second, need no floating-point formatting.
    const long double magnitude = std::fabs(value);
    if (magnitude < 1e18L && magnitude == std::floor(magnitude)) {
        TDecimal d;
        for (auto n = static_cast<unsigned long long>(magnitude); n != 0; n /= 10)
            d.Digits.push_back(static_cast<char>('0' + n % 10));
        std::reverse(d.Digits.begin(), d.Digits.end());
        d.Point = static_cast<long long>(d.Digits.size());
        StripTrailingZeros(d);
        return d;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", std::fabs(value));
    // text is "d.ddddddddddddddddde+x"
    TDecimal d;
    d.Digits.push_back(text[0]);
    d.Digits.append(text + 2, 17);
    d.Point = std::strtol(text + 20, nullptr, 10) + 1;
    StripTrailingZeros(d);
    return d;
}

// Keeps count significant digits (none or fewer when count <= 0), half away from zero.
void RoundTo(TDecimal& d, long long count)
{
    if (count >= static_cast<long long>(d.Digits.size()))
        return;
    const bool up = count >= 0 && d.Digits[static_cast<size_t>(count)] >= '5';
    d.Digits.resize(static_cast<size_t>(std::max(count, 0LL)));
    if (up) {
        while (!d.Digits.empty() && d.Digits.back() == '9')
            d.Digits.pop_back();
        if (d.Digits.empty()) {
            d.Digits.push_back('1');
            ++d.Point;
        } else {
            ++d.Digits.back();
        }
    }
    StripTrailingZeros(d);
}

// The index-th significant digit, where index 0 is the place just after the point of
// 0.Digits; places before or beyond Digits hold zeros.
char DigitAt(const TDecimal& d, long long index)
{
    return index >= 0 && index < static_cast<long long>(d.Digits.size()) ? d.Digits[static_cast<size_t>(index)] : '0';
}

QString NonFinite(long double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// One piece of a picture: a digit place ('0' or '#'), the decimal point ('.'), or literal text.
struct TPiece {
    char Kind;
    QString Text;
};

std::vector<TPiece> ParsePicture(const QString& picture)
{
    std::vector<TPiece> pieces;
    bool havePoint = false;
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar c = picture[i];
        if (c == u'0' || c == u'#') {
            pieces.push_back({static_cast<char>(c.unicode()), {}});
        } else if (c == u'.' && !havePoint) {
            havePoint = true;
            pieces.push_back({'.', {}});
        } else if (c == u',') {
            // The thousands mark of other programs' pictures: amounts here are never grouped.
        } else if (c == u'"' || c == u'\'') {
            // Quoted text is written as it stands, digits included.
            qsizetype end = picture.indexOf(c, i + 1);
            if (end < 0)
                end = picture.size();
            pieces.push_back({'L', picture.mid(i + 1, end - i - 1)});
            i = end;
        } else {
            pieces.push_back({'L', QString(c)});
        }
    }
    return pieces;
}

} // namespace

namespace {

// What a picture asks for: its digit places before and after the point, and how many of them are
// always written (integer places from the first '0' on, fraction places up to the last '0').
struct TPicturePlaces {
    long long IntPlaces = 0;
    long long IntForced = 0;
    long long FracPlaces = 0;
    long long FracForced = 0;
};

TPicturePlaces CountPlaces(const std::vector<TPiece>& pieces)
{
    TPicturePlaces places;
    long long firstIntZero = 0; // the place of the first '0' before the point, from 1
    bool afterPoint = false;
    for (const TPiece& p : pieces) {
        if (p.Kind == '.') {
            afterPoint = true;
        } else if (p.Kind == '0' || p.Kind == '#') {
            long long& count = afterPoint ? places.FracPlaces : places.IntPlaces;
            ++count;
            if (p.Kind == '0' && afterPoint)
                places.FracForced = count;
            if (p.Kind == '0' && !afterPoint && firstIntZero == 0)
                firstIntZero = count;
        }
    }
    if (firstIntZero != 0)
        places.IntForced = places.IntPlaces - firstIntZero + 1;
    return places;
}

// A picture without digit places is all text.
QString PictureText(const std::vector<TPiece>& pieces)
{
    QString text;
    for (const TPiece& p : pieces)
        text += p.Kind == '.' ? QStringLiteral(".") : p.Text;
    return text;
}

// The value's digits rounded to the picture's fraction places: the integer digits padded to the
// forced places, the fraction digits without the trailing zeros that are not forced.
struct TPictureDigits {
    std::string Int;
    std::string Frac;
    bool Negative = false;
};

TPictureDigits DigitsFor(long double value, const TPicturePlaces& places)
{
    TDecimal d = DecimalOf(value);
    RoundTo(d, d.Point + places.FracPlaces);
    TPictureDigits digits;
    for (long long i = 0; i < d.Point; ++i)
        digits.Int.push_back(DigitAt(d, i));
    if (static_cast<long long>(digits.Int.size()) < places.IntForced)
        digits.Int.insert(0, static_cast<size_t>(places.IntForced) - digits.Int.size(), '0');
    for (long long i = 0; i < places.FracPlaces; ++i)
        digits.Frac.push_back(DigitAt(d, d.Point + i));
    while (static_cast<long long>(digits.Frac.size()) > places.FracForced && digits.Frac.back() == '0')
        digits.Frac.pop_back();
    // A value that rounds to no digit at all shows no sign.
    digits.Negative = value < 0 && !d.Digits.empty();
    return digits;
}

// Writes the digits into the picture's places, its text as it stands.
QString FillPicture(const std::vector<TPiece>& pieces, const TPicturePlaces& places, const TPictureDigits& digits)
{
    QString result;
    if (digits.Negative)
        result += u'-';
    // Integer digits beyond the places all go to the first place, as in "00" showing 100.
    const long long surplus = static_cast<long long>(digits.Int.size()) - places.IntPlaces;
    long long intIndex = 0, fracIndex = 0;
    bool inFraction = false;
    for (const TPiece& p : pieces) {
        if (p.Kind == 'L') {
            result += p.Text;
        } else if (p.Kind == '.') {
            inFraction = true;
            if (places.IntPlaces == 0)
                result += QString::fromLatin1(digits.Int);
            if (!digits.Frac.empty())
                result += FormatSettings().DecimalSeparator;
        } else if (!inFraction) {
            const long long from = std::max(intIndex == 0 ? 0 : intIndex + surplus, 0LL);
            const long long to = intIndex + surplus + 1;
            if (to > from)
                result +=
                    QString::fromLatin1(digits.Int.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
            ++intIndex;
        } else {
            if (fracIndex < static_cast<long long>(digits.Frac.size()))
                result += QLatin1Char(digits.Frac[static_cast<size_t>(fracIndex)]);
            ++fracIndex;
        }
    }
    return result;
}

} // namespace

namespace {

struct TParsedPicture {
    QString Picture;
    std::vector<TPiece> Pieces;
    TPicturePlaces Places;
};

// The few pictures a program uses come again every second: each is parsed once per thread.
const TParsedPicture& ParsedPicture(const QString& picture)
{
    thread_local std::vector<TParsedPicture> parsed;
    for (const TParsedPicture& known : parsed)
        if (known.Picture == picture)
            return known;
    if (parsed.size() >= 8)
        parsed.erase(parsed.begin());
    std::vector<TPiece> pieces = ParsePicture(picture);
    const TPicturePlaces places = CountPlaces(pieces);
    parsed.push_back({picture, std::move(pieces), places});
    return parsed.back();
}

} // namespace

QString FormatFloat(const QString& picture, long double value)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    if (picture.isEmpty())
        return FloatToStr(value);
    const TParsedPicture& parsed = ParsedPicture(picture);
    const std::vector<TPiece>& pieces = parsed.Pieces;
    const TPicturePlaces& places = parsed.Places;
    if (places.IntPlaces == 0 && places.FracPlaces == 0)
        return PictureText(pieces);
    return FillPicture(pieces, places, DigitsFor(value, places));
}

QString FloatToStr(long double value)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    TDecimal d = DecimalOf(value);
    RoundTo(d, 15);
    if (d.Digits.empty())
        return QStringLiteral("0");
    const QChar separator = FormatSettings().DecimalSeparator;
    const long long size = static_cast<long long>(d.Digits.size());
    QString result;
    if (value < 0)
        result += u'-';
    const long long exponent = d.Point - 1;
    if (exponent < -4 || exponent > 14) {
        result += QLatin1Char(d.Digits[0]);
        if (size > 1)
            result += separator + QString::fromLatin1(d.Digits.substr(1));
        return result + u'E' + QString::number(exponent);
    }
    if (d.Point <= 0)
        result += u'0';
    for (long long i = 0; i < d.Point; ++i)
        result += QLatin1Char(DigitAt(d, i));
    if (size > d.Point) {
        result += separator;
        for (long long i = d.Point; i < size; ++i)
            result += QLatin1Char(DigitAt(d, i));
    }
    return result;
}

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int HexValue(QChar c)
{
    if (IsDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

locale_t CLocale()
{
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

} // namespace

bool TryStrToFloat(const QString& text, long double& value)
{
    const QChar separator = FormatSettings().DecimalSeparator;
    qsizetype i = 0, end = text.size();
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;
    // The checked text is rewritten in the C locale's form for strtold_l, which rounds exactly.
    std::string plain;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        plain += static_cast<char>(text[i++].unicode());
    int digits = 0;
    bool haveSeparator = false;
    for (; i < end; ++i) {
        if (IsDigit(text[i])) {
            plain += static_cast<char>(text[i].unicode());
            ++digits;
        } else if (text[i] == separator && !haveSeparator) {
            plain += '.';
            haveSeparator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        plain += 'e';
        if (++i < end && (text[i] == u'+' || text[i] == u'-'))
            plain += static_cast<char>(text[i++].unicode());
        int exponentDigits = 0;
        for (; i < end && IsDigit(text[i]); ++i, ++exponentDigits)
            plain += static_cast<char>(text[i].unicode());
        if (exponentDigits == 0)
            return false;
    }
    if (i != end)
        return false;
    char* stop = nullptr;
    const long double result = ::strtold_l(plain.c_str(), &stop, CLocale());
    if (stop != plain.c_str() + plain.size() || std::isinf(result))
        return false;
    value = result;
    return true;
}

long double StrToFloatDef(const QString& text, long double def)
{
    long double value = 0;
    return TryStrToFloat(text, value) ? value : def;
}

long double MoneyCents(const QString& text)
{
    return StrToFloatDef(text, 0);
}

std::optional<int64_t> StrToIntSaturated(const QString& text)
{
    // Blanks only in front, the sign before the "$" or "0x", and nothing after the digits.
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i < size && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < size && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == size)
        return std::nullopt;
    // Counted negative, as the negative range is the larger one; beyond it the number stays at
    // the end of the range.
    int64_t value = 0;
    for (; i < size; ++i) {
        const int digit = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i].unicode() - u'0' : -1);
        if (digit < 0)
            return std::nullopt;
        value = value < (INT64_MIN + digit) / base ? INT64_MIN : value * base - digit;
    }
    if (negative)
        return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

bool TryStrToInt(const QString& text, int32_t& value)
{
    const std::optional<int64_t> number = StrToIntSaturated(text);
    if (!number || *number < INT32_MIN || *number > INT32_MAX)
        return false;
    value = static_cast<int32_t>(*number);
    return true;
}

int32_t StrToIntDef(const QString& text, int32_t def)
{
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : def;
}
