#pragma once

#include <QFont>
#include <QTreeView>

class QAbstractItemModel;

// A list in report style: one line of text per cell, every row as high as the first, no
// branches. A session's second rewrites a cell of the first row; that costs only the cell's
// repaint, not a new measure of the row: the row height is measured again only when what it
// depends on may have changed (a new first row, the font, a cell whose text the font alone
// cannot draw on one line).
class TReportView : public QTreeView {
    Q_OBJECT

public:
    explicit TReportView(QWidget* parent = nullptr);

    void doItemsLayout() override;

protected:
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
};
