#include "app/Application.h"
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The main window's tests need the program's own application object on the offscreen platform.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The dial-up stand-in also lists the machine's pppd peers; the tests and benchmarks bring
    // their own phonebooks instead.
    ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent-zeltix-system-root", 0);
    // No test reaches the machine's system bus; tests that want NetworkManager start their own.
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 0);
    std::setlocale(LC_ALL, "C.UTF-8");
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Zeltix"));
    InitZeltixResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
