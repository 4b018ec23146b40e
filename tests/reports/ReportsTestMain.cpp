#include "resources/Resources.h"
#include "tests/support/TestMain.h"

#include <QApplication>

// The report windows need an application object and the program's resources; they run on the
// offscreen platform, so no test depends on a display.
int main(int argc, char** argv)
{
    return RunTestsWithApplication<QApplication>(argc, argv, tdOffscreen, [](QApplication&) { InitZeltixResources(); });
}
