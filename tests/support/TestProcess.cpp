#include "tests/support/TestMain.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

void PrepareTestProcess(TTestDisplay display)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    if (display != tdNone)
        ::setenv("QT_QPA_PLATFORM", "offscreen", display == tdOffscreen ? 1 : 0);
    // The dial-up stand-in also lists the machine's pppd peers; the tests bring their own
    // phonebooks and system trees instead.
    ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent/zeltix-system-root", 0);
    // No test reaches the machine's system bus; tests that want NetworkManager start their own.
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 0);
}

int RunAllTests(int& argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
