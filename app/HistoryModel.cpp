#include "app/HistoryModel.h"

#include "base/Ansi.h"
#include "base/SysUtils.h"

#include <algorithm>

THistoryModel::THistoryModel(const QStringList& captions, QObject* parent)
    : QAbstractTableModel(parent)
    , FCaptions(captions)
{
}

THistoryModel::~THistoryModel() = default;

void THistoryModel::SetCaptions(const QStringList& captions)
{
    if (captions == FCaptions)
        return;
    const int before = static_cast<int>(FCaptions.size());
    const int after = static_cast<int>(captions.size());
    if (after > before) {
        beginInsertColumns({}, before, after - 1);
        FCaptions = captions;
        endInsertColumns();
    } else if (after < before) {
        beginRemoveColumns({}, after, before - 1);
        FCaptions = captions;
        endRemoveColumns();
    } else {
        FCaptions = captions;
    }
    if (after > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, after - 1);
}

THistoryModel::TRow THistoryModel::MakeRow(const std::array<std::string_view, 4>& texts, int64_t session)
{
    TRow row;
    size_t size = 0;
    for (std::string_view text : texts)
        size += text.size();
    row.Bytes.reserve(size);
    for (size_t i = 0; i < texts.size(); ++i) {
        row.Bytes.append(texts[i]);
        row.End[i] = static_cast<uint32_t>(row.Bytes.size());
    }
    row.Session = session;
    return row;
}

std::string_view THistoryModel::Slice(const TRow& row, THistoryCell cell)
{
    const uint32_t begin = cell == hcStarted ? 0 : row.End[cell - 1];
    return std::string_view(row.Bytes).substr(begin, row.End[cell] - begin);
}

std::string_view THistoryModel::AnsiText(int row, THistoryCell cell) const
{
    return Slice(FRows.at(static_cast<size_t>(row)), cell);
}

QString THistoryModel::Text(int row, THistoryCell cell) const
{
    return AnsiToString(AnsiText(row, cell));
}

THistoryRowTexts THistoryModel::RowTexts(int row) const
{
    const TRow& r = FRows.at(static_cast<size_t>(row));
    return {Slice(r, hcStarted), Slice(r, hcEntry), Slice(r, hcDuration), Slice(r, hcCost)};
}

void THistoryModel::Replace(int row, THistoryCell cell, std::string_view ansi)
{
    TRow& r = FRows.at(static_cast<size_t>(row));
    std::array<std::string, 4> texts;
    for (int c = hcStarted; c <= hcCost; ++c)
        texts[static_cast<size_t>(c)] =
            c == cell ? std::string(ansi) : std::string(Slice(r, static_cast<THistoryCell>(c)));
    r = MakeRow({texts[0], texts[1], texts[2], texts[3]}, r.Session);
}

void THistoryModel::SetText(int row, THistoryCell cell, const QString& text)
{
    const std::string ansi = StringToAnsi(text);
    if (AnsiText(row, cell) == ansi)
        return;
    Replace(row, cell, ansi);
    // The running session's clock and charges change only its own row.
    if (row != RunningRow())
        FFinishedStale = true;
    const QModelIndex changed = index(row, cell);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}

long double THistoryModel::CostCents(int row) const
{
    return MoneyCents(Text(row, hcCost));
}

TDate THistoryModel::Date(int row) const
{
    return SessionDate(Text(row, hcStarted));
}

int64_t THistoryModel::Seconds(int row) const
{
    int64_t seconds = 0;
    return TryStrToDuration(Text(row, hcDuration), seconds) ? seconds : 0;
}

void THistoryModel::Insert(
    int row, const QString& started, const QString& entry, const QString& duration, const QString& cost)
{
    row = std::clamp(row, 0, Count());
    const std::string texts[] = {
        StringToAnsi(started), StringToAnsi(entry), StringToAnsi(duration), StringToAnsi(cost)};
    beginInsertRows({}, row, row);
    FRows.insert(FRows.begin() + row, MakeRow({texts[0], texts[1], texts[2], texts[3]}));
    FFinishedStale = true;
    endInsertRows();
}

