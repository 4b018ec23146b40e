#include "tests/reports/HistoryListRows.h"

#include <QTreeWidget>

THistoryListRows::THistoryListRows(const QTreeWidget* list)
    : FList(list)
{
}

int THistoryListRows::Count() const
{
    return FList ? FList->topLevelItemCount() : 0;
}

QString THistoryListRows::Caption(int row) const
{
    const QTreeWidgetItem* item = FList ? FList->topLevelItem(row) : nullptr;
    return item ? item->text(0) : QString();
}

QString THistoryListRows::SubItem(int row, int index) const
{
    const QTreeWidgetItem* item = FList ? FList->topLevelItem(row) : nullptr;
    return item && index >= 0 ? item->text(index + 1) : QString();
}
