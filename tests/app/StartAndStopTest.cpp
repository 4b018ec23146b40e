#include "tests/app/AppFixture.h"

#include "app/Program.h"
#include "platform/ProgramDir.h"
#include "platform/SingleInstance.h"
#include "reports/ProtokollFrm.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
        Form->History->Append("30.11.2026 10:00:00", "Provider", "00:01:00", "2,00");
        Form->close();
        Form.reset();
        Dialogs.clear();
    }

    static TForm1* RunningForm()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TForm1*>(window))
                return form;
        return nullptr;
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
    App->DialogAnswerer = [&](const TDialogRequest& request) {
        Dialogs.push_back(request);
        RunFor(5000); // the user thinks it over
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* starting = qobject_cast<TForm1*>(window))
                rowsWhileAsked = starting->History->Count();
        return TDialogAnswer{TModalResult::mrNo, {}};
    };
    Start();
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Text, "Sollen alle bisherigen Verbindungsaufzeichnungen gelöscht werden?");
    EXPECT_EQ(rowsWhileAsked, 1) << "no session while the question was open";
    EXPECT_EQ(Form->History->Count(), 1);
    EXPECT_EQ(Form->Form3->LineCount(), 0u);

    Second();
    ASSERT_EQ(Form->History->Count(), 2);
    EXPECT_EQ(Form->History->Text(0, hcStarted), "01.12.2026 09:00:06");
    EXPECT_EQ(Form->History->Text(0, hcCost), "2,00");
    ASSERT_EQ(Form->Form3->LineCount(), 4u);
    EXPECT_EQ(Form->Form3->Line(0), "[01.12.2026 09:00:06] Verbindung zu Provider aufgenommen!");
}

TEST_F(StartAndStopTest, ALogoutWhileTheMonthlyQuestionIsOpenEndsTheProgramWritingNothing)
{
    FirstOfTheMonthWithAHistory();
    const std::string before = FilesOfTheProgramFolder();
    App->DialogAnswerer = [&](const TDialogRequest& request) {
        Dialogs.push_back(request);
        ::raise(SIGTERM);
        RunFor(1000);
        // The question's loop has ended: the box closes as if cancelled.
        return TDialogAnswer{TModalResult::mrNo, {}};
    };
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(FilesOfTheProgramFolder(), before);
}

// A desktop logout (SIGTERM), a closed terminal or session (SIGHUP) and Ctrl+C (SIGINT).
class SessionEndSignalTest : public StartAndStopTest, public ::testing::WithParamInterface<int> { };

INSTANTIATE_TEST_SUITE_P(Signals, SessionEndSignalTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
    [](const ::testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

TEST_P(SessionEndSignalTest, DuringASessionClosesLikeBeenden)
{
    DialUp.Dial("Provider", {0, {}, 0, 60000});
    QTimer::singleShot(0, QCoreApplication::instance(), [this] {
        RunFor(66000);
        ::raise(GetParam());
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
    ASSERT_EQ(Form->History->Count(), 1);
    EXPECT_EQ(Form->History->Text(0, hcDuration), "00:01:05");
    EXPECT_EQ(Form->History->Text(0, hcCost), "4,00");
}

TEST_F(StartAndStopTest, ALockFileThatIsAFifoIsSaidAndTheProgramEndsWithoutWaiting)
{
    ASSERT_EQ(::mkfifo(ProgramFolder.File(".zeltix.lock").c_str(), 0644), 0);
    const std::string before = FilesOfTheProgramFolder();
    EXPECT_EQ(ExecuteProgram(), 1);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Text,
        "Zeltix kann in diesem Programmordner nicht starten: .zeltix.lock ist eine benannte Pipe (FIFO) und keine "
        "gewöhnliche Datei. Entfernen Sie es, dann startet Zeltix wieder.");
    EXPECT_EQ(Dialogs[0].Icon, TMessageIcon::miError);
    EXPECT_EQ(FilesOfTheProgramFolder(), before);
}

TEST_F(StartAndStopTest, ASecondStartShowsTheRunningProgramAndEndsWritingNothing)
{
    // A start rewrites this limit as 2500 cents: a second start that ran would show in the file.
    ProgramFolder.Write("settings.ini", "[Main]\r\nLimit=2550\r\n");
    bool hiddenAtFirst = false;
    bool shownAfterwards = false;
    int secondExitCode = -1;
    std::string before, after;
    QTimer::singleShot(0, QCoreApplication::instance(), [&] {
        TForm1* form = RunningForm();
        if (!form) {
            QCoreApplication::exit(1);
            return;
        }
        hiddenAtFirst = !form->isVisible(); // in the notification area
        before = FilesOfTheProgramFolder();
        secondExitCode = ExecuteProgram();
        after = FilesOfTheProgramFolder();
        RunFor(1000);
        shownAfterwards = form->isVisible();
        form->close();
    });
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_TRUE(hiddenAtFirst);
    EXPECT_EQ(secondExitCode, 0);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(shownAfterwards) << "the running program shows its window";
    EXPECT_TRUE(Dialogs.empty());
}

TEST_F(StartAndStopTest, AStartDuringTheMonthlyQuestionIsAnsweredOnceTheWindowsExist)
{
    FirstOfTheMonthWithAHistory();
    bool shown = false;
    App->DialogAnswerer = [&](const TDialogRequest& request) {
        Dialogs.push_back(request);
        TSingleInstance second(ProgramDir());
        EXPECT_EQ(second.Claim(), TInstanceClaim::icHandedOver);
        RunFor(1000); // the request arrives while the question is open
        QTimer::singleShot(0, QCoreApplication::instance(), [&shown] {
            TForm1* form = RunningForm();
            shown = form && form->isVisible();
            if (form)
                form->close();
        });
        return TDialogAnswer{TModalResult::mrNo, {}};
    };
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_EQ(Dialogs.size(), 1u);
    EXPECT_TRUE(shown);
}

TEST_F(StartAndStopTest, AFolderHeldByAProgramThatDoesNotAnswerIsRefusedWritingNothing)
{
    // Another user's program holds the lock; its socket is not this user's to reach.
    const int fd = ::open(ProgramFolder.File(TSingleInstance::LockFileName().toStdString()).c_str(),
        O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::string before = FilesOfTheProgramFolder();

    Seams->InstancePatienceMs = 0;
    EXPECT_EQ(ExecuteProgram(), 1);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Text,
        "Zeltix läuft bereits für diesen Programmordner (unter einem anderen Benutzer) "
        "und kann hier nicht ein zweites Mal gestartet werden.");
    EXPECT_EQ(Dialogs[0].Icon, TMessageIcon::miError);
    EXPECT_EQ(FilesOfTheProgramFolder(), before);
    EXPECT_EQ(RunningForm(), nullptr);
    ::close(fd);
}

} // namespace
