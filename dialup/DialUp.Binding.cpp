#include "dialup/RasBinding.h"

#include "base/Exceptions.h"
#include "platform/Library.h"

#include <QByteArray>

HMODULE RasLibrary = nullptr;
bool RasLibraryLoaded = false;
bool RasFallbackUsed = false;

FARPROC GetRasProc(const QString& Name)
{
    const QByteArray Bare = Name.toLatin1();
    const QByteArray Suffixed = Bare + 'A';
    FARPROC Proc = nullptr;

    if (!RasLibraryLoaded) {
        // Nothing of a failed attempt is kept: every call starts over until a function is found.
        RasLibrary = LoadLibraryA("rasapi32.dll");
        if (!RasLibrary)
            throw Exception(QStringLiteral("Error opening rasapi.dll"));
        Proc = GetProcAddress(RasLibrary, Suffixed.constData());
        if (!Proc)
            Proc = GetProcAddress(RasLibrary, Bare.constData());
        if (Proc) {
            RasLibraryLoaded = true;
            return Proc;
        }
        // Older systems keep the functions in "rnaph.dll". "rasapi32.dll" stays loaded.
        RasLibrary = LoadLibraryA("rnaph.dll");
        if (!RasLibrary)
            throw Exception(QStringLiteral("Error opening rnaph.dll"));
        Proc = GetProcAddress(RasLibrary, Bare.constData());
        if (!Proc)
            throw Exception(QStringLiteral("Function ") + Name + QStringLiteral(" not found!"));
        RasLibraryLoaded = true;
        RasFallbackUsed = true;
        return Proc;
    }

    if (RasFallbackUsed) {
        Proc = GetProcAddress(RasLibrary, Bare.constData());
    } else {
        Proc = GetProcAddress(RasLibrary, Suffixed.constData());
        if (!Proc)
            Proc = GetProcAddress(RasLibrary, Bare.constData());
    }
    if (!Proc)
        throw Exception(QStringLiteral("Function ") + Name + QStringLiteral(" not found!"));
    return Proc;
}

void ReleaseRasBinding()
{
    if (!RasLibraryLoaded || !RasFallbackUsed)
        return;
    FreeLibrary(RasLibrary);
    // The handle is gone; a later call binds afresh instead of using it.
    RasLibrary = nullptr;
    RasLibraryLoaded = false;
    RasFallbackUsed = false;
}

void ResetRasBindingForTests()
{
    RasLibrary = nullptr;
    RasLibraryLoaded = false;
    RasFallbackUsed = false;
}

namespace {

// Program end releases the fallback library, whoever bound it.
struct TRasBindingRelease {
    ~TRasBindingRelease() { ReleaseRasBinding(); }
} RasBindingRelease;

} // namespace

namespace RasBinding {

DWORD RasEnumEntriesA(LPCSTR Reserved, LPCSTR Phonebook, LPRASENTRYNAMEA EntryNames,
                      LPDWORD ByteCount, LPDWORD EntryCount)
{
    auto Proc = reinterpret_cast<TRasEnumEntriesA>(GetRasProc(QStringLiteral("RasEnumEntriesA")));
    return Proc(Reserved, Phonebook, EntryNames, ByteCount, EntryCount);
}

DWORD RasEnumConnectionsA(LPRASCONNA Connections, LPDWORD ByteCount, LPDWORD ConnectionCount)
{
    auto Proc =
        reinterpret_cast<TRasEnumConnectionsA>(GetRasProc(QStringLiteral("RasEnumConnectionsA")));
    return Proc(Connections, ByteCount, ConnectionCount);
}

DWORD RasGetConnectStatusA(HRASCONN Connection, LPRASCONNSTATUSA Status)
{
    auto Proc = reinterpret_cast<TRasGetConnectStatusA>(
        GetRasProc(QStringLiteral("RasGetConnectStatusA")));
    return Proc(Connection, Status);
}

DWORD RasHangUpA(HRASCONN Connection)
{
    auto Proc = reinterpret_cast<TRasHangUpA>(GetRasProc(QStringLiteral("RasHangUpA")));
    return Proc(Connection);
}

DWORD RasGetErrorStringA(UINT ErrorValue, LPSTR ErrorString, DWORD BufferSize)
{
    auto Proc =
        reinterpret_cast<TRasGetErrorStringA>(GetRasProc(QStringLiteral("RasGetErrorStringA")));
    return Proc(ErrorValue, ErrorString, BufferSize);
}

} // namespace RasBinding
