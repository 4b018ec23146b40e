#include "widgets/RarBar.h"

#include "tests/support/QtPrinters.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

namespace {

struct TLevelCase {
    int Min;
    int Max;
    int Progress;
    int BarHeight;
    int Fill;
    const char* Text;
};

std::ostream& operator<<(std::ostream& os, const TLevelCase& c)
{
    return os << "Min " << c.Min << ", Max " << c.Max << ", Progress " << c.Progress << ", H " << c.BarHeight;
}

class RarBarLevelTable : public ::testing::TestWithParam<TLevelCase> { };

TEST_P(RarBarLevelTable, FillAndPercentage)
{
    const TLevelCase& c = GetParam();
    const TRarBarLevel level = TRarBar::ComputeLevel(c.Min, c.Max, c.Progress, c.BarHeight);
    EXPECT_EQ(level.Fill, c.Fill);
    EXPECT_EQ(TRarBar::PercentageText(level.Percent), QString::fromLatin1(c.Text));
}

// Height 120 with the top offset 5: a box of 110 pixels, 100 of them usable.
INSTANTIATE_TEST_SUITE_P(Height120Max200, RarBarLevelTable,
    ::testing::Values(TLevelCase{0, 200, 25, 110, 12, "12%"}, // 12.5 goes down to the even 12
        TLevelCase{0, 200, 75, 110, 38, "38%"},               // 37.5 goes up to the even 38
        TLevelCase{0, 200, 125, 110, 62, "62%"}, TLevelCase{0, 200, 200, 110, 100, "100%"},
        TLevelCase{0, 200, 300, 110, 100, "150%"}, // the fill stops at the lid, the text goes on
        TLevelCase{0, 200, -40, 110, 0, "-20%"},   // the fill stops at the floor, the text goes on
        TLevelCase{0, 200, 0, 110, 0, "0%"}, TLevelCase{100, 300, 125, 110, 12, "12%"}));

INSTANTIATE_TEST_SUITE_P(MaxEqualsMin, RarBarLevelTable,
    ::testing::Values(
        TLevelCase{0, 0, 0, 207, 0, "0%"}, TLevelCase{0, 0, 1234, 207, 0, "0%"}, TLevelCase{50, 50, -7, 110, 0, "0%"}));

// Boxes lower than 11 pixels have no scale: they show nothing and 0%, whatever the values.
INSTANTIATE_TEST_SUITE_P(LowBoxes, RarBarLevelTable,
    ::testing::Values(TLevelCase{0, 200, 100, 0, 0, "0%"}, TLevelCase{0, 200, 100, 1, 0, "0%"},
        TLevelCase{0, 200, 100, 9, 0, "0%"}, TLevelCase{0, 200, 100, 10, 0, "0%"}, TLevelCase{0, 200, 300, -5, 0, "0%"},
        TLevelCase{0, 200, -40, -180, 0, "0%"}));

// The first height with a scale: one usable pixel.
INSTANTIATE_TEST_SUITE_P(OnePixelBox, RarBarLevelTable,
    ::testing::Values(TLevelCase{0, 100, 50, 11, 0, "50%"}, // half a pixel goes to the even 0
        TLevelCase{0, 100, 100, 11, 1, "100%"}, TLevelCase{0, 100, 150, 11, 1, "150%"}));

// The main window's gauge: 217 high, a box of 207 with 197 usable pixels.
INSTANTIATE_TEST_SUITE_P(MainWindowBox, RarBarLevelTable,
    ::testing::Values(TLevelCase{0, 50000, 12500, 207, 49, "25%"}, TLevelCase{0, 50000, 50000, 207, 197, "100%"},
        TLevelCase{0, 1000, 1, 207, 0, "0%"}));

TEST(RarBarLevel, MaxBelowMinFillsTheOtherWayRound)
{
    EXPECT_EQ(TRarBar::ComputeLevel(100, 0, 25, 110), (TRarBarLevel{75, 75}));
}

TEST(RarBarLevel, ExtremeValuesNeitherOverflowNorLeaveTheBox)
{
    EXPECT_EQ(TRarBar::ComputeLevel(INT_MIN, INT_MAX, INT_MAX, 110), (TRarBarLevel{100, 100}));
    EXPECT_EQ(TRarBar::ComputeLevel(INT_MIN, INT_MAX, INT_MIN, 110), (TRarBarLevel{0, 0}));
    const TRarBarLevel far = TRarBar::ComputeLevel(0, 1, INT_MAX, 110);
    EXPECT_EQ(far.Fill, 100);
    EXPECT_GT(far.Percent, 0);
    EXPECT_EQ(TRarBar::ComputeLevel(0, 1, INT_MIN, 110).Fill, 0);
}

TEST(RarBarLevel, PercentageTextHasNoSpaceBeforeTheSign)
{
    EXPECT_EQ(TRarBar::PercentageText(37), QStringLiteral("37%"));
    EXPECT_EQ(TRarBar::PercentageText(-20), QStringLiteral("-20%"));
    EXPECT_EQ(TRarBar::PercentageText(0), QStringLiteral("0%"));
}

TEST(RarBarLevel, BoxHeightIsTheControlHeightLessTopOffsetAndFiveBelow)
{
    EXPECT_EQ(TRarBar::BarHeightFor(120, 5), 110);
    EXPECT_EQ(TRarBar::BarHeightFor(217, 5), 207);
    EXPECT_EQ(TRarBar::BarHeightFor(10, 5), 0);
    EXPECT_EQ(TRarBar::BarHeightFor(3, 5), -7);
}

TEST(RarBarLevel, EveryDrawingRecomputesTheBoxHeight)
{
    QWidget host;
    auto* bar = new TRarBar(&host);
    bar->resize(65, 217);
    bar->Render();
    EXPECT_EQ(bar->BarHeight(), 207);
    bar->SetY(20);
    bar->resize(65, 100);
    bar->Render();
    EXPECT_EQ(bar->BarHeight(), 75);
}

} // namespace
