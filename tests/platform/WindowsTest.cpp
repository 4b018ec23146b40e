#include "platform/Windows.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(WindowsTest, HiddenWindowsHandTheirMessagesToTheirMethodUntilDestroyed)
{
    std::vector<TMessage> received;
    HWND first = AllocateHWnd(
        [&](TMessage& message) {
            received.push_back(message);
            message.Result = 42;
        },
        "PsockWindowClass");
    HWND second = AllocateHWnd({});
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));

    EXPECT_EQ(SendMessageA(first, WM_USER + 101, 7, -3), 42);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Msg, WM_USER + 101);
    EXPECT_EQ(received[0].WParam, 7u);
    EXPECT_EQ(received[0].LParam, -3);
    // A window without a method answers 0.
    EXPECT_EQ(SendMessageA(second, WM_USER, 0, 0), 0);

    DeallocateHWnd(first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(SendMessageA(first, WM_USER, 0, 0), 0);
    EXPECT_EQ(received.size(), 1u);
    DeallocateHWnd(first);
    // Handles are not reused, so the stale one stays invalid.
    HWND third = AllocateHWnd({});
    EXPECT_NE(third, first);
    EXPECT_FALSE(IsWindow(first));
    DeallocateHWnd(second);
    DeallocateHWnd(third);
}

TEST(WindowsTest, ClassNamesAreKeptAndCutToTheBuffer)
{
    HWND window = AllocateHWnd({}, "TmrWindowClass");
    char name[64];
    EXPECT_EQ(GetClassNameA(window, name, sizeof(name)), 14);
    EXPECT_STREQ(name, "TmrWindowClass");
    EXPECT_EQ(GetClassNameA(window, name, 4), 3);
    EXPECT_STREQ(name, "Tmr");
    HWND utility = AllocateHWnd({});
    GetClassNameA(utility, name, sizeof(name));
    EXPECT_STREQ(name, "TPUtilWindow");
    DeallocateHWnd(window);
    DeallocateHWnd(utility);
    EXPECT_EQ(GetClassNameA(window, name, sizeof(name)), 0);
}

TEST(WindowsTest, TimersNeedAWindowAnIdAndNoTimerProcedure)
{
    HWND window = AllocateHWnd({});
    EXPECT_EQ(SetTimer(nullptr, 1, 1000, nullptr), 0u);
    EXPECT_EQ(SetTimer(window, 0, 1000, nullptr), 0u);
    int procedure = 0;
    EXPECT_EQ(SetTimer(window, 1, 1000, &procedure), 0u);
    EXPECT_FALSE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(nullptr, 1));
    DeallocateHWnd(window);
}

} // namespace
