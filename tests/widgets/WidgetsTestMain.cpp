#include "tests/support/TestMain.h"

#include <QApplication>

// Widgets need an application object; they are painted on the offscreen platform, so the
// pictures do not depend on a display.
int main(int argc, char** argv)
{
    return RunTestsWithApplication<QApplication>(argc, argv, tdOffscreen, [](QApplication&) {});
}
