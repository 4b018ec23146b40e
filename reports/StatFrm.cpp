#include "reports/StatFrm.h"

#include "base/Contrast.h"
#include "base/DateTime.h"
#include "base/ExceptionRoute.h"
#include "base/FormatSettings.h"
#include "base/SysUtils.h"
#include "reports/HistoryRows.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QLocale>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

const QString ChartTitleText = QStringLiteral("Onlinekosten (zusammengefasst in Tagen)");
const QString SeriesTitle = QStringLiteral("Kosten");
// At most seven day groups are drawn: the first seven of the list, the most recent days.
constexpr int MaxGroupIndex = 6;

QString ShortDateOf(const TDate& date)
{
    TLocalTime t;
    t.Year = date.Year;
    t.Month = date.Month;
    t.Day = date.Day;
    return FormatShortDate(t);
}

// A category axis holds each label once, but two groups of the same day need their own places:
// a repeated label gets invisible zero-width spaces until it is unique.
QStringList UniqueCategories(const QStringList& labels)
{
    QStringList categories;
    for (QString label : labels) {
        while (categories.contains(label))
            label += QChar(0x200B);
        categories.append(label);
    }
    return categories;
}

// Numbers on the chart in the same locale as the rest of the program's texts, and like the
// amounts of the history without digit grouping.
QLocale ChartLocale()
{
    QString name = QString::fromStdString(FormatSettings().LocaleName);
    name = name.left(name.indexOf(QLatin1Char('.')));
    QLocale locale = name.isEmpty() || name == QLatin1String("C") ? QLocale::c() : QLocale(name);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// The value axis counts whole cents in steps of 1, 2 or 5 times a power of ten, about five of
// them, from zero (or below the lowest total) to above the highest total, with room there for
// the total written above its bar.
struct TValueScale {
    qreal Min = 0;
    qreal Max = 1;
    int TickCount = 2;
};

TValueScale ValueScale(qreal lowest, qreal highest)
{
    const qreal bottom = std::min<qreal>(lowest * 1.15, 0);
    const qreal top = std::max<qreal>(highest * 1.15, 1);
    const qreal rough = (top - bottom) / 5;
    if (!std::isfinite(rough))
        return {bottom, top, 2};
    qreal step = 1;
    for (qreal decade = 1; step < rough; decade *= 10) {
        for (const qreal factor : {1, 2, 5, 10}) {
            step = decade * factor;
            if (step >= rough)
                break;
        }
    }
    const qreal min = std::floor(bottom / step) * step;
    const qreal max = std::ceil(top / step) * step;
    return {min, max, static_cast<int>(std::lround((max - min) / step)) + 1};
}

// Upright while the widest date fits the room of one day, slanted while the slanted date fits
// it, on end otherwise: a date wider than its room would be left out of the axis.
int DateLabelAngle(const QFont& font, const QStringList& labels, qreal room)
{
    // The toolkit keeps a few pixels of margin around each label.
    constexpr qreal Margin = 8;
    const QFontMetricsF metrics(font);
    qreal width = 0;
    for (const QString& label : labels)
        width = std::max(width, metrics.horizontalAdvance(label) + Margin);
    const qreal height = metrics.height() + Margin;
    if (width <= room)
        return 0;
    if ((width + height) / std::numbers::sqrt2 <= room)
        return -45;
    return -90;
}

// Pixels between a bar's end and the total written beside it.
constexpr qreal ValueMarkGap = 3;

} // namespace

TForm2::TForm2(std::unique_ptr<THistoryRows> History, QWidget* parent)
    : QWidget(parent, Qt::Tool)
    , FHistory(std::move(History))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Onlinekosten-Statistik"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPointSize(8);
    setFont(windowFont);
    move(192, 103);
    resize(519, 384);

    Chart1 = new QChartView(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setRenderHint(QPainter::Antialiasing);
    Chart1->setRubberBand(QChartView::RectangleRubberBand);
    QChart* chart = Chart1->chart();
    chart->setTitle(QStringLiteral("TChart"));
    chart->setLocalizeNumbers(true);
    // The axes stay for the life of the window: an axis taken off the chart leaves its labels
    // and grid lines behind on it.
    FDateAxis = new QBarCategoryAxis(chart);
    // Whole dates in the window's small font; a shortened date could name another day.
    FDateAxis->setTruncateLabels(false);
    chart->addAxis(FDateAxis, Qt::AlignBottom);
    FCostAxis = new QValueAxis(chart);
    // The ticks are whole cents: no decimal places to show.
    FCostAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(FCostAxis, Qt::AlignLeft);
    // The room of each day changes with the window's width: the dates follow it both ways.
    connect(chart, &QChart::plotAreaChanged, this, [this] { FitLabels(); });
    ApplyTheme();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Chart1);
    // Narrower, seven dates on end would no longer fit their days.
    setMinimumWidth(240);
}

TForm2::~TForm2()
{
    // The chart is torn down after the window's own fields; its last layout must not reach them.
    Chart1->chart()->disconnect(this);
}

void TForm2::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ApplyTheme();
}

