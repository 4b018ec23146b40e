#pragma once

#include "platform/Windows.h"

class QObject;
class QWidget;

// What the desktop components need of the application object. The program fills it in: its
// main window, which becomes the application window. An exception leaving a component's
// message handler takes the program's one route (base/ExceptionRoute.h).

// Names the main window; the result is the application window's handle. Call it before the
// components that hook the application window are made.
HWND SetApplicationMainForm(QWidget* form);
QWidget* ApplicationMainForm();

// Whether the program shows its main window when it starts running; a tray icon that starts
// the program minimised says no.
bool ApplicationShowMainForm();
void SetApplicationShowMainForm(bool value);

// Lets the event loop deliver what is pending.
void ApplicationProcessMessages();
