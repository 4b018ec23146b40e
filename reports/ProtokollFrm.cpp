#include "reports/ProtokollFrm.h"

#include "base/ExceptionRoute.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPalette>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <climits>

// The rows of the viewer's list: each asks the log for its line only when it is painted.
class TLogLinesModel : public QAbstractListModel {
public:
    TLogLinesModel(TLogLines& lines, QObject* parent)
        : QAbstractListModel(parent)
        , FLines(lines)
    {
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(FLines.Count(), INT_MAX));
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        return FLines.Line(static_cast<std::size_t>(index.row()));
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

    bool Load(const std::string& path, std::string* why)
    {
        beginResetModel();
        const bool loaded = FLines.Load(path, why);
        const int savedErrno = errno;
        endResetModel();
        errno = savedErrno;
        return loaded;
    }

    void Append(const QString& line)
    {
        const int row = rowCount();
        beginInsertRows(QModelIndex(), row, row);
        FLines.Append(line);
        endInsertRows();
    }

private:
    TLogLines& FLines;
};

namespace {

// Every row is as wide as the longest line, so the list scrolls sideways to the end of any
// line while measuring only one of them.
class TLongestLineDelegate : public QStyledItemDelegate {
public:
    TLongestLineDelegate(const TLogLines& lines, QObject* parent)
        : QStyledItemDelegate(parent)
        , FLines(lines)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QModelIndex longest = index.model()->index(static_cast<int>(FLines.Longest()), 0);
        return QStyledItemDelegate::sizeHint(option, longest.isValid() ? longest : index);
    }

private:
    const TLogLines& FLines;
};

} // namespace

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Verbindungsprotokoll"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    move(192, 103);
    resize(435, 356);

    FModel = new TLogLinesModel(FLines, this);
    ProtMem = new QListView(this);
    ProtMem->setObjectName(QStringLiteral("ProtMem"));
    // Rows of one height let the list place every row without asking for its text.
    ProtMem->setUniformItemSizes(true);
    ProtMem->setItemDelegate(new TLongestLineDelegate(FLines, ProtMem));
    ProtMem->setModel(FModel);
    ProtMem->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProtMem->setTextElideMode(Qt::ElideNone);
    ProtMem->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ProtMem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The log is only read, so it has the face colour of the window, not that of an edit field.
    QPalette palette = ProtMem->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    ProtMem->setPalette(palette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ProtMem);

    RunGuarded(this, [this] { FormCreate(); });
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FScrollToEnd)
        ShowNewest();
}

void TForm3::ShowNewest()
{
    FScrollToEnd = false;
    ProtMem->scrollToBottom();
    const QModelIndex last = FModel->index(FModel->rowCount() - 1, 0);
    if (last.isValid())
        ProtMem->selectionModel()->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
}

bool TForm3::LoadLines(const std::string& path, std::string* why)
{
    if (!FModel->Load(path, why))
        return false;
    FScrollToEnd = true;
    if (isVisible())
        ShowNewest();
    return true;
}

void TForm3::AppendLine(const QString& line)
{
    const QScrollBar* bar = ProtMem->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    FModel->Append(line);
    if (!atEnd)
        return;
    if (isVisible())
        ProtMem->scrollToBottom();
    else
        FScrollToEnd = true;
}
