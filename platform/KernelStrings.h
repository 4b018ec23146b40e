#pragma once

#include "platform/WinTypes.h"

// Compares two ANSI strings in the user's locale, with regard to case: negative, 0 or positive.
int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
