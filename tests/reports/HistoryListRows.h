#pragma once

#include "reports/HistoryRows.h"

#include <QPointer>

class QTreeWidget;

// The history rows as a list view in report style shows them, for the reports' tests: the caption in the first column,
// sub-item i in column i + 1. A list that is gone reads as empty.
class THistoryListRows : public THistoryRows {
public:
    explicit THistoryListRows(const QTreeWidget* list);

    int Count() const override;
    QString Caption(int row) const override;
    QString SubItem(int row, int index) const override;

private:
    QPointer<const QTreeWidget> FList;
};
