#include "base/Contrast.h"

#include <gtest/gtest.h>

namespace {

// Reference ratios: black on white, grey #777 just below the threshold, and the colours that
// were unreadable on a dark face.
TEST(Contrast, RatiosOfKnownPairs)
{
    struct {
        TRgb First;
        TRgb Second;
        double Ratio;
    } const cases[] = {
        {0x000000, 0xFFFFFF, 21.0},
        {0xFFFFFF, 0xFFFFFF, 1.0},
        {0x777777, 0xFFFFFF, 4.48},
        {0x0000FF, 0xFFFFFF, 8.59},
        {0x0000FF, 0x222020, 1.89}, // a link on the face of a dark palette
        {0x800080, 0x222020, 1.72}, // the gauge's percentage there
        {0x800080, 0xEFEFEF, 8.19},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(ContrastRatio(c.First, c.Second), c.Ratio, 0.01) << std::hex << c.First << " on " << c.Second;
        EXPECT_DOUBLE_EQ(ContrastRatio(c.First, c.Second), ContrastRatio(c.Second, c.First));
    }
}

// A readable colour stays as it is; an unreadable one becomes the nearest readable shade, lighter
// on a dark face and darker on a light one, and never more than a step past the threshold.
TEST(Contrast, ReadableAgainstMovesOnlyAsFarAsNeeded)
{
    struct {
        TRgb Color;
        TRgb Other;
        bool Kept;
        bool Lighter;
    } const cases[] = {
        {0x0000FF, 0xEFEFEF, true, false},
        {0x0000FF, 0x222020, false, true},
        {0x800080, 0x222020, false, true},
        {0x00FFFF, 0xEFEFEF, false, false},
        {0x222020, 0x800080, false, true}, // a dark face under purple text turns light
        {0x777777, 0x777777, false, false},
    };
    for (const auto& c : cases) {
        const TRgb readable = ReadableAgainst(c.Color, c.Other);
        EXPECT_GE(ContrastRatio(readable, c.Other), MinimumTextContrast) << std::hex << c.Color << " on " << c.Other;
        if (c.Kept) {
            EXPECT_EQ(readable, c.Color);
            continue;
        }
        EXPECT_EQ(RelativeLuminance(readable) > RelativeLuminance(c.Color), c.Lighter) << std::hex << c.Color;
        EXPECT_LT(ContrastRatio(readable, c.Other), MinimumTextContrast + 0.2) << std::hex << c.Color;
    }
}

} // namespace
