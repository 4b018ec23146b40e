#include "app/Application.h"

#include "app/Dialogs.h"
#include "base/ExceptionRoute.h"
#include "base/Exceptions.h"
#include "widgets/Graphics.h"

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    SubstituteLayoutFonts();
    // Menus and other windows of their own (the notification area's menu, message boxes) take
    // the application's font, not their owner's: one font for all of them, as for the windows.
    setFont(LayoutFont());
    SetExceptionHandler([](QObject* sender, const Exception& e) { HandleException(sender, e); });
}

TApplication::~TApplication()
{
    SetExceptionHandler({});
}

TApplication* Application()
{
    return static_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::SetTitle(const QString& title)
{
    FTitle = title;
    setApplicationName(title);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException(receiver);
        return false;
    }
}

void TApplication::HandleException(QObject* sender, const Exception& e)
{
    TApplication* app = Application();
    if (app && app->OnException) {
        app->OnException(sender, e);
        return;
    }
    ShowMessageBox(e.Message(), app ? app->Title() : QString(), TMessageIcon::miError, TMessageButtons::mbOk);
}
