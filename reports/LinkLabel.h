#pragma once

#include <QLabel>

#include <functional>

class QMouseEvent;

// A label that reads as a link (blue, underlined, hand cursor) and reports a left click.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& text, QWidget* parent);

    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
