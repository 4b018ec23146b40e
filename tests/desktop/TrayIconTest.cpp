#include "tests/desktop/TrayIconFixture.h"
#include "tests/support/Raised.h"

#include <QString>

#include <cstring>

namespace {

using TrayIconTest = TrayIconFixture;

TEST_F(TrayIconTest, ConstructionLeavesTheDefaultsAndNoIcon)
{
    MakeTray(false);
    EXPECT_TRUE(Tray->MouseEnabled());
    EXPECT_TRUE(Tray->ShowHint());
    EXPECT_FALSE(Tray->Visible());
    EXPECT_FALSE(Tray->PopupByLeft());
    EXPECT_EQ(Tray->IconID(), 0);
    EXPECT_EQ(Tray->ImageIndex(), 0);
    EXPECT_EQ(Tray->ImageList(), nullptr);
    EXPECT_FALSE(Tray->CycleIcons());
    EXPECT_EQ(Tray->CycleInterval(), 200u);
    EXPECT_TRUE(Tray->IsIconStored());
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    // Setting the picture while the icon is absent asks the shell to modify it, which it refuses.
    ASSERT_EQ(Messages(), (std::vector<DWORD>{NIM_MODIFY}));
    EXPECT_FALSE(ShellNotifyArea().Calls[0].Result);
    EXPECT_EQ(TabfTrayIcon::TaskbarCreatedMessage(), RegisterWindowMessageA("TaskbarCreated"));
}

TEST_F(TrayIconTest, StartingMinimisedAddsExactlyOneIconAndKeepsTheApplicationHidden)
{
    int minimized = 0;
    MakeTray();
    Tray->OnMinimize = [&](QObject* sender) {
        EXPECT_EQ(sender, Tray.data());
        ++minimized;
    };
    ShellNotifyArea().Calls.clear();
    Tray->Loaded();

    const std::vector<TShellNotifyCall> calls = ShellNotifyArea().Calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Message, NIM_ADD);
    EXPECT_EQ(calls[0].Window, Tray->Handle());
    EXPECT_EQ(calls[0].ID, 0u);
    EXPECT_EQ(calls[0].Flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(calls[0].CallbackMessage, 0x04D3u);
    EXPECT_EQ(calls[0].Tip, "");
    EXPECT_TRUE(calls[0].Result);
    EXPECT_FALSE(IconOfHandle(calls[0].Icon).isNull());
    EXPECT_EQ(IconOfHandle(calls[0].Icon).pixmap(16, 16).size(), QSize(16, 16));
    EXPECT_EQ(Tray->NotifyData().cbSize, 88u);

    EXPECT_TRUE(Tray->Visible());
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);
    EXPECT_FALSE(ApplicationShowMainForm()) << "the program must not show its main window";
    EXPECT_FALSE(Form->isVisible());
    EXPECT_FALSE(IsWindowVisible(AppWindow));
    EXPECT_EQ(minimized, 1);
}

TEST_F(TrayIconTest, AClickShowsTheApplicationAndASecondClickLeavesItShown)
{
    Start();
    Click();
    EXPECT_EQ(Clicks, 1);
    EXPECT_TRUE(Form->isVisible());
    Click();
    EXPECT_EQ(Clicks, 2);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Messages().empty()) << "the icon stays as it is";

    // A button release without its press is no click.
    Mouse(WM_LBUTTONUP);
    EXPECT_EQ(Clicks, 2);
}

TEST_F(TrayIconTest, ActivationsFromTheNotificationAreaArriveThroughTheEventLoop)
{
    Start();
    ASSERT_TRUE(ShellNotifyArea().Activate(Tray->Handle(), 0, QSystemTrayIcon::Trigger));
    EXPECT_EQ(Clicks, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Clicks, 1);
    EXPECT_TRUE(Form->isVisible());
    ShellNotifyArea().Activate(Tray->Handle(), 0, QSystemTrayIcon::Context);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Popups.size(), 1u);
}

