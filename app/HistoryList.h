#pragma once

#include "reports/MainWindowView.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <cstdint>

class QTreeWidget;
class QTreeWidgetItem;

// The rows of the history list and of the tariff list, read and written by column name. The
// lists show texts; what a text means as a number is read here, and only here.

// A new history row.
QTreeWidgetItem* NewHistoryRow(const QString& started, const QString& entry, const QString& duration,
                               const QString& cost);
QString HistoryText(const QTreeWidgetItem& row, THistoryCell column);
void SetHistoryText(QTreeWidgetItem& row, THistoryCell column, const QString& text);
// The row's cost in cents; a text that is no number counts as nothing.
long double HistoryCostCents(const QTreeWidgetItem& row);
// The row's duration in seconds; a text that is no time counts as nothing.
int32_t HistorySeconds(const QTreeWidgetItem& row);

// The tariff list: the entry name (with its tick) and its price per minute in cents.
enum TTariffColumn { tcEntry, tcTariff };
QString TariffText(const QTreeWidgetItem& row, TTariffColumn column);
void SetTariffText(QTreeWidgetItem& row, TTariffColumn column, const QString& text);
long double TariffCents(const QTreeWidgetItem& row);

// The sums over the history list that the window shows: the cost in cents and the online time.
// The finished sessions' sums are kept and summed again only when their rows change (a load,
// a deletion, a session starting or ending); a reading adds the running session's row to them.
// The running row's cost is added last, so a reading gives the same value as summing every
// finished row in list order and then the running row, whatever happened in between.
class THistoryTotals : public QObject {
public:
    explicit THistoryTotals(QTreeWidget* list);

    // The running session's row, or none.
    void SetRunningRow(const QTreeWidgetItem* row);
    long double CostCents();
    int64_t Seconds();

private:
    void Stale() { FStale = true; }
    void Refresh();
    // The running row's index, when there is one and it is still in the list.
    QModelIndex RunningIndex() const;

    QTreeWidget* FList;
    QPersistentModelIndex FRunning;
    bool FStale = true;
    long double FFinishedCost = 0;
    int64_t FFinishedSeconds = 0;
};
