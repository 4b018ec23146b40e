#pragma once

#include <QFont>
#include <QRegion>
#include <QTreeView>

#include <optional>

class QAbstractItemModel;

// A list in report style: one line of text per cell, every row as high as the first, no
// branches. A session's second rewrites a cell of the first row; that costs only the cell's
// repaint, not a new measure of the row: the row height is measured again only when what it
// depends on may have changed (a new first row, the font, a cell whose text the font alone
// cannot draw on one line), and the repaint draws the changed cell alone.
class TReportView : public QTreeView {
    Q_OBJECT

public:
    explicit TReportView(QWidget* parent = nullptr);

    void doItemsLayout() override;
    // Whether a cell at `rect` of the viewport is to be painted now: a repaint of one cell
    // draws no other cell's text, which it would not show anyway.
    bool Paints(const QRect& rect) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void dataChanged(
        const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles = QList<int>()) override;

private:
    // True when the cells of row `row`, columns first to last, hold nothing but text on a single
    // line that the view's font draws without help from another font: such a cell is exactly
    // one line of that font high, whatever its text.
    bool PlainLine(int row, int first, int last) const;

    // The first row was last measured with this font and held only plain lines.
    bool FFirstRowPlain = false;
    QFont FMeasuredFont;
    // What the paint under way shows; none outside a paint event.
    std::optional<QRegion> FPainting;
};
