#include "app/Application.h"

#include "app/Dialogs.h"
#include "base/Exceptions.h"
#include "widgets/Graphics.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    SubstituteLayoutFonts();
}

TApplication::~TApplication() = default;

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

void TApplication::HandleCurrentException(QObject* sender) noexcept
{
    try {
        try {
            throw;
        } catch (const Exception& e) {
            HandleException(sender, e);
        } catch (const std::exception& e) {
            HandleException(sender, Exception(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            HandleException(sender, Exception(QStringLiteral("Unknown exception")));
        }
    } catch (...) {
        // The handler itself failed (for instance error.log cannot be written): nothing is
        // left to tell, and the event loop must go on.
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
