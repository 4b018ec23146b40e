#include "widgets/Graphics.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// The stand-ins are the program's for the length of one test; the other tests of the gauge keep
// the toolkit's own choice.
class LayoutFonts : public ::testing::Test {
protected:
    void SetUp() override { SubstituteLayoutFonts(); }
    void TearDown() override
    {
        QFont::removeSubstitutions(QStringLiteral("MS Sans Serif"));
        QFont::removeSubstitutions(QStringLiteral("Arial"));
    }
};

// The windows' own font, as the main window sets it.
QFont WindowFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    return font;
}

std::string FaceOf(const QFont& font)
{
    return QFontInfo(font).family().toStdString();
}

// The width a cell of a report list leaves its text: the style's text rectangle less the margin
// the style keeps on either side of the text, the same the item delegate elides to.
int TextRoomOfCell(QTreeWidget& list, int column)
{
    QStyleOptionViewItem option;
    option.initFrom(list.viewport());
    option.font = list.font();
    option.fontMetrics = QFontMetrics(list.font());
    option.rect = list.visualRect(list.model()->index(0, column));
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = list.topLevelItem(0)->text(column);
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QStyle* style = list.style();
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, &list);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    return text.width() - 2 * margin;
}

// The longest texts the history list shows in its stored column widths stay whole.
TEST_F(LayoutFonts, HistoryTextsFitTheirColumns)
{
    QTreeWidget list;
    list.setFont(WindowFont());
    list.setColumnCount(4);
    list.setRootIsDecorated(false);
    list.header()->setStretchLastSection(false);
    const int widths[] = {100, 150, 70, 76};
    for (int i = 0; i < 4; ++i)
        list.setColumnWidth(i, widths[i]);
    list.resize(420, 200);
    new QTreeWidgetItem(&list,
        {QStringLiteral("08.12.2026 14:03:22"), QStringLiteral("ISDN Provider"), QStringLiteral("123:59:59"),
            QStringLiteral("99999,50")});
    list.show();

    const QFontMetrics metrics(list.font());
    for (const int column : {0, 2, 3}) {
        const QString text = list.topLevelItem(0)->text(column);
        ASSERT_EQ(list.visualRect(list.model()->index(0, column)).width(), widths[column]);
        EXPECT_LE(metrics.horizontalAdvance(text), TextRoomOfCell(list, column))
            << text.toStdString() << " in " << FaceOf(list.font());
    }
}

// The stand-in keeps the height of the face it stands in for: the limit's prompt takes two lines,
// and the second ends inside its 25-pixel label.
TEST_F(LayoutFonts, StandInKeepsTheHeightOfTheLayout)
{
    const QFont font = WindowFont();
    const QFontMetrics metrics(font);
    const QRect prompt = metrics.boundingRect(
        QRect(0, 0, 105, 1000), Qt::TextWordWrap, QStringLiteral("Geben Sie hier ein Monatslimit ein:"));
    const int line = metrics.boundingRect(QStringLiteral("Geben")).height();
    ASSERT_GT(prompt.height(), line);
    ASSERT_LT(prompt.height(), 3 * line) << FaceOf(font);
    EXPECT_LE(prompt.height() / 2 + metrics.height(), 25) << FaceOf(font);
}

} // namespace
