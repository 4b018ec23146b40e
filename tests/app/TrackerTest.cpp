#include "tests/app/AppFixture.h"

#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

namespace {

class TrackerTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        DialUp.AddEntry("Provider");
        DialUp.AddEntry("ISDN Provider", "isdn", "AVM ISDN Controller", 64000);
        Start();
    }

    // Dials the entry so that it is connected one second later, and polls until it is.
    HRASCONN ConnectSession(const std::string& entry = "Provider")
    {
        TDialOptions options;
        options.ConnectAfterMs = 1000;
        HRASCONN handle = DialUp.Dial(entry, options);
        Poll();
        return handle;
    }

    // One session tick, s seconds after the session's start.
    void TickAt(int s)
    {
        Clock.SetTick(Form->SessionStartTick + static_cast<DWORD>(s) * 1000u);
        Form->Timer1Timer();
    }

    QString Cell(int row, int column) const
    {
        QTreeWidgetItem* item = Form->ListView1->topLevelItem(row);
        return item ? item->text(column) : QStringLiteral("<no row>");
    }

    void SetTariff(const QString& entry, const QString& tariff)
    {
        Form->FindTariffRow(entry)->setText(1, tariff);
    }
};

TEST_F(TrackerTest, DialingShowsEachStateAndConnectingStartsOneSessionAtTheTop)
{
    TDialOptions options;
    options.ConnectAfterMs = 7000; // one of the seven dialing states per second
    DialUp.Dial("Provider", options);
    QStringList shown;
    for (int i = 0; i < 8; ++i) {
        Form->OnCheckTimerTimer();
        shown << Form->StatusText();
        EXPECT_EQ(Form->ListView1->topLevelItemCount(), i < 7 ? 0 : 1);
        Clock.AdvanceSeconds(1);
    }
    EXPECT_EQ(shown, (QStringList{"Provider: Anschluss wird geöffnet", "Provider: Anschluss ist geöffnet",
                                  "Provider: Verbinde", "Provider: Verbunden", "Provider: Alle verbunden",
                                  "Provider: Starte Identifizierung", "Provider: Identifziert", "Provider: Verbunden"}));
    EXPECT_TRUE(Form->Online);
    EXPECT_EQ(Form->Label1->text(), "Online");
    EXPECT_TRUE(Form->Timer1->isActive());
    EXPECT_EQ(Cell(0, 0), "08.12.2026 14:03:29");
    EXPECT_EQ(Cell(0, 1), "Provider");
    EXPECT_EQ(Cell(0, 2), "00:00:00");
    EXPECT_EQ(Cell(0, 3), "0,00") << "an entry without a stored tariff costs nothing";
    ASSERT_NE(Form->FindTariffRow("provider"), nullptr);
    EXPECT_EQ(Form->FindTariffRow("Provider")->checkState(0), Qt::Checked);

    // Later reports of the same connection change nothing but the status bar.
    Poll();
    Poll();
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(Form->Label1->text(), "Online");
}

TEST_F(TrackerTest, MinutesAreChargedAtEachFullMinuteOfTheSession)
{
    TDialOptions options;
    options.ConnectAfterMs = 2000;
    DialUp.Dial("Provider", options);
    Poll(); // dialing: the entry gets its tariff row
    SetTariff("Provider", "4,50");
    Poll();
    ASSERT_TRUE(Form->Online);
    EXPECT_EQ(Cell(0, 3), "4,50") << "the first minute is charged at the start";
    EXPECT_EQ(Form->SessionCost, 4.5L);

    TickAt(1);
    EXPECT_EQ(Cell(0, 2), "00:00:01");
    TickAt(59);
    EXPECT_EQ(Cell(0, 2), "00:00:59");
    EXPECT_EQ(Cell(0, 3), "4,50");
    TickAt(60);
    EXPECT_EQ(Cell(0, 2), "00:01:00");
    EXPECT_EQ(Cell(0, 3), "9,00");
    SetTariff("Provider", "1,5"); // a changed tariff counts from the next minute
    TickAt(120);
    EXPECT_EQ(Cell(0, 3), "10,50");
    TickAt(179);
    TickAt(181); // the tick at 180 came late: that boundary is not charged
    EXPECT_EQ(Cell(0, 3), "10,50");
    TickAt(240);
    TickAt(240); // two ticks on the same boundary charge it twice
    EXPECT_EQ(Cell(0, 3), "13,50");
    SetTariff("Provider", "teuer");
    TickAt(300);
    EXPECT_EQ(Cell(0, 3), "13,50") << "a tariff that is not a number charges nothing";
    TickAt(3725);
    EXPECT_EQ(Cell(0, 2), "01:02:05");
    TickAt(100 * 3600);
    EXPECT_EQ(Cell(0, 2), "100:00:00");
}

