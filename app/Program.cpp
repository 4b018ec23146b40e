#include "app/Program.h"

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/ZeltixFrm.h"
#include "base/Exceptions.h"
#include "desktop/DesktopApplication.h"
#include "desktop/abfComponents.h"
#include "platform/DisplayLoss.h"
#include "platform/ProgramDir.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"
#include "resources/Resources.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <memory>
#include <sys/stat.h>

namespace {

// The runtime's own box for a failure that happens before the program's handler is installed.
void ShowApplicationError(const QString& className, const QString& message)
{
    ShowMessageBox(QStringLiteral("Exception %1 in module zeltix.\n%2").arg(className, message),
        QStringLiteral("Application Error"), TMessageIcon::miError, TMessageButtons::mbOk);
}

// What stands in a file's place, as the message names it.
QString FileKindName(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return QStringLiteral("ein Ordner");
    case S_IFLNK:
        return QStringLiteral("eine Verknüpfung");
    case S_IFIFO:
        return QStringLiteral("eine benannte Pipe (FIFO)");
    case S_IFCHR:
    case S_IFBLK:
        return QStringLiteral("eine Gerätedatei");
    case S_IFSOCK:
        return QStringLiteral("ein Socket");
    default:
        return QStringLiteral("etwas anderes");
    }
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
    return ExecuteProgram();
}

int ExecuteProgram()
{
    // One program per program folder, or two would each save their own copies of its files.
    // A later start shows the running program's window, as the tray menu's "Show" does, and
    // ends before it has read or written anything. One that comes while the windows are still
    // being made is answered once they exist.
    TForm1* running = nullptr;
    bool showWhenRunning = false;
    TSingleInstance instance(ProgramDir());
    instance.OnShowRequest = [&running, &showWhenRunning] {
        if (running)
            running->abfTrayIcon1->ShowApplication();
        else
            showWhenRunning = true;
    };
    switch (instance.Claim()) {
    case TInstanceClaim::icFirst:
        break;
    case TInstanceClaim::icHandedOver:
        return 0;
    case TInstanceClaim::icLockUnusable:
        ShowMessageBox(QStringLiteral("Zeltix kann in diesem Programmordner nicht starten: %1 ist %2 und keine "
                                      "gewöhnliche Datei. Entfernen Sie es, dann startet Zeltix wieder.")
                           .arg(TSingleInstance::LockFileName(), FileKindName(instance.LockFileMode())),
            QStringLiteral("Zeltix"), TMessageIcon::miError, TMessageButtons::mbOk);
        return 1;
    case TInstanceClaim::icHeldByAnother:
        ShowMessageBox(QStringLiteral("Zeltix läuft bereits für diesen Programmordner (unter einem anderen "
                                      "Benutzer) und kann hier nicht ein zweites Mal gestartet werden."),
            QStringLiteral("Zeltix"), TMessageIcon::miError, TMessageButtons::mbOk);
        return 1;
    }

    // A desktop logout (SIGTERM) or Ctrl+C may come while the start-up still asks its question:
    // the question's loop then ends, the start-up finishes without anything more to ask, and
    // the program ends before its message loop. Once the windows exist, it closes like "Beenden".
    bool endedDuringStartUp = false;
    TTerminationHandler termination([&running, &endedDuringStartUp] {
        if (running) {
            running->close();
            return;
        }
        endedDuringStartUp = true;
        QCoreApplication::exit(0);
    });

    // The display going away ends the process without a close: the files are written first.
    // So they are when the desktop's session manager asks its programs to save.
    TDisplayLossHandler displayLoss([&running] {
        if (running)
            running->CommitData();
    });

    std::unique_ptr<TForm1> form = CreateMainWindow();
    if (!form)
        return 1;
    if (endedDuringStartUp)
        return 0;
    running = form.get();
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, form.get(), [&running](QSessionManager&) {
        if (running)
            running->CommitData();
    });
    // The tray icon may have asked for the program to start hidden in the notification area.
    if (ApplicationShowMainForm())
        form->show();
    if (showWhenRunning)
        form->abfTrayIcon1->ShowApplication();
    return QCoreApplication::exec();
}
