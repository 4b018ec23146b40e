#include "widgets/RarBar.h"

#include "tests/support/Palettes.h"
#include "tests/widgets/RarBarTestSupport.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A gauge 65 x 120 with the top offset 5: the box spans y 5..115, its level for a fill f has
// its front corner at y = 115 - f and its centre at y = 110 - f.
class RarBarPaint : public ::testing::Test {
protected:
    RarBarPaint()
    {
        Bar = new TRarBar(&Host);
        Bar->resize(65, 120);
        Bar->SetMax(200);
    }

    QImage RenderAt(int progress)
    {
        Bar->SetProgress(progress);
        return Bar->Render();
    }

    // Where the percentage may stand: right of the box, down to the level's front corner.
    QRect TextColumn() const { return QRect(31, 0, Bar->width() - 31, Bar->height()); }
    int TextHeight(const QImage& image) const { return QFontMetrics(Bar->Font(), &image).height(); }

    QWidget Host;
    TRarBar* Bar = nullptr;
};

TEST_F(RarBarPaint, EmptyBoxShowsLidWallsAndTheTwoFloorHalves)
{
    const QImage image = RenderAt(0);
    ASSERT_EQ(image.size(), QSize(65, 120));
    EXPECT_TRUE(HasColor(image, 64, 2, Bar->Color()));
    EXPECT_TRUE(HasColor(image, 15, 10, Bar->TopColor()));
    EXPECT_TRUE(HasColor(image, 8, 10, Bar->TopColor()));
    EXPECT_TRUE(HasColor(image, 7, 60, Bar->SideColor1()));
    EXPECT_TRUE(HasColor(image, 23, 60, Bar->SideColor2()));
    EXPECT_TRUE(HasColor(image, 8, 110, Bar->EmptyColor1()));
    EXPECT_TRUE(HasColor(image, 22, 110, Bar->EmptyColor2()));
}

TEST_F(RarBarPaint, EmptyBoxDrawsEveryEdgeInTheEmptyLineColour)
{
    const QImage image = RenderAt(0);
    for (const int x : {0, 15, 30})
        EXPECT_TRUE(HasColor(image, x, 60, Bar->EmptyLineColor())) << "edge at x " << x;
    EXPECT_TRUE(HasColor(image, 6, 8, Bar->EmptyLineColor()));   // lid outline
    EXPECT_TRUE(HasColor(image, 6, 112, Bar->EmptyLineColor())); // floor front edges
    EXPECT_TRUE(HasColor(image, 24, 112, Bar->EmptyLineColor()));
}

TEST_F(RarBarPaint, ProgressBelowMinAndMaxEqualToMinLookLikeAnEmptyBox)
{
    const QImage empty = RenderAt(0);
    EXPECT_EQ(RenderAt(-40).copy(0, 0, 31, 120), empty.copy(0, 0, 31, 120));
    Bar->SetMax(0);
    EXPECT_EQ(RenderAt(1234).copy(0, 0, 31, 120), empty.copy(0, 0, 31, 120));
}

TEST_F(RarBarPaint, PartlyFilledBoxShowsFacesLevelAndFloor)
{
    const QImage image = RenderAt(75); // 38 pixels: level centre at y 72
    EXPECT_TRUE(HasColor(image, 7, 95, Bar->FilledSideColor1()));
    EXPECT_TRUE(HasColor(image, 23, 95, Bar->FilledSideColor2()));
    EXPECT_TRUE(HasColor(image, 10, 72, Bar->FilledColor()));
    EXPECT_TRUE(HasColor(image, 20, 72, Bar->FilledColor()));
    EXPECT_TRUE(HasColor(image, 8, 110, Bar->BottomColor()));
    EXPECT_TRUE(HasColor(image, 22, 110, Bar->BottomColor()));
    EXPECT_TRUE(HasColor(image, 7, 40, Bar->SideColor1()));
    EXPECT_TRUE(HasColor(image, 23, 40, Bar->SideColor2()));
    EXPECT_TRUE(HasColor(image, 15, 10, Bar->TopColor()));
}

