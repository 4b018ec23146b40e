#include "resources/Resources.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The desktop components own hidden windows and timers, which live on a Qt event loop; the
// tray icon shows and hides a real main window, so the application object is a widget one.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    InitZeltixResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
