#pragma once

#include "base/Contrast.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPalette>

#include <algorithm>
#include <utility>

// The palettes a desktop hands the program: a light one derived from the usual light grey face,
// and the dark scheme "darker" of qt6ct, the Qt settings tool of GNOME and other desktops without
// a Qt theme of their own.
inline QPalette LightPalette()
{
    return QPalette(QColor(0xEF, 0xEF, 0xEF));
}

inline QPalette DarkPalette()
{
    const std::pair<QPalette::ColorRole, QRgb> roles[] = {
        {QPalette::WindowText, 0xFFFFFF},
        {QPalette::Text, 0xFFFFFF},
        {QPalette::ButtonText, 0xFFFFFF},
        {QPalette::Base, 0x3D3D3D},
        {QPalette::Highlight, 0x12608A},
        {QPalette::HighlightedText, 0xF9F9F9},
        {QPalette::Link, 0x0986D3},
    };
    // The shades of the frames follow from the button's colour; the texts and faces are the scheme's.
    QPalette palette(QColor(0x424245), QColor(0x222020));
    for (const auto& [role, rgb] : roles)
        palette.setColor(role, QColor(rgb));
    return palette;
}

// The contrast between two colours as the accessibility guidelines measure it.
inline double Contrast(const QColor& first, const QColor& second)
{
    return ContrastRatio(first.rgb() & 0xFFFFFF, second.rgb() & 0xFFFFFF);
}

// How well the text of a picture reads: the contrast between its face (the commonest colour)
// and the pixel that stands out most from it, which is the text's own colour wherever a stroke
// covers a whole pixel.
inline double InkContrast(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) & 0xFFFFFF];
    QRgb face = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            face = it.key();
        }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, ContrastRatio(it.key(), face));
    return best;
}
