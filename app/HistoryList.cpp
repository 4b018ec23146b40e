#include "app/HistoryList.h"

#include "base/SysUtils.h"

#include <QTreeWidget>

QTreeWidgetItem* NewHistoryRow(const QString& started, const QString& entry, const QString& duration,
                               const QString& cost)
{
    return new QTreeWidgetItem(QStringList{started, entry, duration, cost});
}

QString HistoryText(const QTreeWidgetItem& row, THistoryCell column)
{
    return row.text(column);
}

void SetHistoryText(QTreeWidgetItem& row, THistoryCell column, const QString& text)
{
    row.setText(column, text);
}

long double HistoryCostCents(const QTreeWidgetItem& row)
{
    return StrToFloatDef(row.text(hcCost), 0);
}

int32_t HistorySeconds(const QTreeWidgetItem& row)
{
    int32_t seconds = 0;
    return TryStrToTime(row.text(hcDuration), seconds) ? seconds : 0;
}

QString TariffText(const QTreeWidgetItem& row, TTariffColumn column)
{
    return row.text(column);
}

void SetTariffText(QTreeWidgetItem& row, TTariffColumn column, const QString& text)
{
    row.setText(column, text);
}

long double TariffCents(const QTreeWidgetItem& row)
{
    return StrToFloatDef(row.text(tcTariff), 0);
}

THistoryTotals::THistoryTotals(QTreeWidget* list)
    : QObject(list)
    , FList(list)
{
    // Any change of the rows but the running row's own texts may change the finished sums.
    QAbstractItemModel* model = list->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { Stale(); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { Stale(); });
    connect(model, &QAbstractItemModel::rowsMoved, this, [this] { Stale(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { Stale(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { Stale(); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                const QModelIndex running = RunningIndex();
                const bool runningOnly = running.isValid() && topLeft.row() == running.row() &&
                                         bottomRight.row() == running.row() && !topLeft.parent().isValid();
                if (!runningOnly)
                    Stale();
            });
}

void THistoryTotals::SetRunningRow(const QTreeWidgetItem* row)
{
    const int index = row ? FList->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(row)) : -1;
    const QPersistentModelIndex running(index >= 0 ? FList->model()->index(index, 0) : QModelIndex());
    if (running != FRunning) {
        FRunning = running;
        Stale();
    }
}

QModelIndex THistoryTotals::RunningIndex() const
{
    return FRunning.isValid() ? QModelIndex(FRunning) : QModelIndex();
}

void THistoryTotals::Refresh()
{
    if (!FStale)
        return;
    const int running = RunningIndex().isValid() ? FRunning.row() : -1;
    FFinishedCost = 0;
    FFinishedSeconds = 0;
    for (int i = 0; i < FList->topLevelItemCount(); ++i) {
        if (i == running)
            continue;
        const QTreeWidgetItem& row = *FList->topLevelItem(i);
        FFinishedCost += HistoryCostCents(row);
        FFinishedSeconds += HistorySeconds(row);
    }
    FStale = false;
}

long double THistoryTotals::CostCents()
{
    Refresh();
    const QModelIndex running = RunningIndex();
    if (!running.isValid())
        return FFinishedCost;
    return FFinishedCost + HistoryCostCents(*FList->topLevelItem(running.row()));
}

int64_t THistoryTotals::Seconds()
{
    Refresh();
    const QModelIndex running = RunningIndex();
    if (!running.isValid())
        return FFinishedSeconds;
    return FFinishedSeconds + HistorySeconds(*FList->topLevelItem(running.row()));
}