void THistoryModel::Append(const QString& started, const QString& entry, const QString& duration, const QString& cost)
{
    Insert(Count(), started, entry, duration, cost);
}

void THistoryModel::Assign(const std::vector<THistoryRowTexts>& rows)
{
    beginResetModel();
    FRows.clear();
    FRows.shrink_to_fit();
    FRows.reserve(rows.size());
    for (const THistoryRowTexts& texts : rows)
        FRows.push_back(MakeRow(texts));
    FFinishedStale = true;
    endResetModel();
}

void THistoryModel::Remove(std::vector<int> rows)
{
    // From the last to the first, so the positions still to go stay where they were.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row < 0 || row >= Count())
            continue;
        beginRemoveRows({}, row, row);
        FRows.erase(FRows.begin() + row);
        FFinishedStale = true;
        endRemoveRows();
    }
}

void THistoryModel::Clear()
{
    beginResetModel();
    FRows.clear();
    FFinishedStale = true;
    endResetModel();
}

void THistoryModel::MarkSession(int row, int64_t session)
{
    FRows.at(static_cast<size_t>(row)).Session = session;
}

int THistoryModel::FindSession(int64_t session, int hint) const
{
    if (session == 0)
        return -1;
    if (hint >= 0 && hint < Count() && FRows[static_cast<size_t>(hint)].Session == session)
        return hint;
    for (int i = 0; i < Count(); ++i)
        if (FRows[static_cast<size_t>(i)].Session == session)
            return i;
    return -1;
}

void THistoryModel::SetRunningSession(int64_t session)
{
    if (session == FRunning)
        return;
    FRunning = session;
    FFinishedStale = true;
}

int THistoryModel::RunningRow() const
{
    const int row = FindSession(FRunning, FRunningHint);
    if (row >= 0)
        FRunningHint = row;
    return row;
}

void THistoryModel::RefreshFinished()
{
    if (!FFinishedStale)
        return;
    const int running = RunningRow();
    FFinishedCost = 0;
    FFinishedSeconds = 0;
    for (int i = 0; i < Count(); ++i) {
        if (i == running)
            continue;
        FFinishedCost += CostCents(i);
        FFinishedSeconds += Seconds(i);
    }
    FFinishedStale = false;
}

long double THistoryModel::TotalCostCents()
{
    RefreshFinished();
    const int running = RunningRow();
    return running < 0 ? FFinishedCost : FFinishedCost + CostCents(running);
}

int64_t THistoryModel::TotalSeconds()
{
    RefreshFinished();
    const int running = RunningRow();
    return running < 0 ? FFinishedSeconds : FFinishedSeconds + Seconds(running);
}

int THistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int THistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FCaptions.size());
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count() || index.column() > hcCost)
        return {};
    return Text(index.row(), static_cast<THistoryCell>(index.column()));
}

QVariant THistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= FCaptions.size())
        return {};
    return FCaptions[section];
}

THistoryModelRows::THistoryModelRows(const THistoryModel* model)
    : FModel(model)
{
}

int THistoryModelRows::Count() const
{
    return FModel ? FModel->Count() : 0;
}

QString THistoryModelRows::Caption(int row) const
{
    return FModel && row >= 0 && row < FModel->Count() ? FModel->Text(row, hcStarted) : QString();
}

QString THistoryModelRows::SubItem(int row, int index) const
{
    if (!FModel || row < 0 || row >= FModel->Count() || index < 0 || index >= hcCost)
        return {};
    return FModel->Text(row, static_cast<THistoryCell>(index + 1));
}

long double THistoryModelRows::CostCents(int row) const
{
    return FModel && row >= 0 && row < FModel->Count() ? FModel->CostCents(row) : 0;
}

TDate THistoryModelRows::Date(int row) const
{
    return FModel && row >= 0 && row < FModel->Count() ? FModel->Date(row) : SessionDate(QString());
}
