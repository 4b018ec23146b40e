#include "reports/ProtokollFrm.h"

#include "reports/ReportGuard.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

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

    ProtMem = new QPlainTextEdit(this);
    ProtMem->setObjectName(QStringLiteral("ProtMem"));
    ProtMem->setReadOnly(true);
    ProtMem->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ProtMem->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ProtMem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The memo is only read, so it has the face colour of the window, not that of an edit field.
    QPalette palette = ProtMem->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    ProtMem->setPalette(palette);
    // Undo steps of the appended lines would only hold memory for the whole run.
    ProtMem->setUndoRedoEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ProtMem);

    RunReportHandler(this, [this] { FormCreate(); });
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!FMemoFilled)
        FillMemo();
}

void TForm3::FillMemo()
{
    ProtMem->setPlainText(FLines.join(QLatin1Char('\n')));
    FMemoFilled = true;
    // The newest lines are the ones worth seeing first.
    ProtMem->moveCursor(QTextCursor::End);
}

void TForm3::SetLines(QStringList lines)
{
    FLines = std::move(lines);
    FMemoFilled = false;
    ProtMem->clear();
    if (isVisible())
        FillMemo();
}

void TForm3::AppendLine(const QString& line)
{
    FLines.append(line);
    if (!FMemoFilled)
        return;
    QScrollBar* bar = ProtMem->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // One block per line, added at the end; the document above it is not laid out again.
    QTextCursor cursor(ProtMem->document());
    cursor.movePosition(QTextCursor::End);
    if (FLines.size() > 1)
        cursor.insertBlock();
    cursor.insertText(line);
    if (atEnd)
        bar->setValue(bar->maximum());
}
