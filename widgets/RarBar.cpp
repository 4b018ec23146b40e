#include "widgets/RarBar.h"

#include <QPainter>

#include <array>

namespace {

// The fifteen colours of a scheme, in the order of the properties, and its font colour.
struct TSchemeColors {
    TColor Top, Side1, Side2, Empty1, Empty2, EmptyFrame1, EmptyFrame2, BottomFrame, Bottom, FilledFrame, Filled,
        FilledSide1, FilledSide2, EmptyLine, FilledLine, Font;
};

constexpr std::array<TSchemeColors, 4> Schemes = {{
    // rcPurpleBlue
    {0xFF8080, 0xE06868, 0xFF8080, 0xC06868, 0xDF8080, 0xA06868, 0xBF8080, 0x64408C, 0x7A408C, 0x8060A0, 0xA060A0,
        0x823C96, 0x8848C0, 0xFFB0B0, 0xD060E0, 0x800080},
    // rcAcid
    {0x80FF80, 0x68E068, 0x80FF80, 0x68C068, 0x80DF80, 0x68A068, 0x80BF80, 0x40648C, 0x407A8C, 0x60A0A0, 0x60A0A0,
        0x3C8296, 0x4888C0, 0xE0FFE0, 0x68A8E0, 0xFFFF00},
    // rcLightGreen
    {0xFF8080, 0xE06868, 0xFF8080, 0xC06868, 0xDF8080, 0xA06868, 0xBF8080, 0x648C40, 0x7A8C40, 0x80A060, 0xA0A060,
        0x82963C, 0x88C048, 0xFFE0E0, 0x98E068, 0x489008},
    // rcLightBlue
    {0x88C048, 0x82963C, 0x88C048, 0x82963C, 0x88C048, 0xA06868, 0xBF8080, 0xD05858, 0xE05858, 0xD08080, 0xE08080,
        0xE06868, 0xFF8080, 0xC8E988, 0xD0A8A8, 0x800080},
}};

} // namespace

TRarBar::TRarBar(QWidget* parent)
    : QWidget(parent)
{
    SetColorScheme(rcPurpleBlue);
    // The fields are set directly here: a gauge that is not yet shown has nothing to redraw.
    FShowPercentage = true;
    FMin = 0;
    FMax = 100;
    FProgress = 0;
    FX = 0;
    FY = 5;
    resize(60, 180);
    FColor = clBtnFace;
    FFont.setBold(true);

    // The gauge only displays: clicks reach the group box beneath it, and it never takes focus.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

TRarBar::~TRarBar() = default;

void TRarBar::SetMin(int value)
{
    FMin = value;
    update();
}

void TRarBar::SetMax(int value)
{
    FMax = value;
    update();
}

void TRarBar::SetProgress(int value)
{
    FProgress = value;
    update();
}

void TRarBar::SetShowPercentage(bool value)
{
    FShowPercentage = value;
    update();
}

void TRarBar::SetColor(TColor value)
{
    FColor = value;
    update();
}

void TRarBar::SetColorScheme(TRBColorScheme value)
{
    FColorScheme = value;
    if (value >= Schemes.size())
        return;
    const TSchemeColors& scheme = Schemes[value];
    FTopColor = scheme.Top;
    FSideColor1 = scheme.Side1;
    FSideColor2 = scheme.Side2;
    FEmptyColor1 = scheme.Empty1;
    FEmptyColor2 = scheme.Empty2;
    FEmptyFrameColor1 = scheme.EmptyFrame1;
    FEmptyFrameColor2 = scheme.EmptyFrame2;
    FBottomFrameColor = scheme.BottomFrame;
    FBottomColor = scheme.Bottom;
    FFilledFrameColor = scheme.FilledFrame;
    FFilledColor = scheme.Filled;
    FFilledSideColor1 = scheme.FilledSide1;
    FFilledSideColor2 = scheme.FilledSide2;
    FEmptyLineColor = scheme.EmptyLine;
    FFilledLineColor = scheme.FilledLine;
    FFontColor = scheme.Font;
}

void TRarBar::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    DrawBar(painter);
}
