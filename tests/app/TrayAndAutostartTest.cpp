#include "tests/app/AppFixture.h"

#include "desktop/DesktopApplication.h"
#include "desktop/abfComponents.h"
#include "platform/ProgramDir.h"
#include "platform/Windows.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class TrayAndAutostartTest : public AppFixture {
protected:
    int Adds() const
    {
        int n = 0;
        for (const TShellNotifyCall& call : ShellNotifyArea().Calls)
            n += call.Message == NIM_ADD ? 1 : 0;
        return n;
    }

    void ClickIcon()
    {
        const TShellNotifyCall add = ShellNotifyArea().Calls.front();
        ShellNotifyArea().SendMouse(add.Window, add.ID, WM_LBUTTONDOWN);
        ShellNotifyArea().SendMouse(add.Window, add.ID, WM_LBUTTONUP);
        QCoreApplication::sendPostedEvents();
    }

    std::string AutostartFile() const { return ConfigHome.Path() + "/autostart/Zeltix.desktop"; }
};

TEST_F(TrayAndAutostartTest, WithoutANotificationAreaTheWindowShowsUntilOneAppears)
{
    Seams->NotificationArea = false;
    ShellNotifyArea().Reset();
    Start();
    EXPECT_TRUE(ApplicationShowMainForm()) << "the program entry shows the main window";
    Form->show();
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    Form->IndieTrayminimieren1->trigger();
    EXPECT_TRUE(Form->isVisible()) << "minimised, not hidden away";
    EXPECT_TRUE(Form->isMinimized());

    // A panel starts later: the icon arrives and the window is brought back.
    Seams->NotificationArea = true;
    ShellNotifyArea().DesktopChanged();
    RunFor(1000);
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);
    EXPECT_TRUE(Form->abfTrayIcon1->IconShown());
    EXPECT_TRUE(Form->isVisible());
    Form->IndieTrayminimieren1->trigger();
    EXPECT_FALSE(Form->isVisible()) << "now it hides into the tray";
    ClickIcon();
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(TrayAndAutostartTest, TheProgramStartsInTheTrayAndTheIconShowsIt)
{
    Start();
    EXPECT_FALSE(Form->isVisible()) << "no main window at start";
    EXPECT_EQ(Adds(), 1) << "exactly one icon";
    EXPECT_EQ(ShellNotifyArea().Calls.front().Tip, "") << "no tooltip";

    ClickIcon();
    EXPECT_TRUE(Form->isVisible());
    ClickIcon();
    EXPECT_TRUE(Form->isVisible());

    Form->IndieTrayminimieren1->trigger();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Adds(), 1) << "the icon stays";
    Form->Show1->trigger();
    EXPECT_TRUE(Form->isVisible());

    Form->Close1->trigger();
    EXPECT_TRUE(ProgramFolder.Exists("settings.ini")) << "Close ends the program like Beenden";
}

// The statistics, log and about windows belong to the main window: whichever way it leaves the
// screen, the open ones leave with it, and they come back with it, closed ones staying closed.
enum TWayOut { woTrayMenuCommand, woTitleBarMinimise };

class WindowFamilyTest : public TrayAndAutostartTest, public ::testing::WithParamInterface<TWayOut> { };

INSTANTIATE_TEST_SUITE_P(WaysOut, WindowFamilyTest, ::testing::Values(woTrayMenuCommand, woTitleBarMinimise),
    [](const ::testing::TestParamInfo<TWayOut>& info) {
        return std::string(info.param == woTrayMenuCommand ? "InDieTrayMinimieren" : "TitleBarMinimise");
    });

TEST_P(WindowFamilyTest, OpenSecondaryWindowsLeaveAndComeBackWithTheMainWindow)
{
    Start();
    ClickIcon();
    Form->Statistik1->trigger();
    Form->About1->trigger();
    auto shown = [] {
        std::vector<QString> titles;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->isWindow() && widget->windowType() != Qt::Popup)
                titles.push_back(widget->objectName());
        std::sort(titles.begin(), titles.end());
        return titles;
    };
    const std::vector<QString> family = shown();
    ASSERT_EQ(family.size(), 3u) << "the main window, the statistics and the about box";

    if (GetParam() == woTrayMenuCommand) {
        Form->IndieTrayminimieren1->trigger();
    } else {
        Form->showMinimized();
        RunFor(100);
    }
    EXPECT_TRUE(shown().empty()) << "nothing of the program stays on screen";

    ClickIcon();
    EXPECT_EQ(shown(), family);
    EXPECT_FALSE(Form->isMinimized());
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
}

// A question waiting for its answer (the limit message) is not answered by the window leaving
// the screen: it stays open, and its loop goes on until the user answers it.
TEST_F(TrayAndAutostartTest, AnOpenQuestionStaysWhenTheMainWindowGoesToTheTray)
{
    Start();
    ClickIcon();
    ASSERT_TRUE(Form->isVisible());
    QMessageBox question(QMessageBox::Question, QStringLiteral("Zeltix"), QStringLiteral("?"),
        QMessageBox::Yes | QMessageBox::No, Form.get());
    bool openWhileHidden = false;
    QTimer::singleShot(0, Form.get(), [&] {
        Form->IndieTrayminimieren1->trigger();
        openWhileHidden = question.isVisible() && !Form->isVisible();
        question.done(QMessageBox::Yes);
    });
    EXPECT_EQ(question.exec(), QMessageBox::Yes);
    EXPECT_TRUE(openWhileHidden);
}

TEST_F(TrayAndAutostartTest, TheAutostartItemWritesAndRemovesTheEntry)
{
    Start();
    Form->Einstellungen1->aboutToShow();
    EXPECT_FALSE(Form->AutomatischbeimStartvonWindowsausfhren1->isChecked());

    Form->AutomatischbeimStartvonWindowsausfhren1->trigger(); // ticks it
    ASSERT_TRUE(std::filesystem::exists(AutostartFile()));
    std::ifstream file(AutostartFile());
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=" + ExeName().toStdString()), std::string::npos) << text;
    Form->Einstellungen1->aboutToShow();
    EXPECT_TRUE(Form->AutomatischbeimStartvonWindowsausfhren1->isChecked());

    Form->AutomatischbeimStartvonWindowsausfhren1->trigger(); // unticks it
    EXPECT_FALSE(std::filesystem::exists(AutostartFile()));
    Form->Einstellungen1->aboutToShow();
    EXPECT_FALSE(Form->AutomatischbeimStartvonWindowsausfhren1->isChecked());
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
}

TEST_F(TrayAndAutostartTest, AnUnwritableAutostartFolderIsRecordedAndShowsUnticked)
{
    Start();
    Seams->RegistryFoldersReadOnly = true;
    Form->AutomatischbeimStartvonWindowsausfhren1->setChecked(false);
    Form->AutomatischbeimStartvonWindowsausfhren1->trigger();
    EXPECT_EQ(ProgramFolder.Read("error.log"), "Failed to set data for 'Zeltix'\r\n");
    Form->Einstellungen1->aboutToShow();
    EXPECT_FALSE(Form->AutomatischbeimStartvonWindowsausfhren1->isChecked());
}

} // namespace
