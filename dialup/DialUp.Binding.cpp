#include "dialup/RasBinding.h"

#include "base/Exceptions.h"
#include "dialup/Seams.h"
#include "platform/Library.h"

#include <QByteArray>

#include <tuple>

namespace {

enum TRasFunction { rfEnumEntries, rfEnumConnections, rfGetConnectStatus, rfHangUp, rfGetErrorString, rfCount };

static_assert(rfCount == std::tuple_size_v<decltype(TRasBindingState::Procs)>);

TRasBindingState& Binding()
{
    return DialUpSeams().RasBinding;
}

void ForgetBoundProcs()
{
    TRasBindingState& State = Binding();
    State.ProcsLibrary = nullptr;
    State.ProcsFallback = false;
    State.Procs = {};
}

// The function's address from the binding, looked up (as GetRasProc does, with its errors)
// only the first time for the library bound.
template <typename TProc>
TProc BoundProc(TRasFunction Function, const QString& Name)
{
    TRasBindingState& State = Binding();
    if (State.Loaded && State.ProcsLibrary == State.Library && State.ProcsFallback == State.FallbackUsed &&
        State.Procs[Function])
        return reinterpret_cast<TProc>(State.Procs[Function]);
    const FARPROC Proc = GetRasProc(Name);
    if (State.ProcsLibrary != State.Library || State.ProcsFallback != State.FallbackUsed) {
        ForgetBoundProcs();
        State.ProcsLibrary = State.Library;
        State.ProcsFallback = State.FallbackUsed;
    }
    State.Procs[Function] = Proc;
    return reinterpret_cast<TProc>(Proc);
}

} // namespace

FARPROC GetRasProc(const QString& Name)
{
    const QByteArray Bare = Name.toLatin1();
    const QByteArray Suffixed = Bare + 'A';
    FARPROC Proc = nullptr;
    TRasBindingState& State = Binding();

    if (!State.Loaded) {
        // Nothing of a failed attempt is kept: every call starts over until a function is found.
        State.Library = LoadLibraryA("rasapi32.dll");
        if (!State.Library)
            throw Exception(QStringLiteral("Error opening rasapi.dll"));
        Proc = GetProcAddress(State.Library, Suffixed.constData());
        if (!Proc)
            Proc = GetProcAddress(State.Library, Bare.constData());
        if (Proc) {
            State.Loaded = true;
            return Proc;
        }
        // Older systems keep the functions in "rnaph.dll". "rasapi32.dll" stays loaded.
        State.Library = LoadLibraryA("rnaph.dll");
        if (!State.Library)
            throw Exception(QStringLiteral("Error opening rnaph.dll"));
        Proc = GetProcAddress(State.Library, Bare.constData());
        if (!Proc)
            throw Exception(QStringLiteral("Function ") + Name + QStringLiteral(" not found!"));
        State.Loaded = true;
        State.FallbackUsed = true;
        return Proc;
    }

    if (State.FallbackUsed) {
        Proc = GetProcAddress(State.Library, Bare.constData());
    } else {
        Proc = GetProcAddress(State.Library, Suffixed.constData());
        if (!Proc)
            Proc = GetProcAddress(State.Library, Bare.constData());
    }
    if (!Proc)
        throw Exception(QStringLiteral("Function ") + Name + QStringLiteral(" not found!"));
    return Proc;
}

void ReleaseRasBinding()
{
    TRasBindingState& State = Binding();
    if (!State.Loaded || !State.FallbackUsed)
        return;
    FreeLibrary(State.Library);
    // The handle is gone; a later call binds afresh instead of using it.
    ForgetBoundProcs();
    State.Library = nullptr;
    State.Loaded = false;
    State.FallbackUsed = false;
}

namespace {

// Program end releases the fallback library, whoever bound it.
struct TRasBindingRelease {
    ~TRasBindingRelease() { ReleaseRasBinding(); }
} RasBindingRelease;

} // namespace

namespace RasBinding {

DWORD RasEnumEntriesA(
    LPCSTR Reserved, LPCSTR Phonebook, LPRASENTRYNAMEA EntryNames, LPDWORD ByteCount, LPDWORD EntryCount)
{
    auto Proc = BoundProc<TRasEnumEntriesA>(rfEnumEntries, QStringLiteral("RasEnumEntriesA"));
    return Proc(Reserved, Phonebook, EntryNames, ByteCount, EntryCount);
}

DWORD RasEnumConnectionsA(LPRASCONNA Connections, LPDWORD ByteCount, LPDWORD ConnectionCount)
{
    auto Proc = BoundProc<TRasEnumConnectionsA>(rfEnumConnections, QStringLiteral("RasEnumConnectionsA"));
    return Proc(Connections, ByteCount, ConnectionCount);
}

DWORD RasGetConnectStatusA(HRASCONN Connection, LPRASCONNSTATUSA Status)
{
    auto Proc = BoundProc<TRasGetConnectStatusA>(rfGetConnectStatus, QStringLiteral("RasGetConnectStatusA"));
    return Proc(Connection, Status);
}

DWORD RasHangUpA(HRASCONN Connection)
{
    auto Proc = BoundProc<TRasHangUpA>(rfHangUp, QStringLiteral("RasHangUpA"));
    return Proc(Connection);
}

DWORD RasGetErrorStringA(UINT ErrorValue, LPSTR ErrorString, DWORD BufferSize)
{
    auto Proc = BoundProc<TRasGetErrorStringA>(rfGetErrorString, QStringLiteral("RasGetErrorStringA"));
    return Proc(ErrorValue, ErrorString, BufferSize);
}

} // namespace RasBinding
