#include "app/HistoryModel.h"
#include "base/SysUtils.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/QtPrinters.h"

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
long double AllRowsInOrder(const THistoryModel& history)
{
    long double total = 0;
    for (int i = 0; i < history.Count(); ++i)
        total += history.CostCents(i);
    return total;
}

int64_t AllSeconds(const THistoryModel& history)
{
    int64_t total = 0;
    for (int i = 0; i < history.Count(); ++i)
        total += history.Seconds(i);
    return total;
}

const QStringList Captions{"Datum", "Verbindung", "Dauer", "Kosten (Cent)"};

class HistoryModelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(GermanFormats.Ok()); }

    TFormatLocaleScope GermanFormats{"de_DE.UTF-8"};
};

// Costs as the program writes them, many of them on a half cent of a euro where the shown euros
// round, and durations across whole hours.
TEST_F(HistoryModelTest, KeptTotalsAreThoseOfAFullRecomputationAfterAnyChange)
{
    std::mt19937 random(20261209);
    auto cost = [&random] {
        const int64_t cents = std::uniform_int_distribution<int64_t>(0, 2'000'000)(random);
        const int64_t hundredths = random() % 3 == 0 ? cents - cents % 10 + 5 : cents;
        return FormatFloat(QStringLiteral("0.00"), static_cast<long double>(hundredths) / 100);
    };
    auto duration = [&random] {
        const int seconds = std::uniform_int_distribution<int>(0, 5 * 3600)(random);
        return FormatFloat(QStringLiteral("00"), seconds / 3600) + ':' +
            FormatFloat(QStringLiteral("00"), seconds / 60 % 60) + ':' +
            FormatFloat(QStringLiteral("00"), seconds % 60);
    };

    THistoryModel history(Captions);
    int64_t session = 0;
    int64_t runningSession = 0;
    for (int step = 0; step < 600; ++step) {
        const int running = history.FindSession(runningSession, 0);
        switch (random() % 8) {
        case 0: // a session starts: its row comes first
            history.Insert(0, "09.12.2026 10:00:00", "Provider", "00:00:00", cost());
            history.MarkSession(0, ++session);
            history.SetRunningSession(runningSession = session);
            break;
        case 1: // it ends
            history.SetRunningSession(runningSession = 0);
            break;
        case 2: // rows deleted, perhaps the running one
            if (history.Count() > 0)
                history.Remove(
                    {static_cast<int>(random() % history.Count()), static_cast<int>(random() % history.Count())});
            break;
        case 3: // a row of a loaded file, anywhere
            history.Insert(static_cast<int>(random() % (history.Count() + 1)), "01.12.2026 08:00:00", "Provider",
                duration(), cost());
            break;
        case 4: // a finished row changed
            if (history.Count() > 0)
                history.SetText(static_cast<int>(random() % history.Count()), hcCost, cost());
            break;
        default: // the running session's clock and its charged minutes
            if (running >= 0) {
                history.SetText(running, hcDuration, duration());
                history.SetText(running, hcCost, cost());
            }
            break;
        }
        THistoryModel fresh(Captions);
        std::vector<THistoryRowTexts> rows;
        for (int i = 0; i < history.Count(); ++i)
            rows.push_back(history.RowTexts(i));
        fresh.Assign(rows);
        if (const int row = history.FindSession(runningSession, 0); row >= 0) {
            fresh.MarkSession(row, runningSession);
            fresh.SetRunningSession(runningSession);
        }
        ASSERT_EQ(history.TotalCostCents(), fresh.TotalCostCents()) << "step " << step;
        ASSERT_EQ(history.TotalSeconds(), AllSeconds(history)) << "step " << step;
        ASSERT_EQ(CostLabel(history.TotalCostCents()), CostLabel(AllRowsInOrder(history))) << "step " << step;
    }
}

TEST_F(HistoryModelTest, TextsThatAreNoNumberOrTimeCountAsNothing)
{
    THistoryModel history(Captions);
    history.Append("", "A", "00:10:00", "12,50");
    history.Append("", "B", "zehn", "viel");
    history.Append("", "C", "", "");
    EXPECT_EQ(history.TotalCostCents(), 12.5L);
    EXPECT_EQ(history.TotalSeconds(), 600);
    history.SetText(1, hcCost, "0,50");
    EXPECT_EQ(history.TotalCostCents(), 13.0L);
}

// The rows keep their texts as connhistory.dat holds them: in the ANSI code page, cut nowhere.
TEST_F(HistoryModelTest, TextsAreKeptInTheAnsiCodePageAndShownAsUnicode)
{
    THistoryModel history(Captions);
    const QString longName(300, QChar(0x00E9));
    history.Append("08.12.2026 14:03:22", QString::fromUtf8("Café [ISDN] €"), "00:01:00", "9,00");
    history.Append("", longName, "", "");
    history.Append("", QString::fromUtf8("Модем"), "", "");
    EXPECT_EQ(history.AnsiText(0, hcEntry), "Caf\xE9 [ISDN] \x80");
    EXPECT_EQ(history.Text(0, hcEntry), QString::fromUtf8("Café [ISDN] €"));
    EXPECT_EQ(history.data(history.index(0, hcCost)).toString(), "9,00");
    EXPECT_EQ(history.Text(1, hcEntry), longName);
    EXPECT_EQ(history.Text(2, hcEntry), "?????") << "what the file cannot hold is shown as it will be stored";
    history.SetText(0, hcDuration, "00:02:00");
    EXPECT_EQ(history.Text(0, hcStarted), "08.12.2026 14:03:22");
    EXPECT_EQ(history.Text(0, hcEntry), QString::fromUtf8("Café [ISDN] €"));
    EXPECT_EQ(history.Text(0, hcDuration), "00:02:00");
    EXPECT_EQ(history.Text(0, hcCost), "9,00");
}

TEST_F(HistoryModelTest, ASessionsRowIsFoundAfterRowsBeforeItWereDeleted)
{
    THistoryModel history(Captions);
    for (int i = 0; i < 4; ++i)
        history.Append(QString::number(i), "Provider", "", "");
    history.MarkSession(2, 7);
    EXPECT_EQ(history.FindSession(7, 2), 2);
    history.Remove({0, 3});
    EXPECT_EQ(history.FindSession(7, 2), 1);
    EXPECT_EQ(history.Text(1, hcStarted), "2");
    history.Remove({1});
    EXPECT_EQ(history.FindSession(7, 1), -1);
    EXPECT_EQ(history.FindSession(0, 0), -1) << "0 marks no session";
}

} // namespace
