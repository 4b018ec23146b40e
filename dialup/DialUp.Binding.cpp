#include "dialup/RasBinding.h"

#include "base/Exceptions.h"
#include "platform/Library.h"

#include <QByteArray>

HMODULE RasLibrary = nullptr;
bool RasLibraryLoaded = false;
bool RasFallbackUsed = false;

namespace {

enum TRasFunction {
    rfEnumEntries,
    rfEnumConnections,
    rfGetConnectStatus,
    rfHangUp,
    rfGetErrorString,
    rfCount
};

// The addresses found in the bound library, so a poll does not look each name up again. They
// belong to that library as bound: another library, or the fallback switched on, starts empty.
struct TBoundProcs {
    HMODULE Module = nullptr;
    bool Fallback = false;
    FARPROC Procs[rfCount] = {};
};

TBoundProcs BoundProcs;

void ForgetBoundProcs()
{
    BoundProcs = TBoundProcs{};
}

// The function's address from the binding, looked up (as GetRasProc does, with its errors)
// only the first time for the library bound.
template <typename TProc>
TProc BoundProc(TRasFunction Function, const QString& Name)
{
    if (RasLibraryLoaded && BoundProcs.Module == RasLibrary &&
        BoundProcs.Fallback == RasFallbackUsed && BoundProcs.Procs[Function])
        return reinterpret_cast<TProc>(BoundProcs.Procs[Function]);
    const FARPROC Proc = GetRasProc(Name);
    if (BoundProcs.Module != RasLibrary || BoundProcs.Fallback != RasFallbackUsed) {
        ForgetBoundProcs();
        BoundProcs.Module = RasLibrary;
        BoundProcs.Fallback = RasFallbackUsed;
    }
    BoundProcs.Procs[Function] = Proc;
    return reinterpret_cast<TProc>(Proc);
}

} // namespace

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
    ForgetBoundProcs();
    RasLibrary = nullptr;
    RasLibraryLoaded = false;
    RasFallbackUsed = false;
}

void ResetRasBindingForTests()
{
    ForgetBoundProcs();
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
    auto Proc = BoundProc<TRasEnumEntriesA>(rfEnumEntries, QStringLiteral("RasEnumEntriesA"));
    return Proc(Reserved, Phonebook, EntryNames, ByteCount, EntryCount);
}

DWORD RasEnumConnectionsA(LPRASCONNA Connections, LPDWORD ByteCount, LPDWORD ConnectionCount)
{
    auto Proc =
        BoundProc<TRasEnumConnectionsA>(rfEnumConnections, QStringLiteral("RasEnumConnectionsA"));
    return Proc(Connections, ByteCount, ConnectionCount);
}

DWORD RasGetConnectStatusA(HRASCONN Connection, LPRASCONNSTATUSA Status)
{
    auto Proc = BoundProc<TRasGetConnectStatusA>(rfGetConnectStatus,
                                                 QStringLiteral("RasGetConnectStatusA"));
    return Proc(Connection, Status);
}

DWORD RasHangUpA(HRASCONN Connection)
{
    auto Proc = BoundProc<TRasHangUpA>(rfHangUp, QStringLiteral("RasHangUpA"));
    return Proc(Connection);
}

DWORD RasGetErrorStringA(UINT ErrorValue, LPSTR ErrorString, DWORD BufferSize)
{
    auto Proc =
        BoundProc<TRasGetErrorStringA>(rfGetErrorString, QStringLiteral("RasGetErrorStringA"));
    return Proc(ErrorValue, ErrorString, BufferSize);
}

} // namespace RasBinding
