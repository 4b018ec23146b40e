#include "tests/scenario/DesktopProgram.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// How a desktop session ends under the program: a closed terminal or session sends it SIGHUP,
// and it closes like "Beenden"; the display going away makes the toolkit end the process
// itself, with exit code 1, once it notices: through exit() under X11, through _exit() under
// Wayland.
enum TDesktopEnd { deHangUp, deX11Gone, deWaylandGone };

class DesktopEndsTest : public DesktopProgramTest, public ::testing::WithParamInterface<TDesktopEnd> { };

std::string DesktopEndName(const ::testing::TestParamInfo<TDesktopEnd>& info)
{
    static const char* const names[] = {"SigHup", "X11Gone", "WaylandGone"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, DesktopEndsTest, ::testing::Values(deHangUp, deX11Gone, deWaylandGone), DesktopEndName);

TEST_P(DesktopEndsTest, WritesTheFilesBeforeTheProgramEnds)
{
    if (GetParam() == deWaylandGone)
        ASSERT_NO_FATAL_FAILURE(StartCompositor());
    else
        ASSERT_NO_FATAL_FAILURE(StartServer());
    if (IsSkipped())
        return;
    ASSERT_NO_FATAL_FAILURE(StartProgramWithASession());
    if (GetParam() == deHangUp) {
        Program->Signal(SIGHUP);
        EXPECT_EQ(Program->WaitForExit(20000), 0) << ProgramOutput();
    } else {
        Server->Signal(SIGKILL);
        EXPECT_EQ(Server->WaitForExit(10000), 128 + SIGKILL);
        EXPECT_EQ(Program->WaitForExit(20000), 1) << ProgramOutput();
    }
    ExpectFilesWritten();
}

} // namespace
