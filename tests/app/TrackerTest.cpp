#include "tests/app/AppFixture.h"

#include "platform/RasApi.h"
#include "reports/ProtokollFrm.h"
#include "tests/support/PppTree.h"

#include <QLabel>
#include <QTreeWidget>

namespace {

// The session tracker in the running program: its two timers tick through the event loop on
// the fake clock, and a hang-up's wait or an open dialog lets them tick inside it.
class TrackerTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        DialUp.AddEntry("Provider");
        DialUp.AddEntry("ISDN Provider", "isdn", "AVM ISDN Controller", 64000);
        DialUp.AddEntry("Teuer");
        ProgramFolder.Write("conns.ini", "[Teuer]\r\nChecked=0\r\n");
        Start();
    }

    // Dials the entry so that it is connected one second later, when the next poll sees it.
    HRASCONN ConnectSession(const std::string& entry = "Provider", int64_t lingerMs = 60000)
    {
        TDialOptions options;
        options.ConnectAfterMs = 1000;
        options.LingerMs = lingerMs;
        HRASCONN handle = DialUp.Dial(entry, options);
        Second();
        return handle;
    }

    // Runs the program until the session is s seconds old.
    void RunToSessionSecond(int s)
    {
        const DWORD target = Form->SessionStartTick + static_cast<DWORD>(s) * 1000u;
        RunFor(static_cast<int32_t>(target - Clock.TickCount()));
    }

    QString Cell(int row, int column) const
    {
        return row < Form->History->Count() ? Form->History->Text(row, static_cast<THistoryCell>(column))
                                            : QStringLiteral("<no row>");
    }

    void SetTariff(const QString& entry, const QString& tariff)
    {
        Form->Tariffs->SetTariffText(Form->FindTariffRow(entry), tariff);
    }

    // Runs action once, when the program's clock has moved on by ms; also inside any wait.
    void At(int64_t ms, std::function<void()> action)
    {
        auto timer = std::make_unique<TTimer>(nullptr);
        TTimer* raw = timer.get();
        raw->SetInterval(static_cast<UINT>(ms));
        raw->SetOnTimer([raw, action](QObject*) {
            raw->SetEnabled(false);
            action();
        });
        Actions.push_back(std::move(timer));
    }

    std::vector<std::unique_ptr<TTimer>> Actions;
};

TEST_F(TrackerTest, DialingShowsEachStateAndConnectingStartsOneSessionAtTheTop)
{
    RunFor(500);
    TDialOptions options;
    options.ConnectAfterMs = 7000; // one of the seven dialing states per second
    DialUp.Dial("Provider", options);
    QStringList shown;
    for (int i = 0; i < 8; ++i) {
        Second();
        shown << Form->StatusText();
        EXPECT_EQ(Form->History->Count(), i < 7 ? 0 : 1);
    }
    EXPECT_EQ(shown,
        (QStringList{"Provider: Anschluss wird geöffnet", "Provider: Anschluss ist geöffnet", "Provider: Verbinde",
            "Provider: Verbunden", "Provider: Alle verbunden", "Provider: Starte Identifizierung",
            "Provider: Identifziert", "Provider: Verbunden"}));
    EXPECT_TRUE(Form->Online);
    EXPECT_EQ(Form->Label1->text(), "Online");
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_EQ(Cell(0, 0), "08.12.2026 14:03:30");
    EXPECT_EQ(Cell(0, 1), "Provider");
    EXPECT_EQ(Cell(0, 2), "00:00:00");
    EXPECT_EQ(Cell(0, 3), "0,00") << "an entry without a stored tariff costs nothing";
    ASSERT_GE(Form->FindTariffRow("provider"), 0);
    EXPECT_TRUE(Form->Tariffs->Ticked(Form->FindTariffRow("Provider")));

    // Later reports of the same connection change nothing but the status bar.
    Second();
    Second();
    EXPECT_EQ(Form->History->Count(), 1);
    EXPECT_EQ(Cell(0, 2), "00:00:02");
    EXPECT_EQ(Form->Label1->text(), "Online");
}

// The seconds at which the session's ticks see the session, and what its row shows after them,
// at a tariff of 1 cent per minute.
struct TChargeCase {
    std::vector<int32_t> Ticks;
    QString Duration;
    QString Cost;
};

