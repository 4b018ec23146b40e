#pragma once

#include <QLabel>

#include <functional>

class QEvent;
class QMouseEvent;

// A label that reads as a link (blue, underlined, hand cursor) and reports a left click. Where
// blue cannot be read on the window's face (a dark palette), it takes the nearest shade of blue
// that can.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& text, QWidget* parent);

    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UseReadableBlue();
};
