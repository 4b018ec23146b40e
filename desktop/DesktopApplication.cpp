#include "desktop/DesktopApplication.h"

#include "base/Exceptions.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <QtDebug>

namespace {

QPointer<QWidget> MainForm;
bool ShowMainForm = true;

TApplicationExceptionHook& ExceptionHook()
{
    static TApplicationExceptionHook Hook;
    return Hook;
}

} // namespace

HWND SetApplicationMainForm(QWidget* form)
{
    MainForm = form;
    return SetApplicationWindow(form);
}

QWidget* ApplicationMainForm()
{
    return MainForm.data();
}

bool ApplicationShowMainForm()
{
    return ShowMainForm;
}

void SetApplicationShowMainForm(bool value)
{
    ShowMainForm = value;
}

void SetApplicationExceptionHook(TApplicationExceptionHook hook)
{
    ExceptionHook() = std::move(hook);
}

void HandleApplicationException(QObject* sender) noexcept
{
    try {
        if (ExceptionHook()) {
            ExceptionHook()(sender);
            return;
        }
        throw;
    } catch (const Exception& e) {
        qWarning("%s", qUtf8Printable(e.Message()));
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("unknown exception");
    }
}

void ApplicationProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
