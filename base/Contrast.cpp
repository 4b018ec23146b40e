#include "base/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(TRgb channel)
{
    const double c = static_cast<double>(channel & 0xFF) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

TRgb Mix(TRgb from, TRgb to, int step, int steps)
{
    TRgb mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int a = static_cast<int>((from >> shift) & 0xFF);
        const int b = static_cast<int>((to >> shift) & 0xFF);
        mixed |= static_cast<TRgb>(a + (b - a) * step / steps) << shift;
    }
    return mixed;
}

} // namespace

double RelativeLuminance(TRgb color)
{
    return 0.2126 * Linear(color >> 16) + 0.7152 * Linear(color >> 8) + 0.0722 * Linear(color);
}

double ContrastRatio(TRgb first, TRgb second)
{
    const double a = RelativeLuminance(first);
    const double b = RelativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

TRgb ReadableAgainst(TRgb color, TRgb other)
{
    color &= 0xFFFFFF;
    other &= 0xFFFFFF;
    if (ContrastRatio(color, other) >= MinimumTextContrast)
        return color;
    const TRgb extreme = ContrastRatio(0xFFFFFF, other) >= ContrastRatio(0x000000, other) ? 0xFFFFFF : 0x000000;
    // Small steps keep the shade as near to the colour as the contrast allows; the extreme itself
    // always parts from any colour by at least 4.58:1.
    constexpr int Steps = 256;
    for (int step = 1; step < Steps; ++step) {
        const TRgb mixed = Mix(color, extreme, step, Steps);
        if (ContrastRatio(mixed, other) >= MinimumTextContrast)
            return mixed;
    }
    return extreme;
}
