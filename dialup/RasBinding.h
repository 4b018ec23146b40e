#pragma once

#include "platform/RasApi.h"
#include "platform/WinTypes.h"

#include <QString>

// The dial-up library is not linked: each of its functions is looked up by name at run time,
// in "rasapi32.dll" or, failing that, in "rnaph.dll". One binding serves the whole program:
// DialUpSeams().RasBinding (dialup/Seams.h).

// The address of the dial-up function Name (given with its ANSI suffix, "RasHangUpA"); loads
// the library on first use. Never returns nullptr: throws Exception instead.
FARPROC GetRasProc(const QString& Name);

// Lets go of "rnaph.dll" when the binding uses it; otherwise releases nothing. Runs by itself
// at program end, so the program never needs to call it.
void ReleaseRasBinding();

// The dial-up functions as the component calls them: each looks its function up through
// GetRasProc the first time for the library bound (and again after the binding was reset or
// released), and passes arguments and result through unchanged. Kept in a namespace of their own so they do
// not collide with the library's exported functions of the same names.
namespace RasBinding {

DWORD RasEnumEntriesA(
    LPCSTR Reserved, LPCSTR Phonebook, LPRASENTRYNAMEA EntryNames, LPDWORD ByteCount, LPDWORD EntryCount);
DWORD RasEnumConnectionsA(LPRASCONNA Connections, LPDWORD ByteCount, LPDWORD ConnectionCount);
DWORD RasGetConnectStatusA(HRASCONN Connection, LPRASCONNSTATUSA Status);
DWORD RasHangUpA(HRASCONN Connection);
DWORD RasGetErrorStringA(UINT ErrorValue, LPSTR ErrorString, DWORD BufferSize);

} // namespace RasBinding
