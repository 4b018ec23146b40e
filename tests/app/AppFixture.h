#pragma once

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/ZeltixFrm.h"
#include "base/FormatSettings.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/ShellNotify.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A main window in a program folder of its own, with German formats, the fake clock and a
// dial-up service of the test's own. Dialogs are recorded and answered with OK / No.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UseLocaleForFormats("de_DE.UTF-8")) << "the test command generates de_DE.UTF-8";
        SetProgramDirForTests(QString::fromStdString(ProgramFolder.Path()));
        SetRegistryConfigHomeForTests(ConfigHome.Path());
        ClearShellNotifyCallsForTests();
        SetDialogAnswererForTests([this](const TDialogRequest& request) {
            Dialogs.push_back(request);
            return TDialogAnswer{request.Buttons == TMessageButtons::YesNo ? TModalResult::No : TModalResult::Ok, {}};
        });
    }

    void TearDown() override
    {
        Form.reset();
        Application()->OnException = nullptr;
        SetDialogAnswererForTests(nullptr);
        SetProgramDirForTests({});
        SetRegistryConfigHomeForTests({});
        SetRegistryFoldersReadOnlyForTests(false);
        ResetNotifyIconsForTests();
        UseLocaleForFormats({});
    }

    TForm1& Start()
    {
        Form = std::make_unique<TForm1>();
        return *Form;
    }

    // One poll of the connection watcher, one second after the previous one.
    void Poll()
    {
        Clock.AdvanceSeconds(1);
        Form->OnCheckTimerTimer();
    }

    // A poll during which time goes on: a hang-up inside it waits while pending work runs,
    // and every round of that work moves the clock on by half a second. Returns the rounds.
    int PollWhileTimePasses()
    {
        int rounds = 0;
        QTimer clockwork;
        QObject::connect(&clockwork, &QTimer::timeout, [this, &rounds] {
            Clock.AdvanceMilliseconds(500);
            ++rounds;
        });
        clockwork.start(0);
        Poll();
        return rounds;
    }

    TFakeClock Clock;
    TTempDir ProgramFolder;
    TTempDir ConfigHome; // the desktop's configuration folder: autostart entries
    TFakeDialUpService DialUp{Clock};
    std::unique_ptr<TForm1> Form;
    std::vector<TDialogRequest> Dialogs;
};
