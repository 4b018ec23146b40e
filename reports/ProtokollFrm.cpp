#include "reports/ProtokollFrm.h"

#include "base/ExceptionRoute.h"

#include <QAbstractListModel>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListView>
#include <QPalette>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

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
        // Laying out a line costs time with its length: a line of megabytes would hold up every
        // painting of its row. The row shows the line's beginning; copying takes all of it.
        QString text = FLines.Line(static_cast<std::size_t>(index.row()), ShownLength + 1);
        if (static_cast<std::size_t>(text.size()) > ShownLength) {
            text.truncate(static_cast<qsizetype>(ShownLength));
            text += QStringLiteral(" \u2026");
        }
        return text;
    }

    // Far more than any line the program writes, and far less than a second of laying out.
    static constexpr std::size_t ShownLength = 4096;

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

protected:
    // The rows stand on the window's face, so they are written in the window's text colour.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::WindowText));
    }

private:
    const TLogLines& FLines;
};

// The log's list: any range of rows is selected as in a text (Shift with a click or the arrow
// keys, Ctrl+A), and Ctrl+C copies the whole lines of the selection.
class TLogView : public QListView {
public:
    TLogView(const TForm3& form, QWidget* parent)
        : QListView(parent)
        , FForm(form)
    {
        setSelectionMode(QAbstractItemView::ExtendedSelection);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!event->matches(QKeySequence::Copy)) {
            QListView::keyPressEvent(event);
            return;
        }
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(FForm.SelectedText());
        event->accept();
    }

private:
    const TForm3& FForm;
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
    ProtMem = new TLogView(*this, this);
    ProtMem->setObjectName(QStringLiteral("ProtMem"));
    // Rows of one height let the list place every row without asking for its text.
    ProtMem->setUniformItemSizes(true);
    ProtMem->setItemDelegate(new TLongestLineDelegate(FLines, ProtMem));
    ProtMem->setModel(FModel);
    ProtMem->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProtMem->setTextElideMode(Qt::ElideNone);
    ProtMem->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ProtMem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The log is only read, so it has the face colour of the window, not that of an edit field,
    // and the window's text colour that goes with that face in light and dark palettes alike.
    ProtMem->viewport()->setBackgroundRole(QPalette::Window);

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

QString TForm3::SelectedText() const
{
    // The selection's ranges, in the order of the lines and each line once, however the user
    // made them.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (const QItemSelectionRange& range : ProtMem->selectionModel()->selection())
        ranges.emplace_back(static_cast<std::size_t>(range.top()), static_cast<std::size_t>(range.bottom()));
    std::sort(ranges.begin(), ranges.end());
    QString text;
    std::size_t next = 0;
    for (const auto& [top, bottom] : ranges) {
        const std::size_t first = std::max(top, next);
        if (first > bottom)
            continue;
        if (next > 0)
            text += QLatin1Char('\n');
        text += FLines.Text(first, bottom - first + 1);
        next = bottom + 1;
    }
    return text;
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
