#pragma once

// The program entry: the application object, the main window (whose creation runs the
// start-up), the secondary windows, and the message loop until the main window has closed.
// Returns the process's exit code.
int RunProgram(int argc, char** argv);
