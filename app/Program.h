#pragma once

#include <memory>

// The program entry: the application object, the main window (whose creation runs the
// start-up), the secondary windows, and the message loop until the main window has closed.
// Returns the process's exit code.
int RunProgram(int argc, char** argv);

// Everything of the program entry after the application object has been made: the main window,
// the secondary windows and the message loop. A logout or Ctrl+C is handled from the first
// moment: before the windows exist the program ends at once, writing nothing, with exit code 0;
// afterwards it closes like "Beenden".
int ExecuteProgram();

class TForm1;

// Creates the main window, whose creation runs the start-up. When one of its components cannot
// be constructed, the runtime's "Application Error" box names the exception and nothing is
// returned: the program then ends with exit code 1 without writing any file.
std::unique_ptr<TForm1> CreateMainWindow();
