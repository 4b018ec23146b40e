#pragma once

#include "platform/WinTypes.h"

#include <cstddef>
#include <string>

// The INI profile functions. Names and values are bytes in the ANSI code page; section and key
// names compare without regard to ASCII case. A missing file, section or key gives the default.
// Every write rewrites the file through a temporary file and a rename, so a crash never leaves
// half a file behind.

// The largest INI file the profile functions read. A real one holds a section per phonebook
// entry and a few keys, some kilobytes; this leaves a margin of thousands for sections kept by
// hand and comments, while the document held for it stays within a few times its size. A
// larger file, or one that is no regular file, reads as no file; it is never written.
constexpr std::size_t MaxProfileFileBytes = std::size_t{128} << 20;

// Why the profile functions cannot read the file, which exists; "" when they can, or when it
// does not exist (a missing file reads as an empty one). The file read stays at hand for the
// reads that follow, so asking costs no second read.
std::string ProfileReadFailure(LPCSTR fileName);

// Copies the key's value (or the default, trailing blanks removed) into the buffer, cut to fit,
// and returns the number of characters copied without the NUL. With no section name, the buffer
// receives the section names, with no key name the section's key names, each ended by a NUL and
// the list by a second NUL.
DWORD GetPrivateProfileStringA(
    LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returned, DWORD size, LPCSTR fileName);

// The value read as a decimal number (leading digits with an optional sign; 0 when there are
// none), or the default when the key is missing.
UINT GetPrivateProfileIntA(LPCSTR appName, LPCSTR keyName, int defaultValue, LPCSTR fileName);

// Writes the value; a null value deletes the key, a null key name deletes the whole section.
// Returns FALSE when the file cannot be written.
BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName);
