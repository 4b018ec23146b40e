// The connection history: the list of all recorded sessions, newest first, and its totals.

#include "app/ZeltixFrm.h"

#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/HistoryStream.h"
#include "app/StoredFiles.h"
#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/ReadFile.h"
#include "base/SysUtils.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QTreeView>

#include <algorithm>
#include <cerrno>
#include <cstring>

void TForm1::UpdateOnlineTimeTotal()
{
    // The real total: its hours grow past a day, as the sessions' own durations do.
    Label7->setText(QStringLiteral("Gesamt Onlinezeit: ") + FormatDuration(History->TotalSeconds()));
    Label7->adjustSize();
}

bool TForm1::Leeren1Click()
{
    if (ShowMessageBox(QStringLiteral("Sollen alle bisherigen Verbindungsaufzeichnungen gelöscht werden?"),
            QStringLiteral("Confirm"), TMessageIcon::miQuestion, TMessageButtons::mbYesNo) != TModalResult::mrYes)
        return false;
    History->Clear();
    return true;
}

void TForm1::ListView1KeyDown(QKeyEvent* Key)
{
    if (Key->key() != Qt::Key_Delete || !ListView1->selectionModel()->hasSelection())
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        rows.push_back(index.row());
    History->Remove(std::move(rows));
    Key->accept();
}

namespace {

// The list's place and columns as the window shows them.
THistoryLayout LayoutOf(const QTreeView* list, const THistoryModel* history)
{
    THistoryLayout layout;
    layout.Left = list->x();
    layout.Top = list->y();
    layout.Width = list->width();
    layout.Height = list->height();
    for (int i = 0; i < history->Captions().size(); ++i)
        layout.Columns.push_back({history->Captions()[i], list->columnWidth(i)});
    return layout;
}

void ShowColumns(QTreeView* list, THistoryModel* history, const THistoryLayout& layout)
{
    if (layout.Columns.empty())
        return;
    QStringList captions;
    for (const THistoryColumn& column : layout.Columns)
        captions << column.Caption;
    history->SetCaptions(captions);
    for (size_t i = 0; i < layout.Columns.size(); ++i)
        list->setColumnWidth(static_cast<int>(i), layout.Columns[i].Width);
}

// A name beside the file that no earlier copy has taken.
QString FreeBadCopyName(const QString& path)
{
    QString candidate = path + QStringLiteral(".bad");
    for (int n = 1; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = path + QStringLiteral(".bad") + QString::number(n);
    return candidate;
}

} // namespace

void TForm1::LoadHistory()
{
    const QString path = ProgramDir() + StoredFiles::History;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        History->Clear();
        return;
    }
    // A file that cannot be read whole changes nothing in the list: its columns and rows stay
    // as they were, and the file is kept aside before the next save replaces it.
    THistoryLayout layout = LayoutOf(ListView1, History);
    std::vector<THistoryRowTexts> rows;
    std::string bytes;
    try {
        std::string why;
        if (!ReadWholeFile(QFile::encodeName(path).toStdString(), bytes, StoredFiles::HistoryReadLimit, &why))
            throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, QString::fromLocal8Bit(why)));
        rows = ReadHistoryRows(bytes, layout);
    } catch (const std::bad_alloc&) {
        FHistoryUnreadable = true;
        throw EInOutError(QStringLiteral("Cannot read file \"%1\": not enough memory").arg(path));
    } catch (...) {
        FHistoryUnreadable = true;
        throw;
    }
    ShowColumns(ListView1, History, layout);
    History->Assign(rows);
}

void TForm1::SaveHistory()
{
    const QString path = ProgramDir() + StoredFiles::History;
    if (FHistoryUnreadable) {
        // The file that failed to load is moved aside before it is first replaced, so the
        // sessions it still holds are not lost. Moving costs nothing, however large it is.
        const QString copy = FreeBadCopyName(path);
        const bool moved = ::rename(QFile::encodeName(path).constData(), QFile::encodeName(copy).constData()) == 0;
        if (!moved && errno != ENOENT)
            throw EInOutError(QStringLiteral("Cannot rename file \"%1\" to \"%2\". %3")
                                  .arg(path, copy, QString::fromLocal8Bit(std::strerror(errno))));
        FHistoryUnreadable = false;
        if (moved)
            AppendErrorLog(QStringLiteral("%1 could not be read; it was kept as %2")
                               .arg(StoredFiles::History, QFileInfo(copy).fileName()));
    }
    const std::string bytes = WriteHistoryRows(LayoutOf(ListView1, History), static_cast<size_t>(History->Count()),
        [this](size_t row) { return History->RowTexts(static_cast<int>(row)); });
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes))
        throw EInOutError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}
