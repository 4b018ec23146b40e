// The connection history: the list of all recorded sessions, newest first, and its totals.

#include "app/ZeltixFrm.h"

#include "app/Dialogs.h"
#include "app/HistoryList.h"
#include "app/HistoryStream.h"
#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QTreeWidget>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Deletes the rows from the last to the first, as the list's own deletion does.
void DeleteRows(QTreeWidget* list, bool selectedOnly)
{
    for (int i = list->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (!selectedOnly || row->isSelected())
            delete list->takeTopLevelItem(i);
    }
}

} // namespace

void TForm1::UpdateOnlineTimeTotal()
{
    // A time of day: the sum wraps at 24 hours.
    Label7->setText(QStringLiteral("Gesamt Onlinezeit: ") + FormatTimeOfDay(FTotals->Seconds()));
    Label7->adjustSize();
}

bool TForm1::Leeren1Click()
{
    if (ShowMessageBox(QStringLiteral("Sollen alle bisherigen Verbindungsaufzeichnungen gelöscht werden?"),
                       QStringLiteral("Confirm"), TMessageIcon::Question, TMessageButtons::YesNo) != TModalResult::Yes)
        return false;
    DeleteRows(ListView1, false);
    return true;
}

void TForm1::ListView1KeyDown(QKeyEvent* Key)
{
    if (Key->key() != Qt::Key_Delete || ListView1->selectedItems().isEmpty())
        return;
    DeleteRows(ListView1, true);
    Key->accept();
}

namespace {

const QString HistoryFile = QStringLiteral("connhistory.dat");

THistoryList HistoryOf(const QTreeWidget* list)
{
    THistoryList history;
    history.Left = list->x();
    history.Top = list->y();
    history.Width = list->width();
    history.Height = list->height();
    for (int i = 0; i < list->columnCount(); ++i)
        history.Columns.push_back({list->headerItem()->text(i), list->columnWidth(i)});
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = list->topLevelItem(r);
        THistoryRow row{item->text(0), {}};
        for (int i = 1; i < std::max(list->columnCount(), 4); ++i)
            row.SubItems << item->text(i);
        history.Rows.push_back(std::move(row));
    }
    return history;
}

void ShowHistory(QTreeWidget* list, const THistoryList& history)
{
    if (!history.Columns.empty()) {
        QStringList captions;
        for (const THistoryColumn& column : history.Columns)
            captions << column.Caption;
        list->setColumnCount(static_cast<int>(captions.size()));
        list->setHeaderLabels(captions);
        for (size_t i = 0; i < history.Columns.size(); ++i)
            list->setColumnWidth(static_cast<int>(i), history.Columns[i].Width);
    }
    QList<QTreeWidgetItem*> items;
    for (const THistoryRow& row : history.Rows)
        items << new QTreeWidgetItem(QStringList{row.Caption} + row.SubItems);
    list->clear();
    list->addTopLevelItems(items);
}

// A name beside the file that no earlier copy has taken.
QString FreeBadCopyName(const QString& path)
{
    QString candidate = path + QStringLiteral(".bad");
    for (int n = 1; QFile::exists(candidate); ++n)
        candidate = path + QStringLiteral(".bad") + QString::number(n);
    return candidate;
}

// Removes the temporary files of saves that never reached their rename (the program was killed
// while saving); the file itself holds the last save that completed. One that cannot be removed
// is tried again at the next start. Bad copies from the hundredth on ("bad100") look like such
// a file, and are kept.
void RemoveSaveLeftovers(const QString& path)
{
    static const QRegularExpression BadCopy(QStringLiteral("\\.bad[0-9]+$"));
    for (const std::string& leftover : AtomicWriteLeftovers(QFile::encodeName(path).toStdString())) {
        const QString name = QFile::decodeName(leftover.c_str());
        if (!BadCopy.match(name).hasMatch())
            QFile::remove(name);
    }
}

} // namespace

void TForm1::LoadHistory()
{
    const QString path = ProgramDir() + HistoryFile;
    RemoveSaveLeftovers(path);
    if (!QFile::exists(path)) {
        ListView1->clear();
        return;
    }
    // A file that cannot be read whole changes nothing in the list: its columns and rows stay
    // as they were, and the file is kept aside before the next save replaces it.
    std::string bytes;
    if (!ReadWholeFile(QFile::encodeName(path).toStdString(), bytes)) {
        FHistoryUnreadable = true;
        throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    THistoryList history = HistoryOf(ListView1);
    try {
        ReadHistoryStream(bytes, history);
    } catch (...) {
        FHistoryUnreadable = true;
        throw;
    }
    ShowHistory(ListView1, history);
}

void TForm1::SaveHistory()
{
    const QString path = ProgramDir() + HistoryFile;
    if (FHistoryUnreadable) {
        // The file that failed to load is kept aside before it is first replaced, so the
        // sessions it still holds are not lost.
        const QString copy = FreeBadCopyName(path);
        if (QFile::exists(path) && !QFile::copy(path, copy))
            throw EInOutError(QStringLiteral("Cannot create file \"%1\".").arg(copy));
        FHistoryUnreadable = false;
        AppendErrorLog(QStringLiteral("%1 could not be read; it was kept as %2")
                           .arg(HistoryFile, QFileInfo(copy).fileName()));
    }
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(), WriteHistoryStream(HistoryOf(ListView1))))
        throw EInOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}