void TForm2::ApplyTheme()
{
    // The chart draws in a theme of its own rather than in the window's colours: a light one
    // under a light palette, a dark one under a dark palette, so it neither glares nor loses
    // its texts. A theme brings its own fonts and text colours; the axes keep the window's
    // small font and the totals the colour of the axes' labels.
    if (!Chart1)
        return;
    const QPalette colors = palette();
    const bool dark = RelativeLuminance(colors.color(QPalette::WindowText).rgb() & 0xFFFFFF) >
        RelativeLuminance(colors.color(QPalette::Window).rgb() & 0xFFFFFF);
    QChart* chart = Chart1->chart();
    chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    // The back wall is white in the light theme, as the chart is stored.
    chart->setPlotAreaBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(!dark);
    FDateAxis->setLabelsFont(font());
    FCostAxis->setLabelsFont(font());
    for (QGraphicsSimpleTextItem* mark : FValueMarks)
        mark->setBrush(FCostAxis->labelsBrush());
}

void TForm2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the desktop restoring the window, not the window being opened.
    if (!event->spontaneous())
        RunGuarded(this, [this] { FormShow(); });
}

void TForm2::FormShow()
{
    QChart* chart = Chart1->chart();
    // The series of an earlier showing is deleted, not only detached.
    chart->removeAllSeries();
    FDateAxis->clear();
    FLabels.clear();
    for (QGraphicsSimpleTextItem* mark : FValueMarks)
        delete mark;
    FValueMarks.clear();

    chart->setTitle(ChartTitleText);
    chart->setLocale(ChartLocale());

    auto* series = new QBarSeries(chart);
    series->clear();
    series->setName(SeriesTitle);
    // The legend names the bar sets, not the series: an empty set keeps "Kosten" in it while
    // there is nothing to draw.
    auto* set = new QBarSet(SeriesTitle, series);
    series->append(set);
    chart->addSeries(series);
    series->attachAxis(FDateAxis);
    series->attachAxis(FCostAxis);
    const TValueScale empty = ValueScale(0, 0);
    FCostAxis->setRange(empty.Min, empty.Max);
    FCostAxis->setTickCount(empty.TickCount);

    const int n = FHistory->Count();
    if (n == 0)
        return;

    // The whole list is read before anything is drawn, so a date that does not convert leaves
    // the chart with its title and the empty series.
    std::vector<long double> totals(static_cast<size_t>(n));
    std::vector<TDate> dates(static_cast<size_t>(n));
    size_t g = 0;
    TDate previous = FHistory->Date(0);
    long double total = 0;
    for (int i = 0; i < n; ++i) {
        const TDate d = FHistory->Date(i);
        const long double c = FHistory->CostCents(i);
        if (d == previous) {
            total += c;
        } else {
            ++g;
            total = c;
            previous = d;
        }
        totals[g] = total;
        dates[g] = d;
    }
    g = std::min<size_t>(g, MaxGroupIndex);

    qreal lowest = 0;
    qreal highest = 0;
    for (size_t i = 0; i <= g; ++i) {
        FLabels.append(ShortDateOf(dates[i]));
        set->append(static_cast<qreal>(totals[i]));
        lowest = std::min(lowest, static_cast<qreal>(totals[i]));
        highest = std::max(highest, static_cast<qreal>(totals[i]));
    }
    FDateAxis->append(UniqueCategories(FLabels));
    // A cost typed as negative still shows, below the zero line.
    const TValueScale scale = ValueScale(lowest, highest);
    FCostAxis->setRange(scale.Min, scale.Max);
    FCostAxis->setTickCount(scale.TickCount);

    // Each total is written as the history writes costs, "67,50", which the series' own labels
    // cannot do: they drop the trailing zeros.
    for (size_t i = 0; i <= g; ++i) {
        auto* mark = new QGraphicsSimpleTextItem(FormatFloat(QStringLiteral("0.00"), totals[i]), chart);
        mark->setFont(font());
        mark->setBrush(FCostAxis->labelsBrush());
        FValueMarks.push_back(mark);
    }
    FitLabels();
}

void TForm2::FitLabels()
{
    QChart* chart = Chart1->chart();
    QBarSeries* series = Series();
    if (FLabels.isEmpty() || !series)
        return;
    const qreal room = chart->plotArea().width() / static_cast<qreal>(FLabels.size());
    const int angle = DateLabelAngle(FDateAxis->labelsFont(), FLabels, room);
    if (FDateAxis->labelsAngle() != angle)
        FDateAxis->setLabelsAngle(angle);

    const QList<qreal> values = Values();
    for (size_t i = 0; i < FValueMarks.size() && i < static_cast<size_t>(values.size()); ++i) {
        const qreal value = values[static_cast<qsizetype>(i)];
        const QPointF end = chart->mapToPosition(QPointF(static_cast<qreal>(i), value), series);
        const QRectF box = FValueMarks[i]->boundingRect();
        const qreal y = value < 0 ? end.y() + ValueMarkGap : end.y() - ValueMarkGap - box.height();
        FValueMarks[i]->setPos(std::round(end.x() - box.width() / 2), std::round(y));
    }
}

QString TForm2::ChartTitle() const
{
    return Chart1->chart()->title();
}

QBarSeries* TForm2::Series() const
{
    const QList<QAbstractSeries*> all = Chart1->chart()->series();
    return all.isEmpty() ? nullptr : qobject_cast<QBarSeries*>(all.constLast());
}

QStringList TForm2::Labels() const
{
    return FLabels;
}

QStringList TForm2::ValueTexts() const
{
    QStringList texts;
    for (const QGraphicsSimpleTextItem* mark : FValueMarks)
        texts.append(mark->text());
    return texts;
}

QList<qreal> TForm2::Values() const
{
    QList<qreal> values;
    if (QBarSeries* series = Series())
        for (QBarSet* set : series->barSets())
            for (int i = 0; i < set->count(); ++i)
                values.append(set->at(i));
    return values;
}
