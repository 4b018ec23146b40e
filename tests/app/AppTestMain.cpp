#include "app/Application.h"
#include "resources/Resources.h"
#include "tests/support/TestMain.h"

// The main window's tests need the program's own application object on the offscreen platform.
int main(int argc, char** argv)
{
    return RunTestsWithApplication<TApplication>(argc, argv, tdOffscreen, [](TApplication& app) {
        app.SetTitle(QStringLiteral("Zeltix"));
        InitZeltixResources();
    });
}
