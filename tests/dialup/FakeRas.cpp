// A dial-up library that exports only what its build asks for. Every function answers with
// FAKE_BASE plus a number of its own, so a test sees which library and which name it reached.

#include "ras/service/RasRecords.h"

#include <cstdio>
#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

// Every library needs at least one symbol, whatever else it lacks.
FAKE_EXPORT int FakeRasBase()
{
    return FAKE_BASE;
}

#ifdef FAKE_ENUM_ENTRIES
FAKE_EXPORT DWORD RasEnumEntriesA(LPCSTR, LPCSTR, LPRASENTRYNAMEA names, LPDWORD cb, LPDWORD count)
{
    *count = 1;
    *cb = sizeof(RASENTRYNAMEA);
    std::strcpy(names[0].szEntryName, FAKE_LIBRARY);
    return FAKE_BASE + 1;
}
#endif

#ifdef FAKE_ENUM_CONNECTIONS
FAKE_EXPORT DWORD RasEnumConnectionsA(LPRASCONNA, LPDWORD, LPDWORD)
{
    return FAKE_BASE + 2;
}
#endif

#ifdef FAKE_ENUM_CONNECTIONS_AA
FAKE_EXPORT DWORD RasEnumConnectionsAA(LPRASCONNA, LPDWORD, LPDWORD)
{
    return FAKE_BASE + 52;
}
#endif

#ifdef FAKE_GET_CONNECT_STATUS
FAKE_EXPORT DWORD RasGetConnectStatusA(HRASCONN handle, LPRASCONNSTATUSA status)
{
    status->dwError = handle;
    return FAKE_BASE + 3;
}
#endif

#ifdef FAKE_HANG_UP
FAKE_EXPORT DWORD RasHangUpA(HRASCONN handle)
{
    return FAKE_BASE + 4 + handle;
}
#endif

#ifdef FAKE_HANG_UP_AA
FAKE_EXPORT DWORD RasHangUpAA(HRASCONN handle)
{
    return FAKE_BASE + 54 + handle;
}
#endif

#ifdef FAKE_GET_ERROR_STRING
// Knows only error 678; its text carries the arguments and an ANSI (Windows-1252) byte.
FAKE_EXPORT DWORD RasGetErrorStringA(UINT error, LPSTR text, DWORD size)
{
    if (error != 678)
        return 87;
    std::snprintf(text, size, "%s error %u size %u caf\xE9", FAKE_LIBRARY, error, size);
    return 0;
}
#endif