TEST_F(TrayIconTest, ADoubleClickEndsWithTheApplicationHiddenWhetherItWasShownOrNot)
{
    Start();
    int doubleClicks = 0;
    Tray->OnDblClick = [&](QObject*) { ++doubleClicks; };
    // Hidden before: the click shows it, the double click hides it again.
    Click();
    Mouse(WM_LBUTTONDBLCLK);
    EXPECT_FALSE(Form->isVisible());
    // Shown before.
    Click();
    ASSERT_TRUE(Form->isVisible());
    Click();
    Mouse(WM_LBUTTONDBLCLK);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(doubleClicks, 2);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TrayIconTest, ADoubleClickRunsTheMenusDefaultItemInstead)
{
    Start();
    int shown = 0;
    QObject::connect(Show1, &QAction::triggered, Form.get(), [&] { ++shown; });
    PopupMenu2->setDefaultAction(Show1);
    int doubleClicks = 0;
    Tray->OnDblClick = [&](QObject*) { ++doubleClicks; };
    Mouse(WM_LBUTTONDBLCLK);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(Form->isVisible()) << "the item decides; the application is left alone";
    EXPECT_EQ(GetForegroundWindow(), AppWindow);

    // Without automatic popup the menu is passed over.
    PopupMenu2->setProperty("AutoPopup", false);
    Mouse(WM_LBUTTONDBLCLK);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(TrayIconTest, TheRightButtonsReleaseBringsTheOwnerForwardThenPopsTheMenuUp)
{
    Start();
    std::vector<std::string> order;
    Tray->OnMouseDown = [&](QObject*, TMouseButton button, TShiftState shift, int x, int y) {
        EXPECT_EQ(button, mbRight);
        EXPECT_EQ(shift, TShiftState{ssRight});
        EXPECT_EQ(x, 1204);
        EXPECT_EQ(y, 12);
        order.push_back("down");
    };
    Tray->OnMouseUp = [&](QObject*, TMouseButton button, TShiftState shift, int, int) {
        EXPECT_EQ(button, mbRight);
        EXPECT_EQ(shift, TShiftState{ssRight});
        EXPECT_EQ(GetForegroundWindow(), AppWindow) << "the owner comes forward before the event";
        order.push_back("up");
    };
    Tray->OnPopupMenu = [&](QObject*) { order.push_back("popup"); };

    Mouse(WM_RBUTTONDOWN);
    EXPECT_TRUE(Popups.empty());
    Mouse(WM_RBUTTONUP);
    ASSERT_EQ(Popups.size(), 1u);
    EXPECT_EQ(Popups[0].Menu, PopupMenu2);
    EXPECT_EQ(Popups[0].Pos, QPoint(1204, 12));
    EXPECT_EQ(Popups[0].Foreground, AppWindow);
    EXPECT_EQ(Popups[0].Component, Tray.data());
    EXPECT_EQ(order, (std::vector<std::string>{"down", "up", "popup"}));
    EXPECT_FALSE(Form->isVisible()) << "the menu does the showing";
}

TEST_F(TrayIconTest, ThePopupBringsTheOwnerForwardAndPostsItAnEmptyMessageAfterwards)
{
    Start();
    QWidget other;
    SetForegroundWindow(WidgetWindow(&other));
    const WNDPROC original = GetWindowLongA(AppWindow, GWL_WNDPROC);
    std::vector<UINT> nulls;
    const WNDPROC recorder = MakeObjectInstance([&](TMessage& message) {
        if (message.Msg == WM_NULL)
            nulls.push_back(message.Msg);
        message.Result = CallWindowProcA(original, AppWindow, message.Msg, message.WParam, message.LParam);
    });
    SetWindowLongA(AppWindow, GWL_WNDPROC, recorder);

    Tray->PopupAtCursor();
    ASSERT_EQ(Popups.size(), 1u);
    EXPECT_EQ(Popups[0].Foreground, AppWindow);
    EXPECT_TRUE(nulls.empty()) << "posted, not sent";
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(nulls.size(), 1u);

    // Without automatic popup there is no menu and nothing else happens.
    PopupMenu2->setProperty("AutoPopup", false);
    SetForegroundWindow(WidgetWindow(&other));
    Tray->PopupAtCursor();
    EXPECT_EQ(Popups.size(), 1u);
    EXPECT_EQ(GetForegroundWindow(), WidgetWindow(&other));

    SetWindowLongA(AppWindow, GWL_WNDPROC, original);
    FreeObjectInstance(recorder);
}

TEST_F(TrayIconTest, ARightDoubleClickDoesNothingOfItsOwnAndEachReleaseOpensTheMenu)
{
    Start();
    int events = 0;
    CountMouseEvents(events);
    Mouse(WM_RBUTTONDBLCLK);
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(Popups.empty());
    EXPECT_FALSE(Form->isVisible());

    for (UINT message : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP})
        Mouse(message);
    EXPECT_EQ(Popups.size(), 2u);
    EXPECT_EQ(events, 3);
}

