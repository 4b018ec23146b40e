#include "reports/StatFrm.h"

#include "base/Exceptions.h"
#include "tests/reports/HistoryListRows.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/Palettes.h"
#include "tests/support/QtPrinters.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QTreeWidget>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

const QString Title = QStringLiteral("Onlinekosten (zusammengefasst in Tagen)");

class StatFrmTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Formats.Ok()); }

    void Add(const QString& caption, const QString& cost) { AddHistoryRow(List.get(), caption, cost); }

    // Opens the window as the menu does, so FormShow runs from the show event.
    void Open()
    {
        Form.hide();
        Form.show();
        Settle();
    }

    // Lets the chart lay itself out, also again after the dates have changed their slant.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    void Resize(int width)
    {
        Form.resize(width, 384);
        Settle();
    }

    QBarCategoryAxis* DateAxis() const
    {
        return qobject_cast<QBarCategoryAxis*>(Form.Chart1->chart()->axes(Qt::Horizontal).value(0));
    }

    // The texts of the chart's title, legend and axes that are on the screen, or all it holds.
    QStringList AxisTexts(bool visibleOnly = true) const
    {
        QStringList texts;
        for (QGraphicsItem* item : Form.Chart1->scene()->items())
            if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && (text->isVisible() || !visibleOnly))
                texts.append(text->toPlainText().remove(QChar(0x200B)));
        return texts;
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
    EXPECT_TRUE(Form.Labels().isEmpty());
    EXPECT_TRUE(Form.Values().isEmpty());
    EXPECT_TRUE(Guard.Messages.isEmpty());
    // The legend names the empty series all the same.
    const QList<QLegendMarker*> markers = Form.Chart1->chart()->legend()->markers(Form.Series());
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0]->label(), QStringLiteral("Kosten"));
    EXPECT_TRUE(markers[0]->isVisible());
    EXPECT_TRUE(Form.Chart1->chart()->legend()->isVisible());
}

// The chart's texts read on its face, in a light and in a dark palette, and a dark palette gets
// a dark chart rather than a white one.
TEST_F(StatFrmTest, TextsReadInLightAndDarkPalettes)
{
    Add(QStringLiteral("08.12.2026 14:03:22"), QStringLiteral("12,50"));
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark palette" : "light palette");
        Form.setPalette(dark ? DarkPalette() : LightPalette());
        Open();
        const QChart* chart = Form.Chart1->chart();
        const QImage shown = Form.grab().toImage();
        const QColor face = shown.pixelColor(2, 2);
        EXPECT_EQ(RelativeLuminance(face.rgb() & 0xFFFFFF) < 0.2, dark) << face.name().toStdString();
        const QColor plot = chart->isPlotAreaBackgroundVisible() ? chart->plotAreaBackgroundBrush().color() : face;
        const QList<QAbstractAxis*> axes = chart->axes();
        ASSERT_EQ(axes.size(), 2);
        const QGraphicsSimpleTextItem* mark = nullptr;
        for (const QGraphicsItem* item : Form.Chart1->scene()->items())
            if (const auto* text = dynamic_cast<const QGraphicsSimpleTextItem*>(item);
                text && text->text() == QStringLiteral("12,50"))
                mark = text;
        const std::pair<const char*, QColor> texts[] = {
            {"title", chart->titleBrush().color()},
            {"legend", chart->legend()->labelColor()},
            {"dates", axes[0]->labelsBrush().color()},
            {"costs", axes[1]->labelsBrush().color()},
        };
        for (const auto& [what, color] : texts)
            EXPECT_GE(Contrast(color, face), MinimumTextContrast) << what << " " << color.name().toStdString();
        ASSERT_NE(mark, nullptr);
        EXPECT_GE(Contrast(mark->brush().color(), plot), MinimumTextContrast) << "total above the bar";
    }
}

