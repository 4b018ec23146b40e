#include <QCoreApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The desktop components own hidden windows and timers, which live on a Qt event loop.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
