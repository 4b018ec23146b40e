#pragma once

#include "desktop/DesktopApplication.h"
#include "desktop/Seams.h"
#include "desktop/abfComponents.h"
#include "platform/Seams.h"
#include "platform/ShellNotify.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/SeamScope.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A main window with its tray icon set up as the program sets it up: the 16x16 picture,
// MinimizeToTray and MinimizeOnStart, the menu "Show", "-", "Close", and a click that shows the
// application. Shell calls are recorded, menus are recorded instead of run, and the cursor
// stands still.
class TrayIconFixture : public ::testing::Test {
protected:
    struct TPopup {
        QMenu* Menu;
        QPoint Pos;
        HWND Foreground;
        QObject* Component;
    };

    void SetUp() override
    {
        Form = std::make_unique<QWidget>();
        Form->setObjectName("Form1");
        AppWindow = SetApplicationMainForm(Form.get());
        SetApplicationShowMainForm(true);
        const POINT cursor{1204, 12};
        Seams->CursorPos = cursor;
        Desktop->TrayPopupHandler = [this](QMenu* menu, const QPoint& pos) {
            Popups.push_back({menu, pos, GetForegroundWindow(), menu->property("PopupComponent").value<QObject*>()});
        };
        PopupMenu2 = new QMenu(Form.get());
        Show1 = PopupMenu2->addAction("Show");
        PopupMenu2->addSeparator();
        Close1 = PopupMenu2->addAction("Close");
    }

    void TearDown() override
    {
        Form.reset();
        SetApplicationMainForm(nullptr);
        SetApplicationShowMainForm(true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TabfTrayIcon* MakeTray(bool minimizeOnStart = true)
    {
        Tray = new TabfTrayIcon(Form.get());
        Tray->setObjectName("abfTrayIcon1");
        Tray->SetIcon(QIcon(":/icons/zeltix16.png"));
        Tray->SetMinimizeToTray(true);
        Tray->SetMinimizeOnStart(minimizeOnStart);
        Tray->SetPopupMenu(PopupMenu2);
        Tray->OnClick = [this](QObject*) {
            ++Clicks;
            Tray->ShowApplication();
        };
        return Tray;
    }

    // The program's start: the components are made, then told that the layout is complete.
    TabfTrayIcon* Start()
    {
        MakeTray();
        Tray->Loaded();
        ShellNotifyArea().Calls.clear();
        return Tray;
    }

    // Counts every mouse event the icon raises (downs, ups, moves, double clicks) in events.
    void CountMouseEvents(int& events)
    {
        Tray->OnMouseDown = [&events](QObject*, TMouseButton, TShiftState, int, int) { ++events; };
        Tray->OnMouseUp = [&events](QObject*, TMouseButton, TShiftState, int, int) { ++events; };
        Tray->OnMouseMove = [&events](QObject*, TShiftState, int, int) { ++events; };
        Tray->OnDblClick = [&events](QObject*) { ++events; };
    }

    // A mouse message on the icon, as the shell reports it.
    void Mouse(UINT message)
    {
        ShellNotifyArea().SendMouse(Tray->Handle(), static_cast<UINT>(Tray->IconID()), message);
    }
    void Click()
    {
        Mouse(WM_LBUTTONDOWN);
        Mouse(WM_LBUTTONUP);
    }

    static std::vector<DWORD> Messages()
    {
        std::vector<DWORD> messages;
        for (const TShellNotifyCall& call : ShellNotifyArea().Calls)
            messages.push_back(call.Message);
        return messages;
    }

    // Declared first, so everything a test changed is put back after the window has gone.
    TPlatformSeamScope Seams;
    TSeamScope<TDesktopSeams> Desktop{DesktopSeams()};
    TNotificationAreaScope NotificationArea{true};
    std::unique_ptr<QWidget> Form;
    HWND AppWindow = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QAction* Show1 = nullptr;
    QAction* Close1 = nullptr;
    QPointer<TabfTrayIcon> Tray;
    int Clicks = 0;
    std::vector<TPopup> Popups;
};
