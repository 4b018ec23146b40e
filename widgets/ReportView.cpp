#include "widgets/ReportView.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>

TReportView::TReportView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setSectionsClickable(false);
    header()->setStretchLastSection(false);
}

void TReportView::doItemsLayout()
{
    // The layout measures the first row again, whatever it holds now.
    FFirstRowPlain = false;
    QTreeView::doItemsLayout();
}

bool TReportView::PlainLine(int row, int first, int last) const
{
    const QAbstractItemModel* list = model();
    const QFontMetrics metrics(font());
    for (int column = first; column <= last; ++column) {
        const QModelIndex index = list->index(row, column, rootIndex());
        // Anything but text (a picture, a check box, a font or size of its own) has a height of
        // its own.
        for (int role : {Qt::DecorationRole, Qt::CheckStateRole, Qt::FontRole, Qt::SizeHintRole})
            if (list->data(index, role).isValid())
                return false;
        const QString text = list->data(index, Qt::DisplayRole).toString();
        if (text.isEmpty())
            return false;
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029 || c.isSurrogate() || !metrics.inFont(c))
                return false;
        }
    }
    return true;
}

void TReportView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // Only the first row's cells set the height of all rows. While it held plain lines when it
    // was measured and a change leaves it so, the height stays what it was.
    const bool firstRow =
        topLeft.isValid() && topLeft.parent() == rootIndex() && topLeft.row() == 0 && bottomRight.row() == 0;
    if (!firstRow) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    if (uniformRowHeights() && FFirstRowPlain && FMeasuredFont == font() &&
        PlainLine(0, topLeft.column(), bottomRight.column())) {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    QTreeView::dataChanged(topLeft, bottomRight, roles);
    FFirstRowPlain = model() && PlainLine(0, 0, model()->columnCount(rootIndex()) - 1);
    FMeasuredFont = font();
}
