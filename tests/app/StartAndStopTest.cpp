#include "tests/app/AppFixture.h"

#include "app/Program.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>

namespace {

// The program entry as a user meets it: a connection already up at start, the monthly question
// left open, a logout while it is open or while a session runs.
class StartAndStopTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        DialUp.AddEntry("Provider");
        ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=2,00\r\n");
    }

    void TearDown() override
    {
        // A program that ended before its message loop leaves every later loop told to quit
        // at once; one turn of the application's loop clears that.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        AppFixture::TearDown();
    }

    void FirstOfTheMonthWithAHistory()
    {
        Clock.SetLocalTime({2026, 12, 1, 9, 0, 0, 0});
        ProgramFolder.Write("settings.ini", "[Main]\r\nAutoClear=1\r\n");
        Start();
        Form->ListView1->addTopLevelItem(
            new QTreeWidgetItem(QStringList{"30.11.2026 10:00:00", "Provider", "00:01:00", "2,00"}));
        Form->close();
        Form.reset();
        Dialogs.clear();
    }

    std::string FilesOfTheProgramFolder() const
    {
        std::string files;
        for (const char* name : {"settings.ini", "conns.ini", "connhistory.dat", "Protokol.txt", "error.log"})
            files += std::string(name) + (ProgramFolder.Exists(name) ? "=" + ProgramFolder.Read(name) : "") + "\n";
        return files;
    }
};

TEST_F(StartAndStopTest, AConnectionUpDuringTheMonthlyQuestionIsTimedOnceTheWindowsExist)
{
    FirstOfTheMonthWithAHistory();
    DialUp.Dial("Provider", {0, {}, 0, 60000});
    int rowsWhileAsked = -1;
    SetDialogAnswererForTests([&](const TDialogRequest& request) {
        Dialogs.push_back(request);
        RunFor(5000); // the user thinks it over
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* starting = qobject_cast<TForm1*>(window))
                rowsWhileAsked = starting->ListView1->topLevelItemCount();
        return TDialogAnswer{TModalResult::No, {}};
    });
    Start();
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Text, "Sollen alle bisherigen Verbindungsaufzeichnungen gelöscht werden?");
    EXPECT_EQ(rowsWhileAsked, 1) << "no session while the question was open";
    EXPECT_EQ(Form->ListView1->topLevelItemCount(), 1);
    EXPECT_TRUE(Form->Form3->Lines().isEmpty());

    Second();
    ASSERT_EQ(Form->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(Form->ListView1->topLevelItem(0)->text(0), "01.12.2026 09:00:06");
    EXPECT_EQ(Form->ListView1->topLevelItem(0)->text(3), "2,00");
    ASSERT_EQ(Form->Form3->Lines().size(), 4);
    EXPECT_EQ(Form->Form3->Lines()[0], "[01.12.2026 09:00:06] Verbindung zu Provider aufgenommen!");
}

TEST_F(StartAndStopTest, ALogoutWhileTheMonthlyQuestionIsOpenEndsTheProgramWritingNothing)
{
    FirstOfTheMonthWithAHistory();
    const std::string before = FilesOfTheProgramFolder();
    SetDialogAnswererForTests([&](const TDialogRequest& request) {
        Dialogs.push_back(request);
        ::raise(SIGTERM);
        RunFor(1000);
        // The question's loop has ended: the box closes as if cancelled.
        return TDialogAnswer{TModalResult::No, {}};
    });
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(FilesOfTheProgramFolder(), before);
}

TEST_F(StartAndStopTest, ALogoutDuringASessionClosesLikeBeenden)
{
    DialUp.Dial("Provider", {0, {}, 0, 60000});
    QTimer::singleShot(0, QCoreApplication::instance(), [this] {
        RunFor(66000);
        ::raise(SIGTERM);
        RunFor(1000);
    });
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
    EXPECT_EQ(ProgramFolder.Read("conns.ini"), "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n");
    const std::string log = ProgramFolder.Read("Protokol.txt");
    EXPECT_EQ(log.rfind("[08.12.2026 14:03:23] Verbindung zu Provider aufgenommen!\r\n", 0), 0u) << log;
    EXPECT_EQ(log.find("getrennt"), std::string::npos) << "closing ends no session";

    // The history holds the session as of its last tick.
    Start();
    ASSERT_EQ(Form->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(Form->ListView1->topLevelItem(0)->text(2), "00:01:05");
    EXPECT_EQ(Form->ListView1->topLevelItem(0)->text(3), "4,00");
}

} // namespace
