#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QBarCategoryAxis;
class QBarSeries;
class QChartView;
class QEvent;
class QGraphicsSimpleTextItem;
class QShowEvent;
class QValueAxis;
class THistoryRows;

// The cost statistics window: a bar chart of the costs of the most recent days with sessions,
// rebuilt from the main window's history list every time the window is shown.
class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(std::unique_ptr<THistoryRows> History, QWidget* parent = nullptr);
    ~TForm2() override;

    QChartView* Chart1 = nullptr;

    // Rebuilds the chart from the history list as it stands now. A date part that does not
    // convert raises EConvertError; the chart then shows its title and the empty series.
    void FormShow();

    // What the chart shows: the title, the series of the latest showing (none before the first),
    // the day labels at positions 0, 1, ..., the day totals in cents at the same positions and
    // the totals as written above their bars.
    QString ChartTitle() const;
    QBarSeries* Series() const;
    QStringList Labels() const;
    QList<qreal> Values() const;
    QStringList ValueTexts() const;

protected:
    // Runs FormShow inside the report guard when the window goes from hidden to shown.
    void showEvent(QShowEvent* event) override;
    // A new palette (a desktop switching between light and dark) brings the matching theme.
    void changeEvent(QEvent* event) override;

private:
    // Draws the chart in the theme that suits the window's palette.
    void ApplyTheme();
    // Sets the dates' slant for the room the chart gives each day now and puts each day's total
    // above its bar; runs whenever the plot area changes.
    void FitLabels();

    std::unique_ptr<THistoryRows> FHistory;
    QBarCategoryAxis* FDateAxis = nullptr;
    QValueAxis* FCostAxis = nullptr;
    QStringList FLabels;
    // The totals written above the bars, items of the chart.
    std::vector<QGraphicsSimpleTextItem*> FValueMarks;
};