TEST_F(TrackerTest, EveryMinuteBegunIsChargedOnceWhenTicksComeLateOrTwice)
{
    const std::vector<TChargeCase> cases = {
        {{1, 59}, "00:00:59", "1,00"},
        {{59, 60}, "00:01:00", "2,00"},
        {{59, 61}, "00:01:01", "2,00"},
        {{59, 125}, "00:02:05", "3,00"},
        {{60, 60}, "00:01:00", "2,00"},
        {{119, 120, 120, 121}, "00:02:01", "3,00"},
        {{3725}, "01:02:05", "63,00"},
        {{100 * 3600}, "100:00:00", "6001,00"},
    };
    for (const TChargeCase& test : cases) {
        Form.reset();
        Start();
        SetTariff("Provider", "1,00");
        HRASCONN handle = ConnectSession();
        ASSERT_TRUE(Form->Online);
        // Straight to the session tick's handler: the clock stands at each second in turn.
        for (int32_t s : test.Ticks) {
            Clock.SetTick(Form->SessionStartTick + static_cast<DWORD>(s) * 1000u);
            Form->Timer1Timer();
        }
        EXPECT_EQ(Cell(0, 2), test.Duration) << test.Ticks.back();
        EXPECT_EQ(Cell(0, 3), test.Cost) << test.Ticks.back();
        DialUp.HangUp(handle, 0);
    }
}

TEST_F(TrackerTest, TheRunningProgramChargesEachMinuteAtTheTariffInForceAlsoAfterAStall)
{
    TDialOptions options;
    options.ConnectAfterMs = 2000;
    DialUp.Dial("Provider", options);
    Second(); // dialing: the entry gets its tariff row
    SetTariff("Provider", "4,50");
    Second();
    ASSERT_TRUE(Form->Online);
    EXPECT_EQ(Cell(0, 3), "4,50") << "the first minute is charged at the start";
    EXPECT_EQ(Form->SessionCost, 4.5L);

    RunToSessionSecond(59);
    EXPECT_EQ(Cell(0, 2), "00:00:59");
    EXPECT_EQ(Cell(0, 3), "4,50");
    RunToSessionSecond(60);
    EXPECT_EQ(Cell(0, 2), "00:01:00");
    EXPECT_EQ(Cell(0, 3), "9,00");
    SetTariff("Provider", "1,5"); // a changed tariff counts from the next minute
    RunToSessionSecond(120);
    EXPECT_EQ(Cell(0, 3), "10,50");
    RunToSessionSecond(179);
    StallThenRunEventLoop(Clock, 8000); // the machine stood still over the next minute
    EXPECT_EQ(Cell(0, 2), "00:03:07") << "the duration is the real time";
    EXPECT_EQ(Cell(0, 3), "12,00") << "the skipped minute is charged";
    RunToSessionSecond(190);
    EXPECT_EQ(Cell(0, 2), "00:03:10");
    SetTariff("Provider", "teuer");
    RunToSessionSecond(240);
    EXPECT_EQ(Cell(0, 3), "12,00") << "a tariff that is not a number charges nothing";
}

TEST_F(TrackerTest, DisconnectedReportEndsTheSessionAndWhileOfflineDoesNothingElse)
{
    HRASCONN handle = DialUp.Dial("Provider", {0, 8193, 0, 60000});
    Second();
    EXPECT_EQ(Form->StatusText(), "Provider: Getrennt");
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->History->Count(), 0);
    DialUp.HangUp(handle, 0);

    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 60000);
    Second();
    EXPECT_EQ(Form->StatusText(), "Provider: Getrennt");
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->Label1->text(), "Offline");
    Second(); // still listed as disconnected: nothing new
    EXPECT_EQ(Form->History->Count(), 1);
}

TEST_F(TrackerTest, OtherConnectionsNeitherStartNorEndTheSession)
{
    HRASCONN session = ConnectSession("Provider");
    HRASCONN other = DialUp.Dial("ISDN Provider", {0, {}, 0, 60000});
    Second();
    EXPECT_EQ(Form->StatusText(), "ISDN Provider: Verbunden");
    EXPECT_EQ(Form->History->Count(), 1);
    DialUp.HangUp(other, 60000);
    Second();
    EXPECT_EQ(Form->StatusText(), "ISDN Provider: Getrennt");
    EXPECT_TRUE(Form->Online);
    EXPECT_TRUE(Form->Timer1->Enabled()) << "the other connection's state does not stop the session clock";
    DialUp.HangUp(session, 60000);
    Second();
    EXPECT_FALSE(Form->Online);
}

TEST_F(TrackerTest, ASessionWhoseConnectionVanishesEndsOnTheNextPoll)
{
    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 0); // gone at once, never reported disconnected
    Second();
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->Label1->text(), "Offline");
    EXPECT_EQ(Form->History->Count(), 1);
}

TEST_F(TrackerTest, ADeletedSessionRowIsNeverReplacedByAnotherSessionsRow)
{
    HRASCONN first = ConnectSession();
    DialUp.HangUp(first, 0);
    Second();
    ConnectSession();
    ASSERT_EQ(Form->History->Count(), 2);
    Form->History->Remove({0});
    RunToSessionSecond(60);
    EXPECT_EQ(Cell(0, 2), "00:00:00") << "the earlier session's row is left alone";
    EXPECT_TRUE(Form->Online);
}

