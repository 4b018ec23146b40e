#include "widgets/RarBar.h"

#include "tests/widgets/RarBarTestSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace {

TEST(RarBarProperties, ConstructorDefaults)
{
    QWidget host;
    auto* bar = new TRarBar(&host);
    EXPECT_EQ(bar->parent(), &host);
    EXPECT_EQ(bar->size(), QSize(60, 180));
    EXPECT_EQ(bar->Min(), 0);
    EXPECT_EQ(bar->Max(), 100);
    EXPECT_EQ(bar->Progress(), 0);
    EXPECT_TRUE(bar->ShowPercentage());
    EXPECT_EQ(bar->X(), 0);
    EXPECT_EQ(bar->Y(), 5);
    EXPECT_EQ(bar->Color(), clBtnFace);
    EXPECT_EQ(bar->ColorScheme(), rcPurpleBlue);
    EXPECT_EQ(bar->FontColor(), clPurple);
    EXPECT_TRUE(bar->Font().bold());
}

TEST(RarBarProperties, TakesNoFocusAndNoMouse)
{
    QWidget host;
    auto* bar = new TRarBar(&host);
    EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(bar->testAttribute(Qt::WA_TransparentForMouseEvents));
}

// The fifteen colours in property order, then the font colour.
using TSchemeRow = std::array<TColor, 16>;

TSchemeRow ColoursOf(const TRarBar& bar)
{
    return {bar.TopColor(), bar.SideColor1(), bar.SideColor2(), bar.EmptyColor1(), bar.EmptyColor2(),
        bar.EmptyFrameColor1(), bar.EmptyFrameColor2(), bar.BottomFrameColor(), bar.BottomColor(),
        bar.FilledFrameColor(), bar.FilledColor(), bar.FilledSideColor1(), bar.FilledSideColor2(), bar.EmptyLineColor(),
        bar.FilledLineColor(), bar.FontColor()};
}

// What each scheme paints, one row per colour property in the order above and one column per
// scheme: rcPurpleBlue, rcAcid, rcLightGreen, rcLightBlue.
struct TPropertyColours {
    const char* Property;
    std::array<TColor, 4> ByScheme;
};

const std::array<TPropertyColours, 16> ExpectedColours = {{
    {"TopColor", {0xFF8080, 0x80FF80, 0xFF8080, 0x88C048}},
    {"SideColor1", {0xE06868, 0x68E068, 0xE06868, 0x82963C}},
    {"SideColor2", {0xFF8080, 0x80FF80, 0xFF8080, 0x88C048}},
    {"EmptyColor1", {0xC06868, 0x68C068, 0xC06868, 0x82963C}},
    {"EmptyColor2", {0xDF8080, 0x80DF80, 0xDF8080, 0x88C048}},
    {"EmptyFrameColor1", {0xA06868, 0x68A068, 0xA06868, 0xA06868}},
    {"EmptyFrameColor2", {0xBF8080, 0x80BF80, 0xBF8080, 0xBF8080}},
    {"BottomFrameColor", {0x64408C, 0x40648C, 0x648C40, 0xD05858}},
    {"BottomColor", {0x7A408C, 0x407A8C, 0x7A8C40, 0xE05858}},
    {"FilledFrameColor", {0x8060A0, 0x60A0A0, 0x80A060, 0xD08080}},
    {"FilledColor", {0xA060A0, 0x60A0A0, 0xA0A060, 0xE08080}},
    {"FilledSideColor1", {0x823C96, 0x3C8296, 0x82963C, 0xE06868}},
    {"FilledSideColor2", {0x8848C0, 0x4888C0, 0x88C048, 0xFF8080}},
    {"EmptyLineColor", {0xFFB0B0, 0xE0FFE0, 0xFFE0E0, 0xC8E988}},
    {"FilledLineColor", {0xD060E0, 0x68A8E0, 0x98E068, 0xD0A8A8}},
    {"FontColor", {0x800080, 0xFFFF00, 0x489008, 0x800080}},
}};

TSchemeRow SchemeTable(TRBColorScheme scheme)
{
    TSchemeRow row{};
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = ExpectedColours[i].ByScheme[scheme];
    return row;
}

TEST(RarBarProperties, ConstructorAppliesPurpleBlue)
{
    QWidget host;
    const TRarBar bar(&host);
    EXPECT_EQ(ColoursOf(bar), SchemeTable(rcPurpleBlue));
}

