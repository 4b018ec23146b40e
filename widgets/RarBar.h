#pragma once

#include "widgets/Graphics.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>

class QPainter;

// The colour schemes of the gauge, in their stored order.
enum TRBColorScheme : std::uint8_t { rcPurpleBlue, rcAcid, rcLightGreen, rcLightBlue };

// The height of the contents in pixels and the percentage written beside them.
struct TRarBarLevel {
    int Fill = 0;
    int Percent = 0;
    friend bool operator==(const TRarBarLevel&, const TRarBarLevel&) = default;
};

// TRarBar: an upright glass box, seen from its front edge, filled from the bottom in
// proportion to Progress between Min and Max, with the percentage beside the level.
// It only displays: it takes no focus and lets every mouse event through to its parent.
class TRarBar : public QWidget {
    Q_OBJECT

public:
    explicit TRarBar(QWidget* parent);
    ~TRarBar() override;

    TColor TopColor() const { return FTopColor; }
    void SetTopColor(TColor value) { FTopColor = value; }
    TColor SideColor1() const { return FSideColor1; }
    void SetSideColor1(TColor value) { FSideColor1 = value; }
    TColor SideColor2() const { return FSideColor2; }
    void SetSideColor2(TColor value) { FSideColor2 = value; }
    TColor EmptyColor1() const { return FEmptyColor1; }
    void SetEmptyColor1(TColor value) { FEmptyColor1 = value; }
    TColor EmptyColor2() const { return FEmptyColor2; }
    void SetEmptyColor2(TColor value) { FEmptyColor2 = value; }
    TColor EmptyFrameColor1() const { return FEmptyFrameColor1; }
    void SetEmptyFrameColor1(TColor value) { FEmptyFrameColor1 = value; }
    TColor EmptyFrameColor2() const { return FEmptyFrameColor2; }
    void SetEmptyFrameColor2(TColor value) { FEmptyFrameColor2 = value; }
    TColor BottomFrameColor() const { return FBottomFrameColor; }
    void SetBottomFrameColor(TColor value) { FBottomFrameColor = value; }
    TColor BottomColor() const { return FBottomColor; }
    void SetBottomColor(TColor value) { FBottomColor = value; }
    TColor FilledFrameColor() const { return FFilledFrameColor; }
    void SetFilledFrameColor(TColor value) { FFilledFrameColor = value; }
    TColor FilledColor() const { return FFilledColor; }
    void SetFilledColor(TColor value) { FFilledColor = value; }
    TColor FilledSideColor1() const { return FFilledSideColor1; }
    void SetFilledSideColor1(TColor value) { FFilledSideColor1 = value; }
    TColor FilledSideColor2() const { return FFilledSideColor2; }
    void SetFilledSideColor2(TColor value) { FFilledSideColor2 = value; }
    TColor EmptyLineColor() const { return FEmptyLineColor; }
    void SetEmptyLineColor(TColor value) { FEmptyLineColor = value; }
    TColor FilledLineColor() const { return FFilledLineColor; }
    void SetFilledLineColor(TColor value) { FFilledLineColor = value; }

    // Writing Min, Max, Progress or ShowPercentage shows the new state at once.
    int Min() const { return FMin; }
    void SetMin(int value);
    int Max() const { return FMax; }
    void SetMax(int value);
    int Progress() const { return FProgress; }
    void SetProgress(int value);
    bool ShowPercentage() const { return FShowPercentage; }
    void SetShowPercentage(bool value);

    // The font of the percentage text; its colour is kept beside it. Writing either only
    // stores it; it shows at the next paint.
    const QFont& Font() const { return FFont; }
    void SetFont(const QFont& value) { FFont = value; }
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value) { FFontColor = value; }

    // Choosing a known scheme overwrites the fifteen colours and the font colour; nothing is
    // redrawn until the next paint. Any other value is only stored.
    TRBColorScheme ColorScheme() const { return FColorScheme; }
    void SetColorScheme(TRBColorScheme value);

    int X() const { return FX; }
    void SetX(int value) { FX = value; }
    int Y() const { return FY; }
    void SetY(int value) { FY = value; }

    // The background colour; a change repaints the control.
    TColor Color() const { return FColor; }
    void SetColor(TColor value);

    // Height of the box as the last drawing computed it: Height - Y - 5.
    int BarHeight() const { return FBarHeight; }

    // The box height a control of the given height gives with the top offset y.
    static int BarHeightFor(int height, int y) { return height - y - 5; }
    // Fill and percentage of a box barHeight pixels high; boxes lower than 11 pixels
    // show nothing and 0%.
    static TRarBarLevel ComputeLevel(int min, int max, int progress, int barHeight);
    static QString PercentageText(int percent) { return QString::number(percent) + u'%'; }

    // Builds the whole picture off-screen and copies it onto the painter at (0, 0).
    void DrawBar(QPainter& target);
    // The picture DrawBar would put on the control standing on a plain surface of its colour,
    // for printing and for checks.
    QImage Render();
    // The face the gauge is drawn on: its Color, except that a system face on which the
    // percentage's fixed colour cannot be read (a dark desktop palette) gives way to the light
    // face the schemes are drawn for, or else to the nearest face that suits the percentage.
    QColor FaceColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The colour the picture is laid on: none where it is that of the surface beneath.
    QColor BackgroundColor() const;
    void DrawEdges(QPainter& painter, int h, int f);
    void DrawContents(QPainter& painter, int h, int f);
    void DrawPercentage(QPainter& painter, int h, int f, int p);

    TColor FTopColor = 0;
    TColor FSideColor1 = 0;
    TColor FSideColor2 = 0;
    TColor FEmptyColor1 = 0;
    TColor FEmptyColor2 = 0;
    TColor FEmptyFrameColor1 = 0;
    TColor FEmptyFrameColor2 = 0;
    TColor FBottomFrameColor = 0;
    TColor FBottomColor = 0;
    TColor FFilledFrameColor = 0;
    TColor FFilledColor = 0;
    TColor FFilledSideColor1 = 0;
    TColor FFilledSideColor2 = 0;
    TColor FEmptyLineColor = 0;
    TColor FFilledLineColor = 0;
    int FMin = 0;
    int FMax = 0;
    int FProgress = 0;
    QFont FFont;
    TColor FFontColor = 0;
    bool FShowPercentage = false;
    TRBColorScheme FColorScheme = rcPurpleBlue;
    int FX = 0;
    int FY = 0;
    int FBarHeight = 0;
    TColor FColor = clBtnFace;
};
