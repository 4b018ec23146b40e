#pragma once

#include "platform/Windows.h"

#include <functional>

class QObject;
class QWidget;

// What the desktop components need of the application object. The program fills it in: its
// main window, which becomes the application window, and the handler that takes an exception
// leaving a component's message handler.

// Names the main window; the result is the application window's handle. Call it before the
// components that hook the application window are made.
HWND SetApplicationMainForm(QWidget* form);
QWidget* ApplicationMainForm();

// Whether the program shows its main window when it starts running; a tray icon that starts
// the program minimised says no.
bool ApplicationShowMainForm();
void SetApplicationShowMainForm(bool value);

// Hands the exception being handled (call it inside a catch block) to the application's
// handler. Without a handler the message goes to the debug output.
using TApplicationExceptionHook = std::function<void(QObject* sender)>;
void SetApplicationExceptionHook(TApplicationExceptionHook hook);
void HandleApplicationException(QObject* sender) noexcept;

// Lets the event loop deliver what is pending.
void ApplicationProcessMessages();
