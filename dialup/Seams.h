#pragma once

#include "platform/WinTypes.h"

#include <array>

// The binding of the dial-up library: which library the functions are looked up in, and the
// addresses already found there. One binding serves the whole program.
struct TRasBindingState {
    // The library the functions are looked up in.
    HMODULE Library = nullptr;
    // Set once a first function has been found; from then on the library is not loaded again.
    bool Loaded = false;
    // Set when the functions come from "rnaph.dll".
    bool FallbackUsed = false;

    // The addresses found, so a poll does not look each name up again. They belong to the
    // library and fallback they were found under: another library, or the fallback switched
    // on, starts empty.
    HMODULE ProcsLibrary = nullptr;
    bool ProcsFallback = false;
    std::array<FARPROC, 5> Procs{};
};

// What every TDialUp of the program shares. Kept in one object so that a test can start from
// the program's start (assigning {}) and put back what it found.
struct TDialUpSeams {
    TRasBindingState RasBinding;
    // Size of the buffer for the performance data, shared by every TDialUp: 0 until the first
    // read, then 8192, grown by 1024 whenever the platform answers that more data is waiting,
    // never shrunk.
    DWORD PerfDataBufferSize = 0;
};

TDialUpSeams& DialUpSeams();
