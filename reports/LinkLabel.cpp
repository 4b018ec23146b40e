#include "reports/LinkLabel.h"

#include <QMouseEvent>
#include <QPalette>

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(linkPalette);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    // A click is a release over the label, as with a button.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}
