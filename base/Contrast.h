#pragma once

#include <cstdint>

// Readability of text on a face, measured as the desktop's accessibility guidelines measure it
// (relative luminance of sRGB colours, contrast ratio from 1:1 to 21:1). Colours are 0xRRGGBB.
using TRgb = std::uint32_t;

// The least contrast at which the program's texts count as readable.
inline constexpr double MinimumTextContrast = 4.5;

double RelativeLuminance(TRgb color);
double ContrastRatio(TRgb first, TRgb second);

// `color` itself where it reads against `other`; otherwise `color` mixed towards white or black
// (whichever parts them more) just far enough to reach MinimumTextContrast. A text colour comes
// out as the nearest readable shade of itself, a face as the nearest face that suits the text.
TRgb ReadableAgainst(TRgb color, TRgb other);
