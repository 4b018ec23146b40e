#include "reports/StatFrm.h"

#include "base/Exceptions.h"
#include "reports/MainWindowView.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/QtPrinters.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QTreeWidget>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace {

const QString Title = QStringLiteral("Onlinekosten (zusammengefasst in Tagen)");

class StatFrmTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Formats.Ok()) << "the test command generates de_DE.UTF-8"; }

    void Add(const QString& caption, const QString& cost) { AddHistoryRow(List.get(), caption, cost); }

    // Opens the window as the menu does, so FormShow runs from the show event.
    void Open()
    {
        Form.hide();
        Form.show();
    }

    TGermanFormats Formats;
    TRecordingGuard Guard;
    std::unique_ptr<QTreeWidget> List = MakeHistoryList();
    TForm2 Form{std::make_unique<THistoryListRows>(List.get())};
};

TEST_F(StatFrmTest, WindowIsASizeableToolWindowHoldingOnlyTheChart)
{
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("Onlinekosten-Statistik"));
    EXPECT_TRUE(Form.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(Form.size(), QSize(519, 384));
    EXPECT_EQ(Form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly), QList<QWidget*>{Form.Chart1});
    EXPECT_EQ(Form.ChartTitle(), QStringLiteral("TChart"));
    EXPECT_EQ(Form.Series(), nullptr);
    const QChart* chart = Form.Chart1->chart();
    EXPECT_TRUE(chart->isPlotAreaBackgroundVisible());
    EXPECT_EQ(chart->plotAreaBackgroundBrush().color(), QColor(Qt::white));
}

TEST_F(StatFrmTest, EmptyHistoryShowsTitleAndEmptyKostenSeries)
{
    Open();
    EXPECT_EQ(Form.ChartTitle(), Title);
    ASSERT_NE(Form.Series(), nullptr);
    EXPECT_EQ(Form.Series()->name(), QStringLiteral("Kosten"));
    EXPECT_EQ(Form.Series()->count(), 0);
    EXPECT_TRUE(Form.Labels().isEmpty());
    EXPECT_TRUE(Form.Values().isEmpty());
    EXPECT_TRUE(Guard.Messages.isEmpty());
}

TEST_F(StatFrmTest, OneSessionIsOneLabelledBarWithItsValueShown)
{
    Add(QStringLiteral("08.12.2026 14:03:22"), QStringLiteral("12,50"));
    Open();
    EXPECT_EQ(Form.Labels(), QStringList{QStringLiteral("08.12.2026")});
    EXPECT_EQ(Form.Values(), QList<qreal>{12.5});
    EXPECT_TRUE(Form.Series()->isLabelsVisible());
    auto* axis = qobject_cast<QBarCategoryAxis*>(Form.Chart1->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->categories(), QStringList{QStringLiteral("08.12.2026")});
    EXPECT_FALSE(axis->truncateLabels());
}

TEST_F(StatFrmTest, SessionsOfOneDayAddUpToOneBar)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("12,5"));
    Add(QStringLiteral("08.12.2026 12:00:00"), QStringLiteral("30"));
    Add(QStringLiteral("08.12.2026 09:00:00"), QStringLiteral("7,5"));
    Open();
    EXPECT_EQ(Form.Labels(), QStringList{QStringLiteral("08.12.2026")});
    EXPECT_EQ(Form.Values(), QList<qreal>{50});
}

TEST_F(StatFrmTest, CostThatIsNoNumberCountsAsZero)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("viel"));
    Add(QStringLiteral("08.12.2026 12:00:00"), QStringLiteral("4,25"));
    Add(QStringLiteral("08.12.2026 11:00:00"), QString());
    Open();
    EXPECT_EQ(Form.Values(), QList<qreal>{4.25});
}

TEST_F(StatFrmTest, TheValueAxisHoldsEveryBar)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("-20"));
    Add(QStringLiteral("07.12.2026 18:00:00"), QStringLiteral("250"));
    Open();
    auto* axis = qobject_cast<QValueAxis*>(Form.Chart1->chart()->axes(Qt::Vertical).value(0));
    ASSERT_NE(axis, nullptr);
    EXPECT_LE(axis->min(), -20);
    EXPECT_GE(axis->max(), 250);
}

TEST_F(StatFrmTest, TenDaysShowTheFirstSevenGroupsOfTheList)
{
    for (int day = 20; day > 10; --day)
        Add(QStringLiteral("%1.11.2026 10:00:00").arg(day), QString::number(day));
    Open();
    EXPECT_EQ(Form.Labels(),
              (QStringList{QStringLiteral("20.11.2026"), QStringLiteral("19.11.2026"), QStringLiteral("18.11.2026"),
                           QStringLiteral("17.11.2026"), QStringLiteral("16.11.2026"), QStringLiteral("15.11.2026"),
                           QStringLiteral("14.11.2026")}));
    EXPECT_EQ(Form.Values(), (QList<qreal>{20, 19, 18, 17, 16, 15, 14}));
}

