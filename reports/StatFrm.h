#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>

class QBarSeries;
class QChartView;
class QShowEvent;
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
    // the day labels at positions 0, 1, ... and the day totals in cents at the same positions.
    QString ChartTitle() const;
    QBarSeries* Series() const;
    QStringList Labels() const;
    QList<qreal> Values() const;

protected:
    // Runs FormShow inside the report guard when the window goes from hidden to shown.
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<THistoryRows> FHistory;
    QStringList FLabels;
};
