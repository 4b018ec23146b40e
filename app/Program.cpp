#include "app/Program.h"

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/ZeltixFrm.h"
#include "base/Exceptions.h"
#include "desktop/DesktopApplication.h"
#include "platform/Termination.h"
#include "resources/Resources.h"

#include <memory>

namespace {

// The runtime's own box for a failure that happens before the program's handler is installed.
void ShowApplicationError(const QString& className, const QString& message)
{
    ShowMessageBox(QStringLiteral("Exception %1 in module zeltix.\n%2").arg(className, message),
                   QStringLiteral("Application Error"), TMessageIcon::Error, TMessageButtons::Ok);
}

} // namespace

std::unique_ptr<TForm1> CreateMainWindow()
{
    try {
        return std::make_unique<TForm1>();
    } catch (const Exception& e) {
        ShowApplicationError(QString::fromLatin1(e.ClassName()), e.Message());
    } catch (const std::exception& e) {
        ShowApplicationError(QStringLiteral("Exception"), QString::fromLocal8Bit(e.what()));
    }
    return nullptr;
}

int RunProgram(int argc, char** argv)
{
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Zeltix"));
    app.setQuitOnLastWindowClosed(false);
    InitZeltixResources();

    std::unique_ptr<TForm1> form = CreateMainWindow();
    if (!form)
        return 1;
    // A desktop logout (SIGTERM) or Ctrl+C closes the program like "Beenden".
    InstallTerminationHandler(form.get(), [&form] { form->close(); });
    // The tray icon may have asked for the program to start hidden in the notification area.
    if (ApplicationShowMainForm())
        form->show();
    return app.exec();
}
