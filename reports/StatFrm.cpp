#include "reports/StatFrm.h"

#include "base/DateTime.h"
#include "base/FormatSettings.h"
#include "base/SysUtils.h"
#include "reports/MainWindowView.h"
#include "reports/ReportGuard.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFontMetrics>
#include <QLocale>
#include <QShowEvent>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

const QString ChartTitleText = QStringLiteral("Onlinekosten (zusammengefasst in Tagen)");
const QString SeriesTitle = QStringLiteral("Kosten");
// At most seven day groups are drawn: the first seven of the list, the most recent days.
constexpr int MaxGroupIndex = 6;

// The session's date: the caption up to its first blank (the rest is the start time).
TDate DateOfRow(const THistoryRows& rows, int row)
{
    const QString caption = rows.Caption(row);
    const qsizetype blank = caption.indexOf(QLatin1Char(' '));
    return StrToDate(blank < 0 ? caption : caption.left(blank));
}

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

// Numbers on the chart in the same locale as the rest of the program's texts.
QLocale ChartLocale()
{
    QString name = QString::fromStdString(FormatSettings().LocaleName);
    name = name.left(name.indexOf(QLatin1Char('.')));
    return name.isEmpty() || name == QLatin1String("C") ? QLocale::c() : QLocale(name);
}

} // namespace

TForm2::TForm2(std::unique_ptr<THistoryRows> History, QWidget* parent)
    : QWidget(parent, Qt::Tool)
    , FHistory(std::move(History))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Onlinekosten-Statistik"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    move(192, 103);
    resize(519, 384);

    Chart1 = new QChartView(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setRenderHint(QPainter::Antialiasing);
    Chart1->setRubberBand(QChartView::RectangleRubberBand);
    QChart* chart = Chart1->chart();
    chart->setTitle(QStringLiteral("TChart"));
    chart->setPlotAreaBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(true);
    chart->setLocale(ChartLocale());
    chart->setLocalizeNumbers(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Chart1);
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the desktop restoring the window, not the window being opened.
    if (!event->spontaneous())
        RunReportHandler(this, [this] { FormShow(); });
}

void TForm2::FormShow()
{
    QChart* chart = Chart1->chart();
    // The series and axes of an earlier showing are deleted, not only detached.
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    FLabels.clear();

    chart->setTitle(ChartTitleText);

    auto* series = new QBarSeries(chart);
    series->clear();
    series->setName(SeriesTitle);
    series->setLabelsVisible(true);
    series->setLabelsFormat(QStringLiteral("@value"));
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    chart->addSeries(series);
    auto* axisX = new QBarCategoryAxis(chart);
    // Whole dates in the window's small font; a shortened date could name another day.
    axisX->setTruncateLabels(false);
    axisX->setLabelsFont(font());
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    auto* axisY = new QValueAxis(chart);
    axisY->setLabelsFont(font());
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);

    const int n = FHistory->Count();
    if (n == 0)
        return;

    // The whole list is read before anything is drawn, so a date that does not convert leaves
    // the chart with its title and the empty series.
    std::vector<long double> totals(static_cast<size_t>(n));
    std::vector<TDate> dates(static_cast<size_t>(n));
    size_t g = 0;
    TDate previous = DateOfRow(*FHistory, 0);
    long double total = 0;
    for (int i = 0; i < n; ++i) {
        const TDate d = DateOfRow(*FHistory, i);
        const long double c = StrToFloatDef(FHistory->SubItem(i, 2), 0);
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

    auto* set = new QBarSet(SeriesTitle, series);
    set->setLabelColor(Qt::black);
    qreal lowest = 0;
    qreal highest = 0;
    for (size_t i = 0; i <= g; ++i) {
        FLabels.append(ShortDateOf(dates[i]));
        set->append(static_cast<qreal>(totals[i]));
        lowest = std::min(lowest, static_cast<qreal>(totals[i]));
        highest = std::max(highest, static_cast<qreal>(totals[i]));
    }
    series->append(set);
    axisX->append(UniqueCategories(FLabels));
    // Dates too wide for their place are turned aslant rather than dropped.
    const int place = (width() - 100) / static_cast<int>(FLabels.size());
    const bool crowded = QFontMetrics(font()).horizontalAdvance(FLabels.constFirst()) + 8 > place;
    axisX->setLabelsAngle(crowded ? -45 : 0);
    // Room beyond the longest bars for their values; a cost typed as negative still shows.
    axisY->setRange(lowest * 1.15, highest > 0 ? highest * 1.15 : 1);
    axisY->applyNiceNumbers();
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

QList<qreal> TForm2::Values() const
{
    QList<qreal> values;
    if (QBarSeries* series = Series())
        for (QBarSet* set : series->barSets())
            for (int i = 0; i < set->count(); ++i)
                values.append(set->at(i));
    return values;
}
