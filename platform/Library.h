#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

// Loads a library by its Windows name: "NAME.dll" is looked for as "libNAME.so" (name in lower
// case), first in the program directory, then in the installed library directory. Returns
// nullptr when no such library can be loaded.
HMODULE LoadLibraryA(LPCSTR fileName);
// The exported symbol of that exact, case-sensitive name, or nullptr.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// The folders LoadLibraryA searches, in order (TPlatformSeams::LibrarySearchPath when a test chose them).
std::vector<std::string> LibrarySearchPath();