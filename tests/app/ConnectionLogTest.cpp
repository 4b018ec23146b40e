#include "tests/app/AppFixture.h"

#include "platform/Winsock.h"
#include "reports/AboutFrm.h"
#include "reports/ProtokollFrm.h"
#include "reports/StatFrm.h"

#include <QListView>
#include <QTreeWidget>

namespace {

QStringList LogLines(const TForm3& log)
{
    QStringList lines;
    for (std::size_t i = 0; i < log.LineCount(); ++i)
        lines << log.Line(i);
    return lines;
}

// The rows the viewer's list shows, one line each.
QString ShownText(const QListView* view)
{
    QStringList rows;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        rows << view->model()->index(row, 0).data().toString();
    return rows.join(QLatin1Char('\n'));
}

class ConnectionLogTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Seams->Sockets.LocalAddresses = {{10, 0, 0, 7}, {127, 0, 0, 1}};
        DialUp.AddEntry("Provider", "modem", "Standard 56000 bps Modem");
    }

    HRASCONN Connect()
    {
        TDialOptions options;
        options.ConnectAfterMs = 1000;
        HRASCONN handle = DialUp.Dial("Provider", options);
        Second();
        return handle;
    }
};

TEST_F(ConnectionLogTest, ASessionWritesFourLinesAtTheStartAndTwoAtTheEnd)
{
    Start();
    HRASCONN handle = Connect();
    EXPECT_EQ(LogLines(*Form->Form3),
        (QStringList{"[08.12.2026 14:03:23] Verbindung zu Provider aufgenommen!",
            "  DeviceName: Standard 56000 bps Modem", "  DeviceType: modem", "  IP Address: 10.0.0.7"}));
    const std::string startBlock = "[08.12.2026 14:03:23] Verbindung zu Provider aufgenommen!\r\n"
                                   "  DeviceName: Standard 56000 bps Modem\r\n"
                                   "  DeviceType: modem\r\n"
                                   "  IP Address: 10.0.0.7\r\n";
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), startBlock) << "on disk as soon as the session starts";
    RunEventLoopFor(Clock, 31 * 60000, 1000);
    DialUp.HangUp(handle, 60000);
    Second();
    Second(); // still listed as disconnected: nothing more
    ASSERT_EQ(Form->Form3->LineCount(), 6u);
    EXPECT_EQ(Form->Form3->Line(4), "[08.12.2026 14:34:24] Verbindung zu Provider getrennt!");
    EXPECT_EQ(Form->Form3->Line(5), "");
    const std::string whole = startBlock + "[08.12.2026 14:34:24] Verbindung zu Provider getrennt!\r\n\r\n";
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), whole) << "and its end as soon as it ends";

    Form->close();
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), whole);
}

TEST_F(ConnectionLogTest, AnExistingLogKeepsItsTextFirst)
{
    ProgramFolder.Write("Protokol.txt", "[01.12.2026 10:00:00] Verbindung zu Alt \xE4 aufgenommen!\r\n");
    Start();
    Connect();
    Form->close();
    const std::string log = ProgramFolder.Read("Protokol.txt");
    EXPECT_EQ(log.rfind("[01.12.2026 10:00:00] Verbindung zu Alt \xE4 aufgenommen!\r\n[08.12.2026 14:03:23]", 0), 0u);
    EXPECT_EQ(log.substr(log.size() - 24), "  IP Address: 10.0.0.7\r\n") << "a running session has no end line";
}

TEST_F(ConnectionLogTest, RefusedConnectionsAndDisconnectsWhileOfflineAddNothing)
{
    DialUp.AddEntry("Teuer");
    ProgramFolder.Write("conns.ini", "[Teuer]\r\nChecked=0\r\n");
    Start();
    HRASCONN offline = DialUp.Dial("Provider", {0, 8193, 0, 60000});
    Second();
    DialUp.HangUp(offline, 0);
    Second();

    TDialOptions options;
    options.ConnectAfterMs = 3000;
    HRASCONN blocked = DialUp.Dial("Teuer", options);
    Second();
    EXPECT_EQ(DialUp.State(blocked), -1);
    EXPECT_EQ(Form->Form3->LineCount(), 0u);
    Form->close();
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), "");
}

TEST_F(ConnectionLogTest, TheViewerShowsTheLinesOfTheRunAndTheMenuOpensTheWindows)
{
    Start();
    Connect();
    Form->Verbindungsprotokoll1->trigger();
    EXPECT_TRUE(Form->Form3->isVisible());
    EXPECT_TRUE(ShownText(Form->Form3->ProtMem).contains("Verbindung zu Provider aufgenommen!"));
    Form->Form3->close();
    EXPECT_FALSE(Form->Form3->isVisible());
    Form->Verbindungsprotokoll1->trigger();
    EXPECT_TRUE(ShownText(Form->Form3->ProtMem).contains("IP Address: 10.0.0.7"));

    Form->Statistik1->trigger();
    EXPECT_TRUE(Form->Form2->isVisible());
    ASSERT_NE(Form->Form2->Series(), nullptr);
    EXPECT_EQ(Form->Form2->Values(), (QList<qreal>{0}));
    Form->About1->trigger();
    EXPECT_TRUE(Form->AboutBox->isVisible());
}

} // namespace
