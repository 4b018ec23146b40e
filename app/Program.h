#pragma once

#include <memory>

// The program entry: the application object, the main window (whose creation runs the
// start-up), the secondary windows, and the message loop until the main window has closed.
// Returns the process's exit code.
int RunProgram(int argc, char** argv);

// Everything of the program entry after the application object has been made: the program
// folder, the main window, the secondary windows and the message loop.
// Only one program runs per program folder. A start in a folder whose program runs for the
// same user has that program show its main window and ends with exit code 0; one in a folder
// held by another user (or by a program that does not answer) says so and ends with exit
// code 1. Either way it reads and writes none of the folder's files.
// Once the folder is the program's, a logout or Ctrl+C is handled: before the windows exist
// the program ends at once, writing nothing, with exit code 0; afterwards it closes like
// "Beenden".
int ExecuteProgram();

class TForm1;

// Creates the main window, whose creation runs the start-up. When one of its components cannot
// be constructed, the runtime's "Application Error" box names the exception and nothing is
// returned: the program then ends with exit code 1 without writing any file.
std::unique_ptr<TForm1> CreateMainWindow();