TEST_F(TrayIconTest, PopupByLeftOpensTheMenuAfterTheClickToo)
{
    Start();
    Tray->SetPopupByLeft(true);
    Click();
    EXPECT_EQ(Clicks, 1);
    EXPECT_EQ(Popups.size(), 1u);
    // The middle button reports its press and release and nothing more.
    std::vector<TMouseButton> buttons;
    Tray->OnMouseUp = [&](QObject*, TMouseButton button, TShiftState shift, int, int) {
        EXPECT_EQ(shift, TShiftState{ssMiddle});
        buttons.push_back(button);
    };
    Mouse(WM_MBUTTONDOWN);
    Mouse(WM_MBUTTONUP);
    EXPECT_EQ(buttons, (std::vector<TMouseButton>{mbMiddle}));
    EXPECT_EQ(Popups.size(), 1u);
}

TEST_F(TrayIconTest, MouseMovesReportTheCursor)
{
    Start();
    std::vector<QPoint> moves;
    Tray->OnMouseMove = [&](QObject*, TShiftState shift, int x, int y) {
        EXPECT_EQ(shift, TShiftState{0});
        moves.emplace_back(x, y);
    };
    Mouse(WM_MOUSEMOVE);
    EXPECT_EQ(moves, (std::vector<QPoint>{QPoint(1204, 12)}));
}

TEST_F(TrayIconTest, WhileDisabledNothingOnTheIconHasAnyEffect)
{
    Start();
    Tray->SetMouseEnabled(false);
    int events = 0;
    CountMouseEvents(events);
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
             WM_MBUTTONDOWN, WM_MBUTTONUP})
        Mouse(message);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(Clicks, 0);
    EXPECT_TRUE(Popups.empty());
    EXPECT_FALSE(Form->isVisible());

    // A press while disabled leaves no click behind.
    Mouse(WM_LBUTTONDOWN);
    Tray->SetMouseEnabled(true);
    Mouse(WM_LBUTTONUP);
    EXPECT_EQ(Clicks, 0);
}

TEST_F(TrayIconTest, AHintIsCutTo63CharactersAndSentOnlyWhileShowHintIsSet)
{
    Start();
    const QString seventy = QString("0123456789").repeated(7);
    Tray->SetHint(seventy);
    EXPECT_EQ(Tray->Hint(), seventy.left(63));
    std::vector<TShellNotifyCall> calls = ShellNotifyArea().Calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Message, NIM_MODIFY);
    EXPECT_EQ(calls[0].Tip, seventy.left(63).toStdString());
    EXPECT_EQ(Tray->NotifyData().szTip[63], '\0');

    ShellNotifyArea().Calls.clear();
    Tray->SetHint(seventy.left(63));
    EXPECT_TRUE(Messages().empty()) << "the same text changes nothing";

    Tray->SetShowHint(false);
    calls = ShellNotifyArea().Calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Tip, "");
    const char zeros[64] = {};
    EXPECT_EQ(std::memcmp(Tray->NotifyData().szTip, zeros, sizeof(zeros)), 0);
}

