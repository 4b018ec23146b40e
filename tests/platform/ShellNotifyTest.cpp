#include "platform/ShellNotify.h"

#include "platform/Seams.h"
#include "tests/platform/GuiTestApplication.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/PlatformSeamScope.h"

#include <QCoreApplication>
#include <QIcon>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr UINT Callback = WM_USER + 211;

class ShellNotifyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }

    void SetUp() override
    {
        Window = AllocateHWnd([this](TMessage& message) { Received.push_back(message); });
    }
    void TearDown() override
    {
        DeallocateHWnd(Window);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    NOTIFYICONDATAA Record(UINT id, UINT flags, const char* tip = "") const
    {
        NOTIFYICONDATAA data{};
        data.cbSize = sizeof(data);
        data.hWnd = Handle32(Window);
        data.uID = id;
        data.uFlags = flags;
        data.uCallbackMessage = Callback;
        std::strncpy(data.szTip, tip, sizeof(data.szTip) - 1);
        return data;
    }

    TPlatformSeamScope Seams;
    TNotificationAreaScope NotificationArea{true};
    HWND Window = nullptr;
    std::vector<TMessage> Received;
};

TEST(NotifyIconRecordTest, HandlesOfTheStandInFitTheRecordsThirtyTwoBits)
{
    HWND window = AllocateHWnd({});
    EXPECT_EQ(WindowOfHandle32(Handle32(window)), window);
    DeallocateHWnd(window);
}

TEST_F(ShellNotifyTest, AddModifyAndDeleteFollowTheShellsRulesAndAreAllRecorded)
{
    NOTIFYICONDATAA data = Record(0, NIF_MESSAGE | NIF_TIP, "Zeltix");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data)) << "the icon is already there";
    EXPECT_TRUE(ShellNotifyArea().HasIcon(Window, 0));
    EXPECT_EQ(ShellNotifyArea().IconCount(), 1);

    NOTIFYICONDATAA other = Record(7, NIF_MESSAGE);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &other)) << "no icon with id 7";
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &other));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &data));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &data));
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);

    const std::vector<TShellNotifyCall> calls = ShellNotifyArea().Calls;
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0].Message, NIM_ADD);
    EXPECT_EQ(calls[0].Window, Window);
    EXPECT_EQ(calls[0].Flags, NIF_MESSAGE | NIF_TIP);
    EXPECT_EQ(calls[0].CallbackMessage, Callback);
    EXPECT_EQ(calls[0].Tip, "Zeltix");
    EXPECT_TRUE(calls[0].Result);
    EXPECT_FALSE(calls[1].Result);
    EXPECT_EQ(calls[2].ID, 7u);
    EXPECT_EQ(calls[5].Message, NIM_DELETE);
    EXPECT_TRUE(calls[5].Result);
}

TEST_F(ShellNotifyTest, TheAreaIsPutBackWholeWithItsIconsAndCalls)
{
    NOTIFYICONDATAA data = Record(0, NIF_MESSAGE | NIF_TIP, "Zeltix");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    {
        TSeamScope area{ShellNotifyArea()};
        NOTIFYICONDATAA tip = Record(0, NIF_TIP, "Zeltix 2");
        EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &tip));
        EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
        EXPECT_EQ(area->IconCount(), 0);
        EXPECT_EQ(area->Calls.size(), 3u);
    }
    EXPECT_TRUE(ShellNotifyArea().HasIcon(Window, 0));
    ASSERT_EQ(ShellNotifyArea().Icons.size(), 1u);
    EXPECT_EQ(ShellNotifyArea().Icons[0].Tip, "Zeltix") << "a copy keeps its own record";
    EXPECT_EQ(ShellNotifyArea().Calls.size(), 1u);
}

TEST_F(ShellNotifyTest, ASmallRecordOrAMissingWindowIsRefused)
{
    NOTIFYICONDATAA data = Record(0, NIF_MESSAGE);
    data.cbSize = 87;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data));
    data = Record(0, NIF_MESSAGE);
    data.hWnd = 0x7FFFFFF0;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
    EXPECT_EQ(ShellNotifyArea().IconCount(), 0);
    EXPECT_EQ(ShellNotifyArea().Calls.size(), 2u) << "a call without a record leaves nothing to record";
}

