#include "desktop/DesktopApplication.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget> MainForm;
bool ShowMainForm = true;

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

void ApplicationProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