TEST_F(RarBarPaint, PartlyFilledBoxChangesEdgeColourAtTheLevel)
{
    const QImage image = RenderAt(75);
    for (const int x : {0, 15, 30}) {
        EXPECT_TRUE(HasColor(image, x, 40, Bar->EmptyLineColor())) << "edge at x " << x;
        EXPECT_TRUE(HasColor(image, x, 95, Bar->FilledLineColor())) << "edge at x " << x;
    }
    EXPECT_TRUE(HasColor(image, 6, 8, Bar->EmptyLineColor()));
    EXPECT_TRUE(HasColor(image, 6, 112, Bar->FilledLineColor()));
    EXPECT_TRUE(HasColor(image, 24, 112, Bar->FilledLineColor()));
}

TEST_F(RarBarPaint, FullBoxOutlinesTheLidInTheFilledLineColour)
{
    for (const int progress : {200, 300}) {
        const QImage image = RenderAt(progress);
        EXPECT_TRUE(HasColor(image, 6, 8, Bar->FilledLineColor())) << progress;
        EXPECT_TRUE(HasColor(image, 24, 8, Bar->FilledLineColor())) << progress;
        EXPECT_TRUE(HasColor(image, 8, 10, Bar->FilledColor())) << progress; // the level covers the lid
        EXPECT_TRUE(HasColor(image, 0, 20, Bar->FilledLineColor())) << progress;
        EXPECT_TRUE(HasColor(image, 7, 60, Bar->FilledSideColor1())) << progress;
        EXPECT_TRUE(HasColor(image, 23, 60, Bar->FilledSideColor2())) << progress;
    }
}

TEST_F(RarBarPaint, PercentageStandsRightOfTheBoxWithItsBottomOnTheLevel)
{
    const QImage image = RenderAt(75);
    const QRect ink = InkBounds(image, TextColumn(), Bar->Color());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 33);
    EXPECT_LE(ink.bottom(), 115 - 38 - 1);
    EXPECT_GE(ink.top(), 115 - 38 - TextHeight(image));
    EXPECT_TRUE(ContainsColor(image, ink, Bar->FontColor()));
}

TEST_F(RarBarPaint, PercentageRisesWithTheLevel)
{
    const QRect low = InkBounds(RenderAt(25), TextColumn(), Bar->Color());
    const QRect high = InkBounds(RenderAt(75), TextColumn(), Bar->Color());
    ASSERT_FALSE(low.isEmpty());
    ASSERT_FALSE(high.isEmpty());
    EXPECT_EQ(low.bottom() - high.bottom(), 38 - 12);
}

TEST_F(RarBarPaint, WithoutPercentageNothingIsDrawnBesideTheBox)
{
    Bar->SetShowPercentage(false);
    EXPECT_TRUE(InkBounds(RenderAt(75), TextColumn(), Bar->Color()).isEmpty());
}

TEST_F(RarBarPaint, OffsetsMoveTheWholeDrawing)
{
    Bar->resize(80, 130);
    Bar->SetX(10);
    Bar->SetY(15);
    const QImage image = RenderAt(75); // box 110 high from y 15: level centre at y 82
    EXPECT_TRUE(HasColor(image, 25, 20, Bar->TopColor()));
    EXPECT_TRUE(HasColor(image, 20, 82, Bar->FilledColor()));
    EXPECT_TRUE(HasColor(image, 18, 120, Bar->BottomColor()));
    EXPECT_TRUE(HasColor(image, 5, 60, Bar->Color()));
    EXPECT_GE(InkBounds(image, QRect(41, 0, 39, 130), Bar->Color()).left(), 43);
}

TEST_F(RarBarPaint, ChosenSchemeShowsInTheNextPicture)
{
    Bar->SetColorScheme(rcAcid);
    const QImage image = RenderAt(75);
    EXPECT_TRUE(HasColor(image, 7, 40, 0x68E068));
    EXPECT_TRUE(HasColor(image, 7, 95, 0x3C8296));
    EXPECT_TRUE(ContainsColor(image, TextColumn(), 0xFFFF00));
}

TEST_F(RarBarPaint, BackgroundIsTheControlsColour)
{
    Bar->SetColor(0x00FFFF);
    const QImage image = RenderAt(75);
    EXPECT_TRUE(HasColor(image, 64, 2, 0x00FFFF));
    EXPECT_TRUE(HasColor(image, 64, 119, 0x00FFFF));
}