TEST_F(TrayIconTest, ChangingTheIconIdTakesTheIconAwayAndAddsItUnderTheNewOne)
{
    Start();
    Tray->SetIconID(5);
    const std::vector<TShellNotifyCall> calls = ShellNotifyArea().Calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Message, NIM_DELETE);
    EXPECT_EQ(calls[0].ID, 0u);
    EXPECT_EQ(calls[1].Message, NIM_ADD);
    EXPECT_EQ(calls[1].ID, 5u);
    EXPECT_FALSE(ShellNotifyArea().HasIcon(Tray->Handle(), 0));
    EXPECT_TRUE(ShellNotifyArea().HasIcon(Tray->Handle(), 5));
    EXPECT_TRUE(Tray->Visible());

    // While the icon is not shown only the number changes.
    ShellNotifyArea().Calls.clear();
    Tray->SetVisible(false);
    ShellNotifyArea().Calls.clear();
    Tray->SetIconID(6);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Tray->IconID(), 6);
}

TEST_F(TrayIconTest, ARestartedShellGetsTheIconBackAndTheApplicationIsShown)
{
    Start();
    // The shell has lost its icons.
    ShellNotifyArea().Reset();
    SendMessageA(Tray->Handle(), TabfTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_EQ(Messages(), (std::vector<DWORD>{NIM_DELETE, NIM_ADD}));
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);
    EXPECT_TRUE(Tray->Visible());
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(TrayIconTest, ARestartedShellChangesNothingWhileTheIconIsNotShown)
{
    MakeTray(false);
    ShellNotifyArea().Calls.clear();
    SendMessageA(Tray->Handle(), TabfTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
}

TEST_F(TrayIconTest, TheIconLetsTheSessionEnd)
{
    Start();
    EXPECT_EQ(SendMessageA(Tray->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SendMessageA(Tray->Handle(), WM_USER + 1, 0, 0), 0);
}

TEST_F(TrayIconTest, MinimisingTheShownMainWindowHidesItWithoutASecondIcon)
{
    Start();
    Click();
    ASSERT_TRUE(Form->isVisible());
    int minimized = 0;
    Tray->OnMinimize = [&](QObject*) { ++minimized; };
    Form->showMinimized();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_FALSE(IsWindowVisible(AppWindow));
    EXPECT_EQ(minimized, 1);
    EXPECT_TRUE(Messages().empty()) << "the icon is already there";
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);

    // Shown again, it comes back in its normal state.
    Click();
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Form->windowState() & Qt::WindowMinimized);
}

TEST_F(TrayIconTest, TheMinimiseIsHandledBeforeTheSavedProcedureSeesIt)
{
    // A procedure installed before the icon's: the icon saves it and calls it last.
    const WNDPROC original = GetWindowLongA(AppWindow, GWL_WNDPROC);
    std::vector<bool> visibleWhenSeen;
    const WNDPROC earlier = MakeObjectInstance([&](TMessage& message) {
        if (message.Msg == WM_SIZE && message.WParam == SIZE_MINIMIZED)
            visibleWhenSeen.push_back(Form->isVisible());
        message.Result = CallWindowProcA(original, AppWindow, message.Msg, message.WParam, message.LParam);
    });
    SetWindowLongA(AppWindow, GWL_WNDPROC, earlier);
    Start();
    Click();
    Form->showMinimized();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(visibleWhenSeen, (std::vector<bool>{false}));

    // Without MinimizeToTray the window just stays minimised.
    Click();
    Tray->SetMinimizeToTray(false);
    Form->showMinimized();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(visibleWhenSeen, (std::vector<bool>{false, true}));

    // Destroying the icon gives the application window its earlier procedure back.
    delete Tray.data();
    EXPECT_EQ(GetWindowLongA(AppWindow, GWL_WNDPROC), earlier);
    SetWindowLongA(AppWindow, GWL_WNDPROC, original);
    FreeObjectInstance(earlier);
}

TEST_F(TrayIconTest, MenuCommandsHideAndShowTheApplicationAndLeaveTheIcon)
{
    Start();
    Tray->ShowApplication();
    EXPECT_TRUE(Form->isVisible());
    Tray->HideApplication();
    EXPECT_FALSE(Form->isVisible());
    Tray->HideApplication();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TrayIconTest, DestroyingTheMainWindowTakesTheIconAway)
{
    Start();
    Click();
    const HWND hidden = Tray->Handle();
    Form.reset();
    EXPECT_EQ(Messages(), (std::vector<DWORD>{NIM_DELETE}));
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_FALSE(IsWindow(AppWindow));
}

TEST_F(TrayIconTest, DestroyingTheIconAloneTouchesNeitherItsOwnerNorItsHandlers)
{
    Start();
    int hides = 0;
    Tray->OnHide = [&](QObject*) { ++hides; };
    delete Tray.data();
    EXPECT_EQ(Messages(), (std::vector<DWORD>{NIM_DELETE}));
    EXPECT_EQ(hides, 0);
    EXPECT_FALSE(Form->isVisible()) << "a hidden application stays hidden";
}

TEST_F(TrayIconTest, HidingTheIconShowsTheApplicationUnderMinimizeToTray)
{
    Start();
    std::vector<std::string> events;
    Tray->OnHide = [&](QObject*) { events.push_back("hide"); };
    Tray->OnShow = [&](QObject*) { events.push_back("show"); };
    Tray->SetVisible(false);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    Tray->SetVisible(true);
    EXPECT_EQ(events, (std::vector<std::string>{"hide", "show"}));
    EXPECT_EQ(Messages(), (std::vector<DWORD>{NIM_DELETE, NIM_ADD}));
}

// A tray icon whose record cannot be filled.
class TBrokenTrayIcon : public TabfTrayIcon {
public:
    using TabfTrayIcon::TabfTrayIcon;
    bool Broken = false;

protected:
    void FillNotifyData() override
    {
        if (Broken)
            throw std::runtime_error("no record");
        TabfTrayIcon::FillNotifyData();
    }
};

TEST_F(TrayIconTest, AFailingShellCallIsReportedUnderTheComponentsName)
{
    auto* tray = new TBrokenTrayIcon(Form.get());
    tray->setObjectName("abfTrayIcon1");
    tray->Broken = true;
    EXPECT_EQ(MessageOf<EabfTrayIcon>([&] { tray->SetVisible(true); }), "abfTrayIcon1.InsertToTray failed");
    tray->Broken = false;
    tray->SetVisible(true);
    tray->SetVisible(false);
    tray->SetVisible(true);
    tray->Broken = true;
    EXPECT_EQ(MessageOf<EabfTrayIcon>([&] { tray->SetVisible(false); }), "abfTrayIcon1.DeleteFromTray failed");
    tray->Broken = false;
}

TEST_F(TrayIconTest, AGoneMenuIsForgotten)
{
    Start();
    delete PopupMenu2;
    EXPECT_EQ(Tray->PopupMenu(), nullptr);
    Mouse(WM_RBUTTONUP);
    EXPECT_TRUE(Popups.empty());
}

TEST_F(TrayIconTest, WithoutANotificationAreaTheApplicationStartsShownAndTheIconComesWithTheArea)
{
    Seams->NotificationArea = false;
    MakeTray();
    Tray->Loaded();
    EXPECT_TRUE(ApplicationShowMainForm()) << "the window is the only way in";
    EXPECT_TRUE(Tray->Visible()) << "the icon stays wanted";
    EXPECT_FALSE(Tray->IconShown());
    Form->show();

    // Minimising leaves an ordinary minimised window while there is no icon to bring it back.
    SendMessageA(AppWindow, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_TRUE(Form->isVisible());

    // The shell announces its new taskbar: the icon is added.
    Seams->NotificationArea = true;
    ShellNotifyArea().Calls.clear();
    SendMessageA(Tray->Handle(), TabfTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(Tray->IconShown());
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);
    EXPECT_EQ(ShellNotifyArea().Calls.back().Message, NIM_ADD);
    SendMessageA(AppWindow, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(Form->isVisible()) << "with the icon shown, minimising hides into it";
}

} // namespace
