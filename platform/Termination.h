#pragma once

#include <functional>

class QObject;

// A desktop logout or Ctrl+C ends a process with SIGTERM or SIGINT. The program treats either
// like its own "close" command: the signal is turned into a call of onTerminate on the event
// loop (never inside the signal handler), so the normal shutdown writes every file. A second
// signal while the first is still being handled is ignored. Only one handler is installed;
// installing again replaces it. The handler lives as long as context.
void InstallTerminationHandler(QObject* context, std::function<void()> onTerminate);
