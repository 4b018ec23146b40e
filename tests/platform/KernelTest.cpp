#include "platform/Kernel.h"

#include "platform/Seams.h"
#include "tests/support/FakeClock.h"
#include "tests/support/PlatformSeamScope.h"

#include <gtest/gtest.h>

namespace {

TEST(KernelTest, FakeClockDrivesTicksAndLocalTimeUntilItIsGone)
{
    {
        TFakeClock clock({2026, 12, 31, 23, 59, 30, 0}, 0xFFFFF000u);
        EXPECT_EQ(GetTickCount(), 0xFFFFF000u);
        clock.AdvanceSeconds(45);
        // The 32-bit tick count wraps; the calendar rolls into the new year.
        EXPECT_EQ(GetTickCount(), static_cast<DWORD>(0xFFFFF000u + 45000u));
        EXPECT_EQ(GetLocalTime(), (TLocalTime{2027, 1, 1, 0, 0, 15, 0}));
        clock.AdvanceMinutes(2);
        EXPECT_EQ(GetLocalTime().Minute, 2);
    }
    // Back on the system clock: the year is plausible and time moves forward.
    EXPECT_GE(GetLocalTime().Year, 2024);
    DWORD a = GetTickCount();
    Sleep(0);
    EXPECT_GE(static_cast<DWORD>(GetTickCount() - a), 0u);
}

TEST(KernelTest, PlatformIsTheNtFamilyUnlessATestSaysOtherwise)
{
    TPlatformSeamScope Seams;
    EXPECT_EQ(Win32Platform(), VER_PLATFORM_WIN32_NT);
    Seams->PlatformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(Win32Platform(), VER_PLATFORM_WIN32_WINDOWS);
    Seams->PlatformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(Win32Platform(), VER_PLATFORM_WIN32s);
    Seams->PlatformId.reset();
    EXPECT_EQ(Win32Platform(), VER_PLATFORM_WIN32_NT);
}

} // namespace
