#include "platform/Shell.h"

#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

uintptr_t Code(HINSTANCE result)
{
    return reinterpret_cast<uintptr_t>(result);
}

class ShellTest : public ::testing::Test {
protected:
    TPlatformSeamScope Seams;
};

TEST_F(ShellTest, RecorderTakesTheCallAsMadeAndReportsSuccess)
{
    std::vector<TShellExecuteCall> calls;
    Seams->ShellExecuteRecorder = [&calls](const TShellExecuteCall& call) { calls.push_back(call); };
    int window = 0;
    HINSTANCE result = ShellExecuteA(&window, "open", "mailto:a@b.c", "", nullptr, SW_SHOWNORMAL);
    EXPECT_GT(Code(result), 32u);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Window, &window);
    EXPECT_EQ(calls[0].Operation, "open");
    EXPECT_EQ(calls[0].File, "mailto:a@b.c");
    EXPECT_EQ(calls[0].Parameters, "");
    EXPECT_EQ(calls[0].Directory, std::nullopt);
    EXPECT_EQ(calls[0].ShowCmd, 1);
}

// Failures that never reach the desktop: nothing is opened while the tests run.
TEST_F(ShellTest, MissingFileOrUnknownVerbFailWithTheirCodes)
{
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOWNORMAL)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "print", "https://zeltix.example.org", nullptr, nullptr, SW_SHOWNORMAL)),
        SE_ERR_NOASSOC);
}

} // namespace