TEST(RarBarProperties, EachSchemeSetsItsFifteenColoursAndFontColour)
{
    QWidget host;
    TRarBar bar(&host);
    // From a scheme back to each one, so no colour is left over from the one before.
    for (const TRBColorScheme scheme : {rcAcid, rcLightGreen, rcLightBlue, rcPurpleBlue, rcLightBlue}) {
        bar.SetColorScheme(scheme);
        EXPECT_EQ(bar.ColorScheme(), scheme);
        EXPECT_EQ(ColoursOf(bar), SchemeTable(scheme)) << "scheme " << int(scheme);
    }
}

TEST(RarBarProperties, UnknownSchemeIsOnlyStored)
{
    QWidget host;
    TRarBar bar(&host);
    bar.SetColorScheme(rcAcid);
    bar.SetTopColor(0x123456);
    bar.SetColorScheme(static_cast<TRBColorScheme>(4));
    EXPECT_EQ(int(bar.ColorScheme()), 4);
    EXPECT_EQ(bar.TopColor(), 0x123456u);
    EXPECT_EQ(bar.FontColor(), 0xFFFF00u);
}

TEST(RarBarProperties, FontIsCopied)
{
    QWidget host;
    TRarBar bar(&host);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    bar.SetFont(font);
    font.setItalic(true);
    EXPECT_EQ(bar.Font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(bar.Font().pixelSize(), 11);
    EXPECT_FALSE(bar.Font().italic());
}

// Counts the paint events the gauge receives on the offscreen platform.
class RarBarRepaint : public ::testing::Test, public QObject {
protected:
    RarBarRepaint()
    {
        Host.resize(100, 240);
        Bar = new TRarBar(&Host);
        Host.show();
        QCoreApplication::processEvents();
        Bar->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }

    int PaintsAfter(const std::function<void()>& write)
    {
        QCoreApplication::processEvents();
        Paints = 0;
        write();
        QCoreApplication::processEvents();
        return Paints;
    }

    QWidget Host;
    TRarBar* Bar = nullptr;
    int Paints = 0;
};

TEST_F(RarBarRepaint, ValueWritesShowAtOnce)
{
    EXPECT_GE(PaintsAfter([this] { Bar->SetMin(-10); }), 1);
    EXPECT_GE(PaintsAfter([this] { Bar->SetMax(50); }), 1);
    EXPECT_GE(PaintsAfter([this] { Bar->SetProgress(20); }), 1);
    EXPECT_GE(PaintsAfter([this] { Bar->SetShowPercentage(false); }), 1);
    EXPECT_GE(PaintsAfter([this] { Bar->SetColor(0x00FF00); }), 1);
}

TEST_F(RarBarRepaint, LookWritesWaitForTheNextPaint)
{
    EXPECT_EQ(PaintsAfter([this] { Bar->SetColorScheme(rcAcid); }), 0);
    EXPECT_EQ(Bar->FontColor(), 0xFFFF00u);
    EXPECT_EQ(PaintsAfter([this] { Bar->SetTopColor(0x0000FF); }), 0);
    EXPECT_EQ(PaintsAfter([this] { Bar->SetFont(QFont()); }), 0);
    EXPECT_EQ(PaintsAfter([this] { Bar->SetX(3); }), 0);
    EXPECT_EQ(PaintsAfter([this] { Bar->SetY(7); }), 0);
}

TEST_F(RarBarRepaint, ProgressWrittenAfterASchemeShowsTheNewColours)
{
    Bar->resize(65, 120);
    Bar->SetMax(200);
    Bar->SetColorScheme(rcAcid);
    Bar->SetProgress(75);
    const QImage shown = Bar->grab().toImage();
    EXPECT_TRUE(HasColor(shown, 7, 40, 0x68E068));
    EXPECT_TRUE(HasColor(shown, 10, 72, 0x60A0A0));
}

TEST(RarBarMainWindow, LimitGaugeWithoutLimitShowsAnEmptyBoxAndZeroPercent)
{
    QWidget group;
    auto* bar = new TRarBar(&group);
    bar->setGeometry(32, 160, 65, 217);
    bar->SetColorScheme(rcPurpleBlue);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    bar->SetFont(font);
    bar->SetFontColor(clPurple);
    bar->SetShowPercentage(true);
    bar->SetMax(0);
    bar->SetProgress(0);
    const QImage image = bar->Render();
    EXPECT_EQ(bar->BarHeight(), 207);
    EXPECT_TRUE(HasColor(image, 8, 207, bar->EmptyColor1()));
    EXPECT_TRUE(HasColor(image, 22, 207, bar->EmptyColor2()));
    const QRect ink = InkBounds(image, QRect(31, 0, 34, 217), clBtnFace);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.bottom(), 211);
    EXPECT_TRUE(ContainsColor(image, ink, clPurple));
}

} // namespace
