#include "reports/LinkLabel.h"

#include "base/Contrast.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPalette>

namespace {

constexpr TRgb LinkBlue = 0x0000FF;

} // namespace

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    UseReadableBlue();
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    // A click is a release over the label, as with a button.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}

void TLinkLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    // The face the label stands on comes from the window, and changes with the desktop's palette.
    if (event->type() == QEvent::PaletteChange)
        UseReadableBlue();
}

void TLinkLabel::UseReadableBlue()
{
    QPalette linkPalette = palette();
    const TRgb face = linkPalette.color(backgroundRole()).rgb() & 0xFFFFFF;
    const QColor blue(static_cast<QRgb>(ReadableAgainst(LinkBlue, face)));
    if (linkPalette.color(QPalette::WindowText) == blue && testAttribute(Qt::WA_SetPalette))
        return;
    linkPalette.setColor(QPalette::WindowText, blue);
    setPalette(linkPalette);
}
