#include "widgets/RarBar.h"

#include "base/Contrast.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygon>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Halves go to the even neighbour, as the gauge's percentages have always been rounded
// (12.5 gives 12, 37.5 gives 38).
long double RoundHalfEven(long double value)
{
    const long double lower = std::floor(value);
    const long double rest = value - lower;
    if (rest > 0.5L || (rest == 0.5L && std::fmod(lower, 2.0L) != 0))
        return lower + 1;
    return lower;
}

int ClampToInt(long double value)
{
    return static_cast<int>(std::clamp<long double>(value, INT_MIN, INT_MAX));
}

QPen LinePen(TColor color, const QPalette& palette)
{
    QPen pen(ColorToQColor(color, palette), 1, Qt::SolidLine);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

TRarBarLevel TRarBar::ComputeLevel(int min, int max, int progress, int barHeight)
{
    // A box lower than 11 pixels has no usable height to scale to; it shows like one of
    // height 0 rather than dividing by zero or turning its geometry over.
    if (barHeight < 11 || max == min)
        return {};
    const int usable = barHeight - 10;
    // Pixels per unit in extended precision; the level itself is kept as a double.
    const long double scale = (static_cast<long double>(max) - min) / usable;
    const double level = static_cast<double>((static_cast<long double>(progress) - min) / scale);
    const long double fill = RoundHalfEven(level);
    const long double percent = RoundHalfEven(level / (static_cast<long double>(usable) / 100));
    // Only the fill is held inside the box; the percentage tells how far beyond it goes.
    return {static_cast<int>(std::clamp<long double>(fill, 0, usable)), ClampToInt(percent)};
}

QColor TRarBar::FaceColor() const
{
    // The button face of the light desktop scheme, under which the schemes' colours were chosen.
    constexpr TRgb LightFace = 0xF0F0F0;
    const QColor color = ColorToQColor(FColor, palette());
    if (!(FColor & clSystemColor))
        return color;
    const TRgb text = ColorToQColor(FFontColor, palette()).rgb() & 0xFFFFFF;
    const TRgb face = color.rgb() & 0xFFFFFF;
    if (ContrastRatio(face, text) >= MinimumTextContrast)
        return color;
    if (ContrastRatio(LightFace, text) >= MinimumTextContrast)
        return QColor(static_cast<QRgb>(LightFace));
    return QColor(static_cast<QRgb>(ReadableAgainst(face, text)));
}

QColor TRarBar::BackgroundColor() const
{
    // In the button face the gauge is of one colour with the box it stands on. Leaving that
    // colour out lets the box's own surface show, which some styles shade inside a group box.
    const QColor color = FaceColor();
    const QWidget* box = parentWidget();
    if (box && color == box->palette().color(box->backgroundRole()))
        return Qt::transparent;
    return color;
}

QImage TRarBar::Render()
{
    if (width() <= 0 || height() <= 0)
        return {};
    QImage image(size(), QImage::Format_RGB32);
    image.fill(FaceColor());
    QPainter painter(&image);
    DrawBar(painter);
    return image;
}

void TRarBar::DrawBar(QPainter& target)
{
    FBarHeight = BarHeightFor(height(), FY);
    const int h = FBarHeight < 11 ? 0 : FBarHeight;
    const TRarBarLevel level = ComputeLevel(FMin, FMax, FProgress, FBarHeight);
    const int f = level.Fill;
    if (width() <= 0 || height() <= 0)
        return;

    // The picture is built off-screen and shown in one step, so the walls, contents and edges
    // painted over each other never flicker on the window.
    const qreal ratio = target.device() ? target.device()->devicePixelRatioF() : 1.0;
    QPixmap bitmap(size() * ratio);
    bitmap.setDevicePixelRatio(ratio);
    bitmap.fill(BackgroundColor());
    {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

        // The edges are drawn first only for the pen they leave, which outlines the faces.
        DrawEdges(painter, h, f);
        const auto face = [&](TColor fill, std::initializer_list<QPoint> corners) {
            painter.setBrush(ColorToQColor(fill, palette()));
            painter.drawPolygon(QPolygon(QList<QPoint>(corners)));
        };
        face(FTopColor, {{FX + 15, FY + 10}, {FX, FY + 5}, {FX + 15, FY}, {FX + 30, FY + 5}});
        face(FSideColor1, {{FX + 15, FY + h}, {FX, FY + h - 5}, {FX, FY + 5}, {FX + 15, FY + 10}});
        face(FSideColor2, {{FX + 15, FY + h}, {FX + 30, FY + h - 5}, {FX + 30, FY + 5}, {FX + 15, FY + 10}});
        DrawContents(painter, h, f);
        DrawEdges(painter, h, f);
        if (FShowPercentage)
            DrawPercentage(painter, h, f, level.Percent);
    }
    target.drawPixmap(0, 0, bitmap);
}

void TRarBar::DrawContents(QPainter& painter, int h, int f)
{
    const auto face = [&](TColor frame, TColor fill, std::initializer_list<QPoint> corners) {
        painter.setPen(LinePen(frame, palette()));
        painter.setBrush(ColorToQColor(fill, palette()));
        painter.drawPolygon(QPolygon(QList<QPoint>(corners)));
    };
    const int x = FX;
    const int y = FY;
    if (f > 0) {
        face(FFilledFrameColor, FFilledSideColor1,
            {{x + 15, y + h}, {x, y + h - 5}, {x, y + h - f - 5}, {x + 15, y + h - f - 10}});
        face(FFilledFrameColor, FFilledSideColor2,
            {{x + 15, y + h}, {x + 30, y + h - 5}, {x + 30, y + h - f - 5}, {x + 15, y + h - f - 10}});
        // The floor goes over the lower ends of both faces, the level over their upper ends.
        face(FBottomFrameColor, FBottomColor,
            {{x + 15, y + h}, {x, y + h - 5}, {x + 15, y + h - 10}, {x + 30, y + h - 5}});
        face(FFilledFrameColor, FFilledColor,
            {{x + 15, y + h - f}, {x, y + h - f - 5}, {x + 15, y + h - f - 10}, {x + 30, y + h - f - 5}});
    } else {
        face(FEmptyFrameColor1, FEmptyColor1,
            {{x + 15, y + h}, {x, y + h - 5}, {x + 15, y + h - 10}, {x + 15, y + h - 5}});
        face(FEmptyFrameColor2, FEmptyColor2,
            {{x + 15, y + h}, {x + 30, y + h - 5}, {x + 15, y + h - 10}, {x + 15, y + h - 5}});
    }
}

// Draws the three upright edges, the lid outline and the floor's front edges, and leaves the
// pen in the colour of the floor's front edges for the faces that follow.
void TRarBar::DrawEdges(QPainter& painter, int h, int f)
{
    const auto line = [&](TColor color, QPoint from, QPoint to) {
        painter.setPen(LinePen(color, palette()));
        if (from != to)
            painter.drawLine(from, to);
    };
    const int x = FX;
    const int y = FY;
    // Each upright edge is drawn in the empty colour down to the level, then in the filled one.
    const auto edge = [&](int edgeX, int top, int bottom) {
        line(FEmptyLineColor, {edgeX, top}, {edgeX, bottom - f});
        line(FFilledLineColor, {edgeX, bottom - f}, {edgeX, bottom});
    };
    edge(x, y + 5, y + h - 5);
    edge(x + 15, y + 10, y + h);
    edge(x + 30, y + 5, y + h - 5);

    const bool full = f == h - 10;
    painter.setPen(LinePen(full ? FFilledLineColor : FEmptyLineColor, palette()));
    painter.drawPolyline(QPolygon({{x, y + 5}, {x + 15, y}, {x + 30, y + 5}, {x + 15, y + 10}, {x, y + 5}}));

    painter.setPen(LinePen(f != 0 ? FFilledLineColor : FEmptyLineColor, palette()));
    painter.drawPolyline(QPolygon({{x, y + h - 5}, {x + 15, y + h}, {x + 30, y + h - 5}}));
}

void TRarBar::DrawPercentage(QPainter& painter, int h, int f, int p)
{
    const QColor background = BackgroundColor();
    painter.setBrush(background);
    painter.setFont(FFont);
    const QString text = PercentageText(p);
    const QFontMetrics metrics(FFont, painter.device());
    const int th = metrics.height();
    // The text's bottom sits on the level's front corner, so it rises with the contents.
    const QRect cell(FX + 33, FY + h - f - th, metrics.horizontalAdvance(text), th);
    painter.fillRect(cell, background);
    painter.setPen(ColorToQColor(FFontColor, palette()));
    painter.drawText(cell.left(), cell.top() + metrics.ascent(), text);
}
