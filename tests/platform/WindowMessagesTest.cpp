#include "platform/Windows.h"

#include "platform/Seams.h"
#include "tests/platform/GuiTestApplication.h"
#include "tests/support/PlatformSeamScope.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

class WindowMessagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TPlatformSeamScope Seams;
};

TEST_F(WindowMessagesTest, PostedMessagesArriveFromTheEventLoopInOrderAndNotAfterTheWindowHasGone)
{
    std::vector<UINT> received;
    HWND window = AllocateHWnd([&](TMessage& message) { received.push_back(message.Msg); });
    EXPECT_TRUE(PostMessageA(window, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostMessageA(window, WM_USER + 2, 0, 0));
    EXPECT_TRUE(received.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(received, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));

    EXPECT_TRUE(PostMessageA(window, WM_USER + 3, 0, 0));
    DeallocateHWnd(window);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(received.size(), 2u);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
}

TEST_F(WindowMessagesTest, RegisteredMessagesAreNumberedFromC000OncePerName)
{
    const UINT first = RegisterWindowMessageA("ZeltixTestMessageOne");
    EXPECT_GE(first, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageA("zeltixtestmessageone"), first);
    const UINT second = RegisterWindowMessageA("ZeltixTestMessageTwo");
    EXPECT_NE(second, first);
    EXPECT_GE(second, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST_F(WindowMessagesTest, WindowProceduresAreReplacedAndChained)
{
    std::vector<UINT> order;
    HWND window = AllocateHWnd([&](TMessage& message) {
        order.push_back(1);
        message.Result = 10;
    });
    const WNDPROC original = GetWindowLongA(window, GWL_WNDPROC);
    ASSERT_NE(original, 0);
    const WNDPROC hook = MakeObjectInstance([&](TMessage& message) {
        order.push_back(2);
        message.Result = CallWindowProcA(original, window, message.Msg, message.WParam, message.LParam) + 1;
    });
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, hook), original);
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 11);
    EXPECT_EQ(order, (std::vector<UINT>{2, 1}));

    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, original), hook);
    FreeObjectInstance(hook);
    EXPECT_EQ(CallWindowProcA(hook, window, WM_USER, 0, 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 10);
    DeallocateHWnd(window);
    EXPECT_EQ(GetWindowLongA(window, GWL_WNDPROC), 0);
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, original), 0);
}

TEST_F(WindowMessagesTest, TheDefaultProcedureLetsTheSessionEnd)
{
    EXPECT_EQ(DefWindowProcA(nullptr, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_SIZE, SIZE_MINIMIZED, 0), 0);
}

TEST_F(WindowMessagesTest, TheApplicationWindowShowsHidesAndReportsItsMinimiseToItsProcedure)
{
    auto form = std::make_unique<QWidget>();
    auto child = new QWidget(form.get());
    const HWND app = SetApplicationWindow(form.get());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(ApplicationWindow(), app);
    EXPECT_EQ(WidgetWindow(form.get()), app);
    EXPECT_EQ(WidgetWindow(child), app) << "a widget's window is its top-level window";
    EXPECT_EQ(WindowWidget(app), form.get());
    EXPECT_TRUE(IsWindow(app));
    EXPECT_FALSE(IsWindowVisible(app));

    std::vector<std::pair<UINT, WPARAM>> seen;
    const WNDPROC original = GetWindowLongA(app, GWL_WNDPROC);
    const WNDPROC hook = MakeObjectInstance([&](TMessage& message) {
        seen.emplace_back(message.Msg, message.WParam);
        message.Result = CallWindowProcA(original, app, message.Msg, message.WParam, message.LParam);
    });
    SetWindowLongA(app, GWL_WNDPROC, hook);

    EXPECT_FALSE(ShowWindow(app, SW_SHOWNORMAL));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(IsWindowVisible(app));
    EXPECT_TRUE(SendMessageA(app, WM_QUERYENDSESSION, 0, 0)) << "the original procedure answers";
    seen.clear();

    form->showMinimized();
    EXPECT_TRUE(seen.empty()) << "reported once the minimise is complete";
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.front(), std::make_pair(WM_SIZE, SIZE_MINIMIZED));
    // A minimised window is still a visible one.
    EXPECT_TRUE(IsWindowVisible(app));
    seen.clear();
    form->showMinimized();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(seen.empty()) << "only the step into the minimised state is reported";

    // Minimised and restored before the report arrives: no minimise is reported.
    form->showNormal();
    form->showMinimized();
    form->showNormal();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::make_pair(WM_SIZE, SIZE_MINIMIZED)), 0);
    form->showMinimized();
    QCoreApplication::sendPostedEvents();
    seen.clear();

    EXPECT_TRUE(ShowWindow(app, SW_HIDE));
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(IsWindowVisible(app));
    ShowWindow(app, SW_SHOWNORMAL);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
    QCoreApplication::sendPostedEvents();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(WM_SIZE, SIZE_RESTORED));

    EXPECT_TRUE(SetForegroundWindow(app));
    EXPECT_EQ(GetForegroundWindow(), app);

    SetWindowLongA(app, GWL_WNDPROC, original);
    FreeObjectInstance(hook);
    form.reset();
    EXPECT_FALSE(IsWindow(app)) << "the handle goes with the widget";
    EXPECT_EQ(ApplicationWindow(), nullptr);
    EXPECT_FALSE(ShowWindow(app, SW_SHOWNORMAL));
    EXPECT_FALSE(IsWindowVisible(app));
    EXPECT_FALSE(SetForegroundWindow(app));
}

TEST_F(WindowMessagesTest, HiddenWindowsHaveNothingToShow)
{
    HWND window = AllocateHWnd({});
    EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(WindowWidget(window), nullptr);
    DeallocateHWnd(window);
}

TEST_F(WindowMessagesTest, CursorAndKeysCanBeFixedForTests)
{
    const POINT fixed{640, 12};
    Seams->CursorPos = fixed;
    POINT pos{};
    EXPECT_TRUE(GetCursorPos(&pos));
    EXPECT_EQ(pos.x, 640);
    EXPECT_EQ(pos.y, 12);
    Seams->CursorPos.reset();
    EXPECT_FALSE(GetCursorPos(nullptr));
    EXPECT_GE(GetKeyState(VK_SHIFT), 0) << "no key is down on the offscreen platform";
    EXPECT_EQ(GetKeyState('A'), 0);
}

TEST_F(WindowMessagesTest, ExhaustedTimersRefuseToStart)
{
    HWND window = AllocateHWnd({});
    Seams->TimersExhausted = true;
    EXPECT_EQ(SetTimer(window, 1, 100, nullptr), 0u);
    Seams->TimersExhausted = false;
    EXPECT_EQ(SetTimer(window, 1, 100, nullptr), 1u);
    DeallocateHWnd(window);
}

} // namespace
