#pragma once

#include "widgets/Graphics.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

// Passes when the pixel at (x, y) has exactly the given stored colour.
inline ::testing::AssertionResult HasColor(const QImage& image, int x, int y, TColor color)
{
    const QColor expected = ColorToQColor(color);
    const QColor actual = image.pixelColor(x, y);
    if (actual.rgb() == expected.rgb())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << actual.name().toStdString()
                                         << ", expected " << expected.name().toStdString();
}

// The smallest rectangle holding every pixel of the region that differs from the background;
// empty when the region is all background.
inline QRect InkBounds(const QImage& image, const QRect& region, TColor background)
{
    const QRgb plain = ColorToQColor(background).rgb();
    QRect ink;
    const QRect area = region.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != plain)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// Whether some pixel of the region has exactly the given colour.
inline bool ContainsColor(const QImage& image, const QRect& region, TColor color)
{
    const QRgb wanted = ColorToQColor(color).rgb();
    const QRect area = region.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == wanted)
                return true;
    return false;
}
