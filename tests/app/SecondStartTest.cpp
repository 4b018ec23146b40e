#include "tests/app/AppFixture.h"

#include "app/Program.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A program already runs for the program folder when Zeltix is started again.
class SecondStartTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        SetInstancePatienceForTests(0);
        DialUp.AddEntry("Provider");
        // A start rewrites this limit as 2500 cents: a start that ran would show in the file.
        ProgramFolder.Write("settings.ini", "[Main]\r\nLimit=2550\r\n");
        ProgramFolder.Write("Protokol.txt", "[01.12.2026 10:00:00] Verbindung zu Provider aufgenommen!\r\n");
    }

    void TearDown() override
    {
        // A program that ended before its message loop leaves every later loop told to quit
        // at once; one turn of the application's loop clears that.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        SetInstancePatienceForTests(std::nullopt);
        AppFixture::TearDown();
    }

    static TForm1* RunningForm()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TForm1*>(window))
                return form;
        return nullptr;
    }

    // Lets the event loop run until done, within a bound far above any real hand-over.
    static bool RunUntil(const std::function<bool()>& done)
    {
        QDeadlineTimer bound(10000);
        while (!done() && !bound.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        return done();
    }

    std::string FilesOfTheProgramFolder() const
    {
        std::string files;
        for (const char* name : {"settings.ini", "conns.ini", "connhistory.dat", "Protokol.txt", "error.log"})
            files += std::string(name) + (ProgramFolder.Exists(name) ? "=" + ProgramFolder.Read(name) : "") + "\n";
        return files;
    }
};

TEST_F(SecondStartTest, ASecondStartShowsTheRunningProgramAndEndsWritingNothing)
{
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
        shownAfterwards = RunUntil([form] { return form->isVisible(); });
        form->close();
    });
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_TRUE(hiddenAtFirst);
    EXPECT_EQ(secondExitCode, 0);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(shownAfterwards) << "the running program shows its window";
    EXPECT_TRUE(Dialogs.empty());
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), "[01.12.2026 10:00:00] Verbindung zu Provider aufgenommen!\r\n");
}

TEST_F(SecondStartTest, AStartDuringTheMonthlyQuestionIsAnsweredOnceTheWindowsExist)
{
    Clock.SetLocalTime({2026, 12, 1, 9, 0, 0, 0});
    bool shown = false;
    SetDialogAnswererForTests([&](const TDialogRequest& request) {
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
        return TDialogAnswer{TModalResult::No, {}};
    });
    EXPECT_EQ(ExecuteProgram(), 0);
    EXPECT_EQ(Dialogs.size(), 1u);
    EXPECT_TRUE(shown);
}

TEST_F(SecondStartTest, AFolderHeldByAProgramThatDoesNotAnswerIsRefusedWritingNothing)
{
    // Another user's program holds the lock; its socket is not this user's to reach.
    const int fd = ::open(ProgramFolder.File(TSingleInstance::LockFileName().toStdString()).c_str(),
                          O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::string before = FilesOfTheProgramFolder();

    EXPECT_NE(ExecuteProgram(), 0);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Text, "Zeltix läuft bereits für diesen Programmordner (unter einem anderen Benutzer) "
                               "und kann hier nicht ein zweites Mal gestartet werden.");
    EXPECT_EQ(Dialogs[0].Icon, TMessageIcon::Error);
    EXPECT_EQ(FilesOfTheProgramFolder(), before);
    EXPECT_EQ(RunningForm(), nullptr);
    ::close(fd);
}

} // namespace
