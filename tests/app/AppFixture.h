#pragma once

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/Seams.h"
#include "app/TariffModel.h"
#include "app/ZeltixFrm.h"
#include "base/FormatSettings.h"
#include "dialup/Seams.h"
#include "platform/Seams.h"
#include "platform/ShellNotify.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "tests/app/ApplicationScope.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

// A main window in a program folder of its own, with German formats, the fake clock and a
// dial-up service of the test's own. Dialogs are recorded and answered with OK / No.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GermanFormats.Ok());
        Seams->ProgramDir = QString::fromStdString(ProgramFolder.Path());
        Seams->RegistryConfigHome = ConfigHome.Path();
        App->DialogAnswerer = [this](const TDialogRequest& request) {
            Dialogs.push_back(request);
            return TDialogAnswer{
                request.Buttons == TMessageButtons::mbYesNo ? TModalResult::mrNo : TModalResult::mrOk, {}};
        };
    }

    void TearDown() override { Form.reset(); }

    TForm1& Start()
    {
        Form = std::make_unique<TForm1>();
        return *Form;
    }

    // One second of the running program: the poll ticks once, and so does the session clock
    // while a session runs.
    void Second() { RunEventLoopFor(Clock, 1000); }
    void RunFor(int64_t ms) { RunEventLoopFor(Clock, ms); }

    // From now on every dialog stays open for ms of the program's time, its timers running,
    // before it is answered with OK / No; whileOpen runs first, as the user or the world
    // would act while the dialog is on the screen.
    void KeepDialogsOpenFor(int64_t ms, std::function<void(const TDialogRequest&)> whileOpen = nullptr)
    {
        App->DialogAnswerer = [this, ms, whileOpen](const TDialogRequest& request) {
            Dialogs.push_back(request);
            if (whileOpen)
                whileOpen(request);
            RunFor(ms);
            return TDialogAnswer{
                request.Buttons == TMessageButtons::mbYesNo ? TModalResult::mrNo : TModalResult::mrOk, {}};
        };
    }

    // Declared first, so everything a test changed is put back after the window has gone.
    TPlatformSeamScope Seams;
    TFormatLocaleScope GermanFormats{"de_DE.UTF-8"};
    TApplicationEventScope ApplicationEvents;
    TSeamScope<TAppSeams> App{AppSeams()};
    TSeamScope<TDialUpSeams> DialUpShared{DialUpSeams()};
    TSeamScope<Winsock::TWinsockState> Sockets{Winsock::WinsockState()};
    TNotificationAreaScope NotificationArea{true};
    TFakeClock Clock;
    TTempDir ProgramFolder;
    TTempDir ConfigHome; // the desktop's configuration folder: autostart entries
    TFakeDialUpService DialUp{Clock};
    std::unique_ptr<TForm1> Form;
    std::vector<TDialogRequest> Dialogs;
};
