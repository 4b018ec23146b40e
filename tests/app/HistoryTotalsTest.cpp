#include "app/HistoryList.h"
#include "base/FormatSettings.h"
#include "base/SysUtils.h"
#include "tests/support/QtPrinters.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

#include <random>

namespace {

// The cost total as the status panel shows it.
QString CostLabel(long double cents)
{
    return FormatFloat(QStringLiteral("0.00"), cents / 100) + QStringLiteral(" Euro (") + FloatToStr(cents) +
           QStringLiteral(" Cent)");
}

// Every row summed afresh in list order, as the totals were computed on every tick before.
long double AllRowsInOrder(const QTreeWidget& list)
{
    long double total = 0;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        total += HistoryCostCents(*list.topLevelItem(i));
    return total;
}

int64_t AllSeconds(const QTreeWidget& list)
{
    int64_t total = 0;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        total += HistorySeconds(*list.topLevelItem(i));
    return total;
}

class HistoryTotalsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(UseLocaleForFormats("de_DE.UTF-8")); }
    void TearDown() override { UseLocaleForFormats({}); }
};

// Costs as the program writes them, with many that end on a half cent of a euro ("x,x5" euros)
// where the shown euros round, and durations across whole hours.
TEST_F(HistoryTotalsTest, KeptTotalsAreThoseOfAFullRecomputationAfterAnyChange)
{
    std::mt19937 random(20261209);
    auto cost = [&random] {
        const int64_t cents = std::uniform_int_distribution<int64_t>(0, 2'000'000)(random);
        const int64_t edge = cents - cents % 10 + 5; // ..,x5 in cents is a half cent in euros / 10
        const int64_t hundredths = random() % 3 == 0 ? edge : cents;
        return FormatFloat(QStringLiteral("0.00"), static_cast<long double>(hundredths) / 100);
    };
    auto duration = [&random] {
        const int seconds = std::uniform_int_distribution<int>(0, 5 * 3600)(random);
        return FormatFloat(QStringLiteral("00"), seconds / 3600) + ':' + FormatFloat(QStringLiteral("00"), seconds / 60 % 60) +
               ':' + FormatFloat(QStringLiteral("00"), seconds % 60);
    };

    QTreeWidget list;
    list.setColumnCount(4);
    THistoryTotals totals(&list);
    QTreeWidgetItem* running = nullptr;
    for (int step = 0; step < 600; ++step) {
        switch (random() % 8) {
        case 0: // a session starts: its row comes first
            running = NewHistoryRow("09.12.2026 10:00:00", "Provider", "00:00:00", cost());
            list.insertTopLevelItem(0, running);
            totals.SetRunningRow(running);
            break;
        case 1: // it ends
            totals.SetRunningRow(nullptr);
            running = nullptr;
            break;
        case 2: // rows deleted, perhaps the running one
            if (list.topLevelItemCount() > 0) {
                const int row = static_cast<int>(random() % list.topLevelItemCount());
                if (list.topLevelItem(row) == running)
                    running = nullptr;
                delete list.takeTopLevelItem(row);
            }
            break;
        case 3: // a row of a loaded file, anywhere
            list.insertTopLevelItem(static_cast<int>(random() % (list.topLevelItemCount() + 1)),
                                    NewHistoryRow("01.12.2026 08:00:00", "Provider", duration(), cost()));
            break;
        default: // the running session's clock and its charged minutes
            if (running) {
                SetHistoryText(*running, hcDuration, duration());
                SetHistoryText(*running, hcCost, cost());
            }
            break;
        }
        THistoryTotals fresh(&list);
        fresh.SetRunningRow(running);
        ASSERT_EQ(totals.CostCents(), fresh.CostCents()) << "step " << step;
        ASSERT_EQ(totals.Seconds(), fresh.Seconds()) << "step " << step;
        ASSERT_EQ(totals.Seconds(), AllSeconds(list)) << "step " << step;
        ASSERT_EQ(CostLabel(totals.CostCents()), CostLabel(AllRowsInOrder(list))) << "step " << step;
    }
}

TEST_F(HistoryTotalsTest, TextsThatAreNoNumberOrTimeCountAsNothing)
{
    QTreeWidget list;
    list.setColumnCount(4);
    THistoryTotals totals(&list);
    list.addTopLevelItem(NewHistoryRow("", "A", "00:10:00", "12,50"));
    list.addTopLevelItem(NewHistoryRow("", "B", "zehn", "viel"));
    list.addTopLevelItem(NewHistoryRow("", "C", "", ""));
    EXPECT_EQ(totals.CostCents(), 12.5L);
    EXPECT_EQ(totals.Seconds(), 600);
    list.topLevelItem(1)->setText(hcCost, "0,50"); // a row that is not the running one
    EXPECT_EQ(totals.CostCents(), 13.0L);
}

} // namespace