TEST_F(ShellNotifyTest, ActivationsComeBackAsPostedMouseMessagesOfTheCallback)
{
    NOTIFYICONDATAA data = Record(3, NIF_MESSAGE);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    auto lParams = [this] {
        QCoreApplication::sendPostedEvents();
        std::vector<LPARAM> values;
        for (const TMessage& message : Received) {
            EXPECT_EQ(message.Msg, Callback);
            EXPECT_EQ(message.WParam, 3u);
            values.push_back(message.LParam);
        }
        Received.clear();
        return values;
    };

    EXPECT_TRUE(ShellNotifyArea().Activate(Window, 3, QSystemTrayIcon::Trigger));
    EXPECT_TRUE(Received.empty()) << "the shell posts its notifications";
    EXPECT_EQ(lParams(), (std::vector<LPARAM>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    ShellNotifyArea().Activate(Window, 3, QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(lParams(), (std::vector<LPARAM>{WM_LBUTTONDBLCLK}));
    ShellNotifyArea().Activate(Window, 3, QSystemTrayIcon::Context);
    EXPECT_EQ(lParams(), (std::vector<LPARAM>{WM_RBUTTONDOWN, WM_RBUTTONUP}));
    ShellNotifyArea().Activate(Window, 3, QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(lParams(), (std::vector<LPARAM>{WM_MBUTTONDOWN, WM_MBUTTONUP}));

    EXPECT_TRUE(ShellNotifyArea().SendMouse(Window, 3, WM_MOUSEMOVE));
    ASSERT_EQ(Received.size(), 1u) << "an injected message is sent at once";
    EXPECT_EQ(lParams(), (std::vector<LPARAM>{WM_MOUSEMOVE}));

    EXPECT_FALSE(ShellNotifyArea().Activate(Window, 4, QSystemTrayIcon::Trigger));
    EXPECT_FALSE(ShellNotifyArea().SendMouse(Window, 4, WM_LBUTTONUP));
}

TEST_F(ShellNotifyTest, AnIconWithoutCallbackMessageReportsNothing)
{
    NOTIFYICONDATAA data = Record(0, NIF_TIP);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    ShellNotifyArea().Activate(Window, 0, QSystemTrayIcon::Trigger);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(Received.empty());
    EXPECT_FALSE(ShellNotifyArea().SendMouse(Window, 0, WM_LBUTTONUP));

    data = Record(0, NIF_MESSAGE);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &data));
    ShellNotifyArea().Activate(Window, 0, QSystemTrayIcon::Trigger);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Received.size(), 2u) << "NIM_MODIFY gave it one";
}

TEST_F(ShellNotifyTest, IconHandlesStandForTheirPictureUntilDestroyed)
{
    QPixmap red(16, 16);
    red.fill(Qt::red);
    const HICON handle = CreateIconHandle(QIcon(red));
    ASSERT_NE(handle, 0u);
    EXPECT_NE(CreateIconHandle(QIcon(red)), handle);
    EXPECT_FALSE(IconOfHandle(handle).isNull());
    EXPECT_EQ(IconOfHandle(handle).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_TRUE(DestroyIcon(handle));
    EXPECT_TRUE(IconOfHandle(handle).isNull());
    EXPECT_FALSE(DestroyIcon(handle));
    EXPECT_TRUE(IconOfHandle(0).isNull());
}

TEST_F(ShellNotifyTest, WithoutANotificationAreaNoIconIsAddedAndOneAppearingIsAnnouncedToEveryWindow)
{
    TFakeClock clock;
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    std::vector<UINT> other;
    HWND otherWindow = AllocateHWnd([&](TMessage& message) { other.push_back(message.Msg); });
    auto announcements = [&] {
        return std::count_if(
            Received.begin(), Received.end(), [&](const TMessage& m) { return m.Msg == taskbarCreated; });
    };

    auto desktopChanges = [&](bool available) {
        Seams->NotificationArea = available;
        ShellNotifyArea().DesktopChanged();
        RunEventLoopFor(clock, 1000);
    };

    Seams->NotificationArea = false;
    ShellNotifyArea().Reset();
    NOTIFYICONDATAA data = Record(0, NIF_MESSAGE | NIF_ICON);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data)) << "no icon is reported as shown when it is not";
    EXPECT_FALSE(ShellNotifyArea().HasIcon(Window, 0));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data));
    desktopChanges(false);
    EXPECT_EQ(announcements(), 0);

    // A panel starts: every window hears "TaskbarCreated" once, and the icon can be added.
    desktopChanges(true);
    EXPECT_EQ(announcements(), 1);
    EXPECT_EQ(std::count(other.begin(), other.end(), taskbarCreated), 1);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    desktopChanges(true);
    EXPECT_EQ(announcements(), 1) << "nothing new, nothing said";

    // The panel goes, taking its icons; a new one is announced again.
    desktopChanges(false);
    EXPECT_FALSE(ShellNotifyArea().HasIcon(Window, 0));
    EXPECT_EQ(announcements(), 1);
    desktopChanges(true);
    EXPECT_EQ(announcements(), 2);
    DeallocateHWnd(otherWindow);
}

} // namespace