TEST_F(RarBarPaint, NarrowControlCutsTheText)
{
    Bar->resize(36, 120);
    const QImage image = RenderAt(75);
    ASSERT_EQ(image.size(), QSize(36, 120));
    EXPECT_FALSE(InkBounds(image, QRect(33, 0, 3, 120), Bar->Color()).isEmpty());
}

TEST_F(RarBarPaint, LowBoxIsDrawnLikeOneOfHeightZero)
{
    Bar->SetY(25);
    Bar->resize(65, 30); // H = 0
    const QImage zero = RenderAt(100);
    for (int height = 31; height <= 40; ++height) {
        Bar->resize(65, height); // H = 1 .. 10
        const QImage low = RenderAt(100);
        EXPECT_EQ(low.copy(0, 0, 65, 30), zero) << "height " << height;
    }
}

TEST_F(RarBarPaint, DegenerateSizesNeverFail)
{
    for (const int width : {0, 1, 20, 40})
        for (int height = 0; height <= 20; ++height) {
            Bar->resize(width, height);
            const QImage image = RenderAt(150);
            EXPECT_EQ(image.size(), width && height ? QSize(width, height) : QSize(0, 0));
        }
}

// On the main window the gauge stands in the "Limits" box. In the button face it must not show
// as a patch of its own: neither where the style shades the inside of a group box, nor where the
// palette's button colour is not the colour of windows and boxes.
TEST(RarBarInBox, ButtonFaceIsTheSurfaceOfTheBox)
{
    for (const bool ownButtonColour : {false, true}) {
        QGroupBox box(QStringLiteral("Limits"));
        box.resize(125, 400);
        if (ownButtonColour) {
            QPalette palette = box.palette();
            palette.setColor(QPalette::Button, QColor(200, 230, 255));
            box.setPalette(palette);
        }
        auto* bar = new TRarBar(&box);
        bar->setGeometry(32, 160, 65, 217); // box 207 high
        bar->SetMax(100);
        bar->SetProgress(50);
        const int fill = TRarBar::ComputeLevel(0, 100, 50, 207).Fill;
        const int textTop = 5 + 207 - fill - QFontMetrics(bar->Font()).height();
        const QImage image = box.grab().toImage();

        const QColor surface = image.pixelColor(16, 300); // inside the box, left of the gauge
        const QPoint probes[] = {{33, 161}, {96, 161}, {96, 376}, {70, 300}, {32 + 34, 160 + textTop}};
        for (const QPoint probe : probes)
            EXPECT_EQ(image.pixelColor(probe).name().toStdString(), surface.name().toStdString())
                << "at (" << probe.x() << ", " << probe.y() << ")" << (ownButtonColour ? " with a button colour" : "");
        // The drawing itself is still there.
        EXPECT_EQ(image.pixelColor(32 + 7, 160 + 40), ColorToQColor(bar->SideColor1()));
    }
}

// The percentage reads on the gauge in a light and in a dark palette, in every scheme. The
// scheme's colours stay as they are: on the window's face where they read on it, otherwise on
// the light face they were chosen for, or on a face that suits them.
TEST_F(RarBarPaint, PercentageReadsInLightAndDarkPalettes)
{
    for (const bool dark : {false, true}) {
        Host.setPalette(dark ? DarkPalette() : LightPalette());
        for (const TRBColorScheme scheme : {rcPurpleBlue, rcAcid, rcLightGreen, rcLightBlue}) {
            Bar->SetColorScheme(scheme);
            const QImage image = RenderAt(75);
            const QRect text(33, 0, Bar->width() - 33, Bar->height());
            EXPECT_TRUE(ContainsColor(image, text, Bar->FontColor())) << "scheme " << scheme;
            EXPECT_GE(InkContrast(image.copy(text)), MinimumTextContrast)
                << "scheme " << scheme << (dark ? " in the dark palette" : " in the light palette");
        }
    }

    Bar->SetColorScheme(rcPurpleBlue);
    Host.setPalette(LightPalette());
    EXPECT_EQ(Bar->FaceColor(), Host.palette().color(QPalette::Window));
    Host.setPalette(DarkPalette());
    EXPECT_EQ(Bar->FaceColor(), QColor(0xF0, 0xF0, 0xF0));
    // A fixed Color is the caller's choice and stays.
    Bar->SetColor(0x000000);
    EXPECT_EQ(Bar->FaceColor(), QColor(Qt::black));
}

} // namespace