TEST_F(StatFrmTest, SameDayApartInTheListFormsTwoGroupsWithTheSameLabel)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("1"));
    Add(QStringLiteral("08.12.2026 17:00:00"), QStringLiteral("2"));
    Add(QStringLiteral("07.12.2026 12:00:00"), QStringLiteral("10"));
    Add(QStringLiteral("08.12.2026 09:00:00"), QStringLiteral("100"));
    Open();
    EXPECT_EQ(Form.Labels(),
              (QStringList{QStringLiteral("08.12.2026"), QStringLiteral("07.12.2026"), QStringLiteral("08.12.2026")}));
    EXPECT_EQ(Form.Values(), (QList<qreal>{3, 10, 100}));
    // Each group keeps a place of its own on the axis, though two read the same.
    auto* axis = qobject_cast<QBarCategoryAxis*>(Form.Chart1->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(axis, nullptr);
    ASSERT_EQ(axis->count(), 3);
    EXPECT_EQ(axis->at(2).remove(QChar(0x200B)), QStringLiteral("08.12.2026"));
}

TEST_F(StatFrmTest, ShowingAgainReplacesAndDestroysTheEarlierSeries)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("5"));
    Open();
    QBarSeries* first = Form.Series();
    ASSERT_NE(first, nullptr);
    bool destroyed = false;
    QObject::connect(first, &QObject::destroyed, first, [&destroyed] { destroyed = true; });

    Add(QStringLiteral("07.12.2026 18:00:00"), QStringLiteral("6"));
    Open();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(Form.Chart1->chart()->series().size(), 1);
    EXPECT_EQ(Form.Chart1->chart()->axes().size(), 2);
    EXPECT_EQ(Form.Values(), (QList<qreal>{5, 6}));
}

TEST_F(StatFrmTest, WhileOpenTheChartIsNotRefreshed)
{
    Open();
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("5"));
    Form.show();
    EXPECT_TRUE(Form.Values().isEmpty());
    Open();
    EXPECT_EQ(Form.Values(), QList<qreal>{5});
}

TEST_F(StatFrmTest, DatePartThatDoesNotConvertGoesToTheHandlerAndLeavesTitleAndEmptySeries)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("5"));
    Add(QStringLiteral("gestern 12:00:00"), QStringLiteral("6"));
    Open();
    ASSERT_EQ(Guard.Messages, QStringList{QStringLiteral("'gestern' is not a valid date")});
    EXPECT_EQ(Guard.LastSender, &Form);
    EXPECT_EQ(Form.ChartTitle(), Title);
    ASSERT_NE(Form.Series(), nullptr);
    EXPECT_EQ(Form.Series()->name(), QStringLiteral("Kosten"));
    EXPECT_EQ(Form.Series()->count(), 0);
    EXPECT_TRUE(Form.Labels().isEmpty());
}

TEST_F(StatFrmTest, FormShowLetsTheConversionErrorOut)
{
    Add(QStringLiteral("31.02.2026 18:00:00"), QStringLiteral("5"));
    EXPECT_THROW(Form.FormShow(), EConvertError);
    EXPECT_EQ(Form.Chart1->chart()->series().size(), 1);
}

TEST_F(StatFrmTest, ClosingHidesTheWindowAndKeepsIt)
{
    Open();
    EXPECT_TRUE(Form.close());
    EXPECT_TRUE(Form.isHidden());
    EXPECT_FALSE(Form.testAttribute(Qt::WA_DeleteOnClose));
}

TEST(HistoryListRowsTest, ReadsCaptionAndSubItemsAndAListThatIsGoneAsEmpty)
{
    auto list = MakeHistoryList();
    AddHistoryRow(list.get(), QStringLiteral("08.12.2026 14:03:22"), QStringLiteral("4,50"));
    THistoryListRows rows(list.get());
    EXPECT_EQ(rows.Count(), 1);
    EXPECT_EQ(rows.Caption(0), QStringLiteral("08.12.2026 14:03:22"));
    EXPECT_EQ(rows.SubItem(0, 0), QStringLiteral("Provider"));
    EXPECT_EQ(rows.SubItem(0, 2), QStringLiteral("4,50"));
    EXPECT_EQ(rows.SubItem(0, 7), QString());
    EXPECT_EQ(rows.Caption(3), QString());
    list.reset();
    EXPECT_EQ(rows.Count(), 0);
}

} // namespace