TEST_F(TrackerTest, DisconnectedReportEndsTheSessionAndWhileOfflineDoesNothingElse)
{
    HRASCONN handle = DialUp.Dial("Provider", {0, 8193, 0, 60000});
    Poll();
    EXPECT_EQ(Form->StatusText(), "Provider: Getrennt");
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 0);
    DialUp.HangUp(handle, 0);

    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 60000);
    Poll();
    EXPECT_EQ(Form->StatusText(), "Provider: Getrennt");
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_EQ(Form->Label1->text(), "Offline");
    Poll(); // still listed as disconnected: nothing new
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 1);
}

TEST_F(TrackerTest, OtherConnectionsNeitherStartNorEndTheSession)
{
    HRASCONN session = ConnectSession("Provider");
    HRASCONN other = DialUp.Dial("ISDN Provider", {0, {}, 0, 60000});
    Poll();
    EXPECT_EQ(Form->StatusText(), "ISDN Provider: Verbunden");
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 1);
    DialUp.HangUp(other, 60000);
    Poll();
    EXPECT_EQ(Form->StatusText(), "ISDN Provider: Getrennt");
    EXPECT_TRUE(Form->Online);
    EXPECT_TRUE(Form->Timer1->isActive()) << "the other connection's state does not stop the session clock";
    DialUp.HangUp(session, 60000);
    Poll();
    EXPECT_FALSE(Form->Online);
}

TEST_F(TrackerTest, ASessionWhoseConnectionVanishesEndsOnTheNextPoll)
{
    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 0); // gone at once, never reported disconnected
    Poll();
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_EQ(Form->Label1->text(), "Offline");
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 1);
}

TEST_F(TrackerTest, ADeletedSessionRowIsNeverReplacedByAnotherSessionsRow)
{
    HRASCONN first = ConnectSession();
    DialUp.HangUp(first, 0);
    Poll();
    ConnectSession();
    ASSERT_EQ(Form->ListView1->topLevelItemCount(), 2);
    delete Form->ListView1->takeTopLevelItem(0);
    TickAt(60);
    EXPECT_EQ(Cell(0, 2), "00:00:00") << "the earlier session's row is left alone";
    EXPECT_TRUE(Form->Online);
}

TEST_F(TrackerTest, ElapsedTimeSurvivesTheWrapOfTheTickCounter)
{
    Clock.SetTick(0xFFFFFFFFu - 1500u);
    ConnectSession();
    TickAt(3); // the counter wrapped during these seconds
    EXPECT_EQ(Cell(0, 2), "00:00:03");
    TickAt(61);
    EXPECT_EQ(Cell(0, 2), "00:01:01");
}

TEST_F(TrackerTest, AStrayTickWhileOfflineTouchesNoRow)
{
    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 60000);
    Poll();
    ASSERT_FALSE(Form->Online);
    Form->Timer1->start();
    Clock.AdvanceMinutes(5);
    Form->Timer1Timer();
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_EQ(Cell(0, 2), "00:00:00");
}

TEST_F(TrackerTest, ABlockedEntryIsShownHungUpAndNeverTimed)
{
    Form->hide();
    Poll();
    DialUp.AddEntry("Teuer");
    TDialOptions options;
    options.ConnectAfterMs = 3000;
    HRASCONN handle = DialUp.Dial("Teuer", options);
    Poll(); // an entry new to the program gets a ticked row
    ASSERT_NE(Form->FindTariffRow("Teuer"), nullptr);
    Form->FindTariffRow("Teuer")->setCheckState(0, Qt::Unchecked);

    // While the hang-up waits for the connection to go, time passes and pending work runs.
    const int ticksDuringWait = PollWhileTimePasses();

    EXPECT_GE(ticksDuringWait, 4) << "the hang-up returned before its linger time had passed";
    EXPECT_EQ(DialUp.State(handle), -1) << "the connection is gone when the report is finished";
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Form->StatusText().endsWith(" - Verbindungsversuch zu Teuer abgebrochen!")) << Form->StatusText().toStdString();
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 0);
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->isActive());
}

} // namespace

namespace {

TEST_F(TrackerTest, TheSessionTickShowsTheLinkStatistics)
{
    HRASCONN handle = ConnectSession("ISDN Provider");
    ASSERT_TRUE(Form->Online);
    Clock.AdvanceSeconds(10);
    TickAt(10);
    const TConnectionView view = *DialUp.Service().Find(handle, Clock.EpochMs());
    ASSERT_GT(view.BytesSent, 0u);
    EXPECT_EQ(Form->Label2->text(), QStringLiteral("Gesendete Bytes: %1").arg(view.BytesSent));
    EXPECT_EQ(Form->Label3->text(), QStringLiteral("Empfangene Bytes: %1").arg(view.BytesReceived));
    EXPECT_EQ(Form->Label4->text(), "Connectionspeed: 64000 bps");
}

} // namespace
