#pragma once

#include <QString>

#include <functional>

class Exception;
class QObject;

// The one route of an exception that leaves a handler Qt calls directly (a slot, an event
// override, a window procedure, a timer): it ends in the program's exception handler instead of
// crossing the event loop. The application object installs the handler, which writes error.log
// or shows the message; without one (a tool, a test) the message goes to the debug output.
using TExceptionHandler = std::function<void(QObject* Sender, const Exception& E)>;

// Installs the handler and returns the one it replaces.
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);

// Hands the exception being handled (call it inside a catch block) to the handler. Any
// exception counts: one that is no Exception is handed on with its text, or as "Unknown
// exception". Nothing leaves this function, not even a failure of the handler itself.
void HandleCurrentException(QObject* sender) noexcept;

// The message of the exception being handled (call it inside a catch block): an Exception's
// message, another exception's text, or "Unknown exception".
QString CurrentExceptionMessage() noexcept;

// Runs a handler; whatever it raises takes the route above, so the failing handler stops and the
// program carries on.
template <class F>
void RunGuarded(QObject* sender, F&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        HandleCurrentException(sender);
    }
}
