#pragma once

#include <functional>

class QObject;

// The reports' handlers that Qt calls directly (a window's show event, the log viewer's
// creation) run inside this guard, so that whatever they raise reaches the program's exception
// handler instead of crossing the event loop. The handlers themselves catch nothing.
using TReportGuard = std::function<void(QObject* Sender, const std::function<void()>& Handler)>;

// The program installs its guard once at start (it hands the exception to its error log);
// an empty guard restores the default, which writes the message as a warning and carries on.
void SetReportGuard(TReportGuard guard);

// Runs handler inside the installed guard.
void RunReportHandler(QObject* sender, const std::function<void()>& handler);
