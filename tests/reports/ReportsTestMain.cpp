#include "resources/Resources.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The report windows need an application object; they run on the offscreen platform, so no
// test depends on a display or on the machine's settings.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    QApplication app(argc, argv);
    InitZeltixResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
