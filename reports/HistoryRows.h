#pragma once

#include "base/DateTime.h"
#include "base/SysUtils.h"

#include <QString>

// The main window's history list: one row per session, newest first. The start time stamp is
// the row's caption; the entry name, the duration ("hh:mm:ss") and the cost in cents follow as
// its sub-items, in this order, as the list shows them and connhistory.dat stores them.
enum THistoryCell { hcStarted, hcEntry, hcDuration, hcCost };

// What the reports read of the main window's history list: rows newest first, each with its
// caption (the start time stamp) and its sub-items (entry name, duration, cost in cents).
class THistoryRows {
public:
    virtual ~THistoryRows() = default;

    virtual int Count() const = 0;
    virtual QString Caption(int row) const = 0;
    // Sub-item index of the row; an index the row does not have gives an empty text.
    virtual QString SubItem(int row, int index) const = 0;

    // The row's text in the column.
    QString Cell(int row, THistoryCell column) const
    {
        return column == hcStarted ? Caption(row) : SubItem(row, column - 1);
    }

    // What the row's texts mean, read as the program reads money and time stamps: the cost
    // in cents (0 for a cell that is no number), the date the session started on (raises
    // EConvertError when the caption does not begin with one).
    virtual long double CostCents(int row) const { return MoneyCents(Cell(row, hcCost)); }
    virtual TDate Date(int row) const { return SessionDate(Caption(row)); }
};
