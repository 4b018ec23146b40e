#pragma once

#include <QString>

// The full path of the running executable.
QString ExeName();
// The folder of the running executable, ending with exactly one separator; every data file of
// the program is this folder joined with the file's name.
QString ProgramDir();
