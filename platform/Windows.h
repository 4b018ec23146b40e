#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <functional>

// Hidden windows for non-visual components. A window is a handle bound to a handler method and
// lives on the Qt event loop; it has no screen presence. What exists so far: AllocateHWnd with a
// window class name, DeallocateHWnd, IsWindow, GetClassNameA, SendMessageA and window timers
// (SetTimer/KillTimer delivering WM_TIMER). Posted messages, window longs and the application
// window belong beside these, in this header, when a component needs them.

// Window handles are opaque pointers wherever the platform declares them; repeating the same
// typedef is harmless.
typedef void* HWND;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
// Windows raises shorter timer intervals to this many milliseconds.
constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;

// A message as a window's handler method receives it; Result goes back to the sender.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

using TWndMethod = std::function<void(TMessage&)>;

// A hidden window of the given class that hands every message to method. Handles are never
// reused, so a stale handle stays invalid.
HWND AllocateHWnd(TWndMethod method, const char* className = "TPUtilWindow");
// Destroys the window and its timers; a message or timer already on its way is dropped.
void DeallocateHWnd(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// Copies the window's class name (cut to maxCount - 1 characters); the result is its length, or
// 0 for an invalid window.
int GetClassNameA(HWND hwnd, LPSTR className, int maxCount);
// Calls the window's handler at once and returns its Result; 0 for an invalid window.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Starts or restarts timer idEvent of the window: every elapse milliseconds (at least
// USER_TIMER_MINIMUM) the window receives WM_TIMER with WParam = idEvent. Timer procedures are
// not supported: timerFunc must be null. Returns idEvent, or 0 for an invalid window or id 0.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapse, void* timerFunc);
BOOL KillTimer(HWND hwnd, UINT_PTR idEvent);
