#include "widgets/Graphics.h"

#include <QFont>
#include <QGuiApplication>

namespace {

// The system colour indices and the palette entries that play their part on this desktop.
QColor SystemColor(std::uint32_t index, const QPalette& palette)
{
    switch (index) {
    case 5:
        return palette.color(QPalette::Base); // window background
    case 6:
        return palette.color(QPalette::Shadow); // window frame
    case 7:
        return palette.color(QPalette::WindowText); // menu text
    case 8:
        return palette.color(QPalette::Text); // window text
    case 12:
        return palette.color(QPalette::Dark); // application workspace
    case 13:
        return palette.color(QPalette::Highlight);
    case 14:
        return palette.color(QPalette::HighlightedText);
    case 15:
        return palette.color(QPalette::Window); // button face: the face of windows, panels and boxes
    case 16:
        return palette.color(QPalette::Mid); // button shadow
    case 17:
        return palette.color(QPalette::Disabled, QPalette::Text); // grey text
    case 18:
        return palette.color(QPalette::ButtonText);
    case 20:
        return palette.color(QPalette::Light); // button highlight
    case 21:
        return palette.color(QPalette::Shadow); // dark 3D shadow
    case 22:
        return palette.color(QPalette::Midlight); // 3D light
    case 23:
        return palette.color(QPalette::ToolTipText); // info text
    case 24:
        return palette.color(QPalette::ToolTipBase); // info background
    default:
        return palette.color(QPalette::Window);
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

void SubstituteLayoutFonts()
{
    // "MS Sans Serif" 8 pt is a bitmap font 11 pixels high with figures 6 pixels wide: a time
    // stamp takes 99 of the history's 100-pixel date column, more than a cell leaves inside its
    // padding. Liberation Sans Narrow has the same height and 5-pixel figures, so
    // "08.12.2026 14:03:22" stays whole; the wider faces follow where it is not installed.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
            QStringLiteral("DejaVu Sans")});
    // "Arial" only sets the session state in bold, which has room to spare: its metric-compatible face.
    QFont::insertSubstitutions(
        QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

QFont LayoutFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    return font;
}