TEST_F(TrackerTest, ElapsedTimeSurvivesTheWrapOfTheTickCounter)
{
    Clock.SetTick(0xFFFFFFFFu - 1500u);
    ConnectSession();
    RunToSessionSecond(3); // the counter wrapped during these seconds
    EXPECT_EQ(Cell(0, 2), "00:00:03");
    RunToSessionSecond(61);
    EXPECT_EQ(Cell(0, 2), "00:01:01");
}

TEST_F(TrackerTest, AStrayTickWhileOfflineTouchesNoRow)
{
    HRASCONN session = ConnectSession();
    DialUp.HangUp(session, 60000);
    Second();
    ASSERT_FALSE(Form->Online);
    Form->Timer1->SetEnabled(true);
    RunFor(5000);
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Cell(0, 2), "00:00:00");
}

TEST_F(TrackerTest, ABlockedEntryIsShownHungUpAndNeverTimed)
{
    Form->hide();
    TDialOptions options;
    options.ConnectAfterMs = 3000;
    options.LingerMs = 2500;
    HRASCONN handle = DialUp.Dial("Teuer", options);
    const int64_t before = Clock.EpochMs();
    Second();

    EXPECT_GE(Clock.EpochMs() - before, 1000 + 2500) << "the hang-up returned before its linger time had passed";
    EXPECT_EQ(DialUp.State(handle), -1) << "the connection is gone when the report is finished";
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Form->StatusText().endsWith(" - Verbindungsversuch zu Teuer abgebrochen!"))
        << Form->StatusText().toStdString();
    EXPECT_EQ(Form->History->Count(), 0);
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->Enabled());
}

TEST_F(TrackerTest, ASessionEndsOnTimeWhileABlockedConnectionsHangUpWaits)
{
    // A session runs; a blocked entry is dialled whose connection takes 30 s to go away; the
    // session's connection ends 10 s into that wait, and a new one comes up 5 s later.
    SetTariff("Provider", "1,00");
    HRASCONN session = ConnectSession("Provider", 0);
    RunToSessionSecond(3);
    TDialOptions blocked;
    blocked.ConnectAfterMs = 5000;
    blocked.LingerMs = 30000;
    HRASCONN refused = DialUp.Dial("Teuer", blocked);
    At(10000, [&] { DialUp.HangUp(session, 0); });
    At(15000, [&] { DialUp.Dial("ISDN Provider", {0, {}, 0, 60000}); });
    Second(); // the poll that hangs the blocked connection up, and everything inside its wait

    EXPECT_EQ(DialUp.State(refused), -1);
    ASSERT_EQ(Form->History->Count(), 2) << "the new session was seen during the wait";
    EXPECT_EQ(Cell(1, 1), "Provider");
    EXPECT_EQ(Cell(1, 2), "00:00:13") << "the first session ended when its connection did";
    EXPECT_EQ(Cell(0, 1), "ISDN Provider");
    EXPECT_EQ(Cell(0, 0), "08.12.2026 14:03:42");
    EXPECT_TRUE(Form->Online);
    const TForm3& log = *Form->Form3;
    ASSERT_EQ(log.LineCount(), 10u);
    EXPECT_EQ(log.Line(4), "[08.12.2026 14:03:37] Verbindung zu Provider getrennt!");
    EXPECT_EQ(log.Line(6), "[08.12.2026 14:03:42] Verbindung zu ISDN Provider aufgenommen!");
    EXPECT_TRUE(Form->StatusText().endsWith(" - Verbindungsversuch zu Teuer abgebrochen!"))
        << Form->StatusText().toStdString();
    RunFor(2000);
    EXPECT_EQ(Form->History->Count(), 2) << "nothing is counted twice afterwards";
    EXPECT_EQ(Cell(1, 2), "00:00:13");
    EXPECT_EQ(Cell(0, 3), "0,00");
}

TEST_F(TrackerTest, ConnectionsListedBeforeAHangUpWaitAreNotActedOnAfterIt)
{
    // The blocked connection is listed first and already connected; the session's connection,
    // listed after it, comes and goes while the hang-up waits. Once the wait is over, the poll
    // that began it must not report the gone connection with the blocked one's state.
    TDialOptions blocked;
    blocked.ConnectAfterMs = 0;
    blocked.LingerMs = 30000;
    DialUp.Dial("Teuer", blocked);
    HRASCONN session = DialUp.Dial("Provider", {0, {}, 0, 0});
    At(10000, [&] { DialUp.HangUp(session, 0); });
    Second();

    ASSERT_EQ(Form->History->Count(), 1);
    EXPECT_EQ(Cell(0, 2), "00:00:08");
    EXPECT_FALSE(Form->Online);
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->Form3->LineCount(), 6u);
}

