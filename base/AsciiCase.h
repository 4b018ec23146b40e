#pragma once

#include <string_view>

// Names that Windows compares without regard to case but only for the ASCII letters: INI
// section and key names, registry names, command-line switches. Every other byte, the letters
// of the ANSI code page above 0x7F included, compares as it is. (Entry names of the dial-up
// service fold those letters too: SameEntryName in ras/service/Phonebook.h.)
char LowerAscii(char c);
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);