TEST_F(StatFrmTest, OneSessionIsOneLabelledBarWithItsValueShown)
{
    Add(QStringLiteral("08.12.2026 14:03:22"), QStringLiteral("12,50"));
    Open();
    EXPECT_EQ(Form.Labels(), QStringList{QStringLiteral("08.12.2026")});
    EXPECT_EQ(Form.Values(), QList<qreal>{12.5});
    EXPECT_EQ(Form.ValueTexts(), QStringList{QStringLiteral("12,50")});
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

// Each total stands above its bar, below it when negative, written as the history writes costs.
TEST_F(StatFrmTest, TotalsStandAtTheirBarsInTheHistorysCostFormat)
{
    Add(QStringLiteral("08.12.2026 18:00:00"), QStringLiteral("63"));
    Add(QStringLiteral("08.12.2026 12:00:00"), QStringLiteral("4,50"));
    Add(QStringLiteral("07.12.2026 12:00:00"), QStringLiteral("50"));
    Add(QStringLiteral("06.12.2026 08:00:00"), QStringLiteral("-20"));
    Add(QStringLiteral("05.12.2026 08:00:00"), QStringLiteral("0,125"));
    Open();
    const QStringList texts = Form.ValueTexts();
    ASSERT_EQ(texts,
        (QStringList{
            QStringLiteral("67,50"), QStringLiteral("50,00"), QStringLiteral("-20,00"), QStringLiteral("0,13")}));

    QChart* chart = Form.Chart1->chart();
    int marks = 0;
    for (QGraphicsItem* item : chart->childItems()) {
        auto* mark = dynamic_cast<QGraphicsSimpleTextItem*>(item);
        if (!mark)
            continue;
        ++marks;
        const int i = static_cast<int>(texts.indexOf(mark->text()));
        const qreal value = Form.Values().value(i);
        const QPointF end = chart->mapToPosition(QPointF(i, value), Form.Series());
        const QRectF box = mark->sceneBoundingRect();
        EXPECT_NEAR(box.center().x(), end.x(), 1) << mark->text().toStdString();
        EXPECT_TRUE(value < 0 ? box.top() >= end.y() : box.bottom() <= end.y()) << mark->text().toStdString();
    }
    EXPECT_EQ(marks, 4);
}

// The value axis counts whole cents, in German without a decimal place or digit grouping.
TEST_F(StatFrmTest, ValueAxisShowsWholeCents)
{
    const struct {
        const char* Costs;
        const char* Ticks;
    } cases[] = {
        {"72 120 12,25", "0 50 100 150"},
        {"-20 250", "-100 0 100 200 300"},
        {"0,5", "0 1"},
        {"0", "0 1"},
        {"12345", "0 5000 10000 15000"},
    };
    for (const auto& c : cases) {
        List->clear();
        const QStringList costs = QString::fromLatin1(c.Costs).split(QLatin1Char(' '));
        for (int i = 0; i < costs.size(); ++i)
            Add(QStringLiteral("%1.12.2026 10:00:00").arg(10 + i), costs[i]);
        Open();
        QList<long long> ticks;
        for (const QString& text : AxisTexts())
            if (bool whole = false; text.toLongLong(&whole), whole)
                ticks.append(text.toLongLong());
        std::sort(ticks.begin(), ticks.end());
        QStringList shown;
        for (const long long tick : ticks)
            shown.append(QString::number(tick));
        EXPECT_EQ(shown.join(QLatin1Char(' ')).toStdString(), c.Ticks) << "for " << c.Costs;
    }
}

// Every day keeps its date at any width: upright where it fits, slanted or on end where it does
// not, and upright again when the window is widened.
TEST_F(StatFrmTest, DatesFollowTheWidthOfTheWindowAndNoneIsLeftOut)
{
    for (int day = 20; day > 13; --day)
        Add(QStringLiteral("%1.11.2026 10:00:00").arg(day), QString::number(day));
    Resize(900);
    Open();
    for (const int width : {900, 420, 300, Form.minimumWidth(), 900}) {
        Resize(width);
        ASSERT_NE(DateAxis(), nullptr);
        EXPECT_EQ(DateAxis()->labelsAngle() == 0, width == 900) << "at width " << width;
        EXPECT_EQ(AxisTexts().filter(QStringLiteral(".2026")).size(), 7) << "at width " << width;
    }
}

// Showing the window again at another width draws one set of dates: nothing of the earlier
// showing stays behind on the chart.
TEST_F(StatFrmTest, OpeningAgainLeavesNoDatesOfTheEarlierShowing)
{
    for (int day = 20; day > 13; --day)
        Add(QStringLiteral("%1.11.2026 10:00:00").arg(day), QString::number(day));
    for (const int width : {900, 300, 900}) {
        Form.hide();
        Form.resize(width, 384);
        Open();
    }
    EXPECT_EQ(AxisTexts(false).filter(QStringLiteral(".2026")).size(), 7);
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
    EXPECT_TRUE(Form.Values().isEmpty());
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
