#include "widgets/Graphics.h"

#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

namespace {

TEST(ColorToQColor, FixedColoursKeepRedInTheLowByte)
{
    EXPECT_EQ(ColorToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(0x00FF00), QColor(0, 255, 0));
    EXPECT_EQ(ColorToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(ColorToQColor(0x8048C0), QColor(0xC0, 0x48, 0x80));
    EXPECT_EQ(ColorToQColor(clPurple), QColor(128, 0, 128));
}

// The button face is what windows and group boxes are painted with, not only buttons.
TEST(ColorToQColor, ButtonFaceIsThePalettesWindowColour)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Window, QColor(9, 9, 9));
    EXPECT_EQ(clBtnFace, 0x8000000Fu);
    EXPECT_EQ(ColorToQColor(clBtnFace, palette), QColor(9, 9, 9));
    EXPECT_EQ(ColorToQColor(clBtnFace), QGuiApplication::palette().color(QPalette::Window));
}

TEST(ColorToQColor, SystemColourIndicesMapToPaletteRoles)
{
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(10, 20, 30));
    palette.setColor(QPalette::Window, QColor(40, 50, 60));
    EXPECT_EQ(ColorToQColor(clSystemColor + 13, palette), QColor(10, 20, 30));
    // An index without a counterpart falls back to the window colour rather than black.
    EXPECT_EQ(ColorToQColor(clSystemColor + 99, palette), QColor(40, 50, 60));
}

} // namespace
