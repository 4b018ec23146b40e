#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// Widgets need an application object; they are painted on the offscreen platform, so the
// pictures do not depend on a display or on the machine's settings.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
