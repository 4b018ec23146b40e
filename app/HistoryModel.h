#pragma once

#include "app/HistoryStream.h"
#include "reports/HistoryRows.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The connection history: one row per session, newest first, with its start time stamp, entry
// name, duration ("hh:mm:ss") and cost in cents. It is the one place that knows the columns and
// what their texts mean; the history list view shows it.
//
// The rows keep their texts in the ANSI code page, packed, as connhistory.dat holds them: a
// history of years stays small in memory, and it is read and written without converting every
// text. A text is converted only when it is shown or read by name.
//
// The cost and online time totals of the finished sessions are kept, and summed again only when
// their rows change (a load, a deletion, a session starting or ending); a reading adds the
// running session's row, last. So a reading gives the same value as summing every finished row
// in list order and then the running row, whatever happened in between.
class THistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit THistoryModel(const QStringList& captions, QObject* parent = nullptr);
    ~THistoryModel() override;

    // The column captions, as the header shows them and the file stores them.
    const QStringList& Captions() const { return FCaptions; }
    void SetCaptions(const QStringList& captions);

    int Count() const { return static_cast<int>(FRows.size()); }
    QString Text(int row, THistoryCell cell) const;
    std::string_view AnsiText(int row, THistoryCell cell) const;
    void SetText(int row, THistoryCell cell, const QString& text);
    // The row's cost in cents and duration in seconds; a text that is no number or no duration
    // counts as nothing. A session of a day or more counts in full.
    long double CostCents(int row) const;
    int64_t Seconds(int row) const;
    // The date the row's session started on; raises EConvertError when its caption has none.
    TDate Date(int row) const;

    // A new row at `row` (0 is the newest).
    void Insert(int row, const QString& started, const QString& entry, const QString& duration, const QString& cost);
    void Append(const QString& started, const QString& entry, const QString& duration, const QString& cost);
    // The rows replaced by the file's rows, taken over as ANSI bytes.
    void Assign(const std::vector<THistoryRowTexts>& rows);
    // Removes the rows at the given positions (in any order).
    void Remove(std::vector<int> rows);
    void Clear();
    // Row r's texts as ANSI bytes, for writing connhistory.dat.
    THistoryRowTexts RowTexts(int row) const;

    // A session's mark on its row: the row is found again after others were deleted. 0 is
    // no session.
    void MarkSession(int row, int64_t session);
    // The row of the session, searched from `hint` on; -1 when the row is gone.
    int FindSession(int64_t session, int hint) const;

    // The running session, whose row the totals add last; 0 when none runs.
    void SetRunningSession(int64_t session);
    long double TotalCostCents();
    int64_t TotalSeconds();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // A row's four texts, one after the other, and where each ends.
    struct TRow {
        std::string Bytes;
        std::array<uint32_t, 4> End{};
        int64_t Session = 0;
    };
    static TRow MakeRow(const std::array<std::string_view, 4>& texts, int64_t session = 0);
    static std::string_view Slice(const TRow& row, THistoryCell cell);
    void Replace(int row, THistoryCell cell, std::string_view ansi);
    int RunningRow() const;
    void RefreshFinished();

    QStringList FCaptions;
    std::vector<TRow> FRows;
    int64_t FRunning = 0;
    // Where the running session's row was last found.
    mutable int FRunningHint = 0;
    bool FFinishedStale = true;
    long double FFinishedCost = 0;
    int64_t FFinishedSeconds = 0;
};

// What the reports read of the history.
class THistoryModelRows : public THistoryRows {
public:
    explicit THistoryModelRows(const THistoryModel* model);

    int Count() const override;
    QString Caption(int row) const override;
    QString SubItem(int row, int index) const override;
    long double CostCents(int row) const override;
    TDate Date(int row) const override;

private:
    QPointer<const THistoryModel> FModel;
};
