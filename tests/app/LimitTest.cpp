#include "tests/app/AppFixture.h"

#include "widgets/RarBar.h"
#include "widgets/SpinEdit.h"

#include <QLabel>
#include <QTreeWidget>

namespace {

class LimitTest : public AppFixture {
protected:
    void AddHistoryRow(const QString& cost)
    {
        Form->History->Append("01.12.2026 10:00:00", "Provider", "00:01:00", cost);
    }

    int LimitMessages() const
    {
        int n = 0;
        for (const TDialogRequest& request : Dialogs)
            n += request.Caption == "Error" ? 1 : 0;
        return n;
    }
};

TEST_F(LimitTest, WithoutALimitTheGaugeStaysEmptyAndNothingIsSaid)
{
    Start();
    AddHistoryRow("123456,00");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(Form->Label6->text(), "Gesamtkosten: 1234,56 Euro (123456 Cent)");
    EXPECT_EQ(Form->RarBar1->Max(), 0);
    EXPECT_EQ(Form->RarBar1->Progress(), 0);
    EXPECT_EQ(LimitMessages(), 0);
    Form->close();
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
}

TEST_F(LimitTest, ReachingTheLimitWarnsOnceAndTheGaugeStaysFull)
{
    Start();
    AddHistoryRow("990,00");
    AddHistoryRow("9,00");
    Form->SpinEdit1->SetText("10");
    EXPECT_EQ(Form->RarBar1->Max(), 1000);
    EXPECT_EQ(Form->Label6->text(), "Gesamtkosten: 9,99 Euro (999 Cent)");
    EXPECT_EQ(Form->RarBar1->Progress(), 999);
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nLimit=1000\r\n") << "written at every change";

    AddHistoryRow("1,00"); // a charged minute lifts the total to the limit
    Form->UpdateCostTotals(false);
    ASSERT_EQ(LimitMessages(), 1);
    EXPECT_EQ(Dialogs.back().Text, "Das Limit von 10 Euro wurde überschritten!");
    EXPECT_EQ(Dialogs.back().Icon, TMessageIcon::miError);
    EXPECT_EQ(Dialogs.back().Buttons, TMessageButtons::mbOk);
    EXPECT_TRUE(Form->LimitWarned);
    AddHistoryRow("500,00");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(Form->RarBar1->Progress(), 1000);
    EXPECT_EQ(LimitMessages(), 1) << "once per run, even after the limit is raised";
    Form->SpinEdit1->SetText("20");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(LimitMessages(), 1);
}

TEST_F(LimitTest, LoweringTheLimitWarnsOnlyAtTheNextTick)
{
    Start();
    AddHistoryRow("1500,00");
    Form->SpinEdit1->SetText("10");
    EXPECT_EQ(LimitMessages(), 0);
    EXPECT_EQ(Form->RarBar1->Progress(), 1000);
    Form->UpdateCostTotals(false);
    EXPECT_EQ(LimitMessages(), 1);
}

TEST_F(LimitTest, SpinEditKeepsTypedTextAndRefusesWhatCannotBeALimit)
{
    Start();
    Form->SpinEdit1->SetText("zehn");
    EXPECT_EQ(Form->SpinEdit1->Text(), "zehn");
    EXPECT_EQ(Form->RarBar1->Max(), 0);

    Form->SpinEdit1->SetText("-5");
    EXPECT_EQ(Form->SpinEdit1->Text(), "0");
    EXPECT_EQ(Form->RarBar1->Max(), 0);

    Form->SpinEdit1->SetText("21474836");
    EXPECT_EQ(Form->RarBar1->Max(), 2147483600);
    Form->SpinEdit1->SetText("21474837");
    EXPECT_EQ(Form->SpinEdit1->Text(), "21474836");
    EXPECT_EQ(Form->RarBar1->Max(), 2147483600);
    Form->SpinEdit1->SetText("99999999999999999999999");
    EXPECT_EQ(Form->SpinEdit1->Text(), "21474836");

    Form->SpinEdit1->SetText("7");
    Form->SpinEdit1->stepBy(1);
    EXPECT_EQ(Form->SpinEdit1->Text(), "8");
    EXPECT_EQ(Form->RarBar1->Max(), 800);
    Form->SpinEdit1->SetText("0");
    Form->SpinEdit1->stepBy(-1);
    EXPECT_EQ(Form->SpinEdit1->Text(), "0") << "stepping below zero is set back to zero";
}

TEST_F(LimitTest, EveryFormOfANumberIsBoundedBeforeItsCentsAreCounted)
{
    const struct {
        const char* Typed;
        const char* Shown;
        int32_t Max;
    } cases[] = {
        {"$147AE15", "21474836", 2147483600},
        {"0x7FFFFFFF", "21474836", 2147483600},
        {"0x7fffffff", "21474836", 2147483600},
        {"$FFFFFFFFFFFFFFFFFFFF", "21474836", 2147483600},
        {"  +21474837", "21474836", 2147483600},
        {"2147483648", "21474836", 2147483600},
        {"$147AE14", "$147AE14", 2147483600},
        {"0x10", "0x10", 1600},
        {" 25", " 25", 2500},
        {"-$10", "0", 0},
        {"-0x7FFFFFFF", "0", 0},
        {"-99999999999999999999", "0", 0},
        {"$", "$", 0},
        {"12 ", "12 ", 0},
    };
    Start();
    for (const auto& c : cases) {
        Form->SpinEdit1->SetText("1");
        Form->SpinEdit1->SetText(c.Typed);
        EXPECT_EQ(Form->SpinEdit1->Text(), c.Shown) << c.Typed;
        EXPECT_EQ(Form->RarBar1->Max(), c.Max) << c.Typed;
        EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nLimit=" + std::to_string(c.Max) + "\r\n") << c.Typed;
    }
    ProgramFolder.Write("settings.ini", "");
    Form->SpinEdit1->SetText("0x147AE15");
    Form->close();
    Form.reset();
    Start();
    EXPECT_EQ(Form->RarBar1->Max(), 2147483600) << "the stored limit survives the next start";
    EXPECT_EQ(Form->SpinEdit1->Text(), "21474836");
    EXPECT_EQ(LimitMessages(), 0);
}

TEST_F(LimitTest, ProgressRoundsHalvesToEvenAndTheTotalShowsItsFraction)
{
    Start();
    Form->SpinEdit1->SetText("100");
    AddHistoryRow("2,5");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(Form->RarBar1->Progress(), 2);
    Form->History->SetText(0, hcCost, "3,5");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(Form->RarBar1->Progress(), 4);
    Form->History->SetText(0, hcCost, "1234,5");
    AddHistoryRow("kaputt");
    Form->UpdateCostTotals(false);
    EXPECT_EQ(Form->Label6->text(), "Gesamtkosten: 12,35 Euro (1234,5 Cent)");
}

TEST_F(LimitTest, StoredLimitsAreShownInWholeEuros)
{
    ProgramFolder.Write("settings.ini", "[Main]\r\nLimit=50\r\n");
    Start();
    EXPECT_EQ(Form->SpinEdit1->Text(), "0");
    EXPECT_EQ(Form->RarBar1->Max(), 50) << "the change handler did not run";
    Form->close();
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nLimit=50\r\nAutoClear=1\r\n");
}

TEST_F(LimitTest, ASessionPricedAtTheStartFillsTheGaugeAndWarnsAtTheSecondMinute)
{
    DialUp.AddEntry("Provider");
    ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=60,00\r\n");
    ProgramFolder.Write("settings.ini", "[Main]\r\nLimit=100\r\n");
    Start();
    EXPECT_EQ(Form->SpinEdit1->Text(), "1");
    TDialOptions options;
    options.ConnectAfterMs = 1000;
    DialUp.Dial("Provider", options);
    Second();
    ASSERT_TRUE(Form->Online);
    Second();
    EXPECT_EQ(Form->RarBar1->Progress(), 60);
    EXPECT_EQ(LimitMessages(), 0);
    RunFor(59000);
    EXPECT_EQ(LimitMessages(), 1);
    EXPECT_EQ(Form->RarBar1->Progress(), 100);
    RunFor(60000);
    EXPECT_EQ(LimitMessages(), 1);
}

TEST_F(LimitTest, TheLimitMessageLeftOpenStopsNeitherTheSessionClockNorTheBlocking)
{
    DialUp.AddEntry("Provider");
    DialUp.AddEntry("Teuer");
    ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=10,00\r\n\r\n[Teuer]\r\nChecked=0\r\n");
    ProgramFolder.Write("settings.ini", "[Main]\r\nLimit=100\r\n");
    Start();
    AddHistoryRow("90,00");
    HRASCONN blocked = 0;
    // The message stays on the screen for 75 s; meanwhile a blocked entry is dialled.
    KeepDialogsOpenFor(75000, [&](const TDialogRequest&) {
        TDialOptions options;
        options.ConnectAfterMs = 3000;
        blocked = DialUp.Dial("Teuer", options);
    });
    TDialOptions options;
    options.ConnectAfterMs = 1000;
    DialUp.Dial("Provider", options);
    Second();
    ASSERT_TRUE(Form->Online);
    Second(); // the first tick reaches the limit

    ASSERT_EQ(LimitMessages(), 1);
    EXPECT_EQ(Dialogs[0].Text, "Das Limit von 1 Euro wurde überschritten!");
    EXPECT_EQ(Form->History->Text(0, hcDuration), "00:01:16") << "the session clock ran while the message was open";
    EXPECT_EQ(Form->History->Text(0, hcCost), "20,00") << "the minute begun meanwhile is charged";
    EXPECT_EQ(DialUp.State(blocked), -1) << "the blocked connection was hung up meanwhile";
    EXPECT_TRUE(Form->Online);
    EXPECT_EQ(Form->RarBar1->Progress(), 100);
}

} // namespace