TEST_F(TrackerTest, AHangUpThatIsRefusedIsShownAsSuchAndRecordedOncePerConnection)
{
    // A blocked pppd link whose process the program may not signal: the process in the fake
    // tree is not a real pppd, so the hang-up is refused.
    TPppTree tree;
    tree.Peer("isp", "/dev/ttyUSB0\n");
    ProgramFolder.Write("conns.ini", "[isp]\r\nChecked=0\r\n");
    Form.reset();
    Start();
    tree.Process(4242, "pppd", 1000, "pppd call isp");
    tree.PidFile("isp", 4242);
    RunFor(3000);

    EXPECT_TRUE(Form->StatusText().endsWith(" - Verbindung zu isp konnte nicht getrennt werden!"))
        << Form->StatusText().toStdString();
    EXPECT_EQ(ProgramFolder.Read("error.log"),
        "The connection to isp could not be hung up: The connection could not be disconnected. Process 4242 of the "
        "connection 0x00800001 is not its pppd (error 753)\r\n")
        << "the code's text with the service's own reason";

    // A new pppd of the same peer is another connection.
    tree.RemoveProcess(4242);
    RunFor(3000);
    tree.Process(4343, "pppd", 2000, "pppd call isp");
    tree.PidFile("isp", 4343);
    RunFor(2000);
    const std::string log = ProgramFolder.Read("error.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST_F(TrackerTest, TheSessionTickShowsTheLinkStatistics)
{
    HRASCONN handle = ConnectSession("ISDN Provider");
    ASSERT_TRUE(Form->Online);
    RunToSessionSecond(10);
    const TConnectionView view = *DialUp.Service().Find(handle, Clock.EpochMs());
    ASSERT_GT(view.BytesSent, 0u);
    EXPECT_EQ(Form->Label2->text(), QStringLiteral("Gesendete Bytes: %1").arg(view.BytesSent));
    EXPECT_EQ(Form->Label3->text(), QStringLiteral("Empfangene Bytes: %1").arg(view.BytesReceived));
    EXPECT_EQ(Form->Label4->text(), "Connectionspeed: 64000 bps");
}

// The dial-up library's status read for the connections the test names fails, leaving in the
// record what a platform may leave there: a connected state that is not the connection's own.
std::vector<HRASCONN> UnreadableStatus;
TRasGetConnectStatusA RealGetConnectStatus = nullptr;
DWORD FailingGetConnectStatus(HRASCONN handle, LPRASCONNSTATUSA status)
{
    if (std::find(UnreadableStatus.begin(), UnreadableStatus.end(), handle) == UnreadableStatus.end())
        return RealGetConnectStatus(handle, status);
    status->rasconnstate = static_cast<RASCONNSTATE>(RASCS_Connected);
    return 31; // ERROR_GEN_FAILURE
}

TEST_F(TrackerTest, AConnectionWhoseStatusCannotBeReadIsNeitherStartedNorEnded)
{
    TDialOptions options;
    options.ConnectAfterMs = 30000;
    const HRASCONN dialing = DialUp.Dial("Provider", options);
    Second();
    EXPECT_EQ(Form->StatusText(), "Provider: Anschluss wird geöffnet");
    // The binding has found the status read: the test's own takes its place. Its slot is the
    // third of the five functions.
    auto& bound = DialUpShared->RasBinding.Procs[2];
    ASSERT_NE(bound, nullptr);
    RealGetConnectStatus = reinterpret_cast<TRasGetConnectStatusA>(bound);
    bound = reinterpret_cast<FARPROC>(&FailingGetConnectStatus);
    UnreadableStatus = {dialing};

    RunFor(5000);
    EXPECT_FALSE(Form->Online) << "a connection still dialling never passes for connected";
    EXPECT_EQ(Form->History->Count(), 0);
    EXPECT_EQ(Form->StatusText(), "Provider: Anschluss wird geöffnet");
    DialUp.HangUp(dialing, 0);

    // A session whose connection is listed but cannot be read goes on, and ends when it is gone.
    UnreadableStatus.clear();
    const HRASCONN session = ConnectSession();
    ASSERT_TRUE(Form->Online);
    UnreadableStatus = {session};
    RunFor(5000);
    EXPECT_TRUE(Form->Online);
    EXPECT_EQ(Cell(0, 2), "00:00:05");
    UnreadableStatus.clear();
    Second();
    EXPECT_EQ(Cell(0, 2), "00:00:06");
    UnreadableStatus = {session};
    DialUp.HangUp(session, 0);
    Second();
    EXPECT_FALSE(Form->Online) << "gone from the list: the session ends";
    EXPECT_EQ(Form->History->Count(), 1);
    bound = reinterpret_cast<FARPROC>(RealGetConnectStatus);
    UnreadableStatus.clear();
}

} // namespace
