#include "resources/Resources.h"
#include "tests/support/TestMain.h"

#include <QApplication>

// The desktop components own hidden windows and timers, which live on a Qt event loop; the
// tray icon shows and hides a real main window, so the application object is a widget one. A
// display named in QT_QPA_PLATFORM is kept, for the tray tests on a real notification area.
int main(int argc, char** argv)
{
    return RunTestsWithApplication<QApplication>(
        argc, argv, tdOffscreenUnlessSet, [](QApplication&) { InitZeltixResources(); });
}
