#include "widgets/Graphics.h"

#include <QGuiApplication>

namespace {

// The system colour indices and the palette entries that play their part on this desktop.
QColor SystemColor(std::uint32_t index, const QPalette& palette)
{
    switch (index) {
    case 5: return palette.color(QPalette::Base);              // window background
    case 6: return palette.color(QPalette::Shadow);            // window frame
    case 7: return palette.color(QPalette::WindowText);        // menu text
    case 8: return palette.color(QPalette::Text);              // window text
    case 12: return palette.color(QPalette::Dark);             // application workspace
    case 13: return palette.color(QPalette::Highlight);
    case 14: return palette.color(QPalette::HighlightedText);
    case 15: return palette.color(QPalette::Window);           // button face: the face of windows, panels and boxes
    case 16: return palette.color(QPalette::Mid);              // button shadow
    case 17: return palette.color(QPalette::Disabled, QPalette::Text); // grey text
    case 18: return palette.color(QPalette::ButtonText);
    case 20: return palette.color(QPalette::Light);            // button highlight
    case 21: return palette.color(QPalette::Shadow);           // dark 3D shadow
    case 22: return palette.color(QPalette::Midlight);         // 3D light
    case 23: return palette.color(QPalette::ToolTipText);      // info text
    case 24: return palette.color(QPalette::ToolTipBase);      // info background
    default: return palette.color(QPalette::Window);
    }
}

} // namespace

QColor ColorToQColor(TColor color)
{
    return ColorToQColor(color, QGuiApplication::palette());
}

QColor ColorToQColor(TColor color, const QPalette& palette)
{
    if (color & clSystemColor)
        return SystemColor(color & 0xFF, palette);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}
