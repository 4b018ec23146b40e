#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <functional>

class QWidget;

// Windows for components. A hidden window is a handle bound to a handler method and lives on the
// Qt event loop; it has no screen presence. A widget's window (the application window above all)
// is a handle bound to a top-level QWidget: showing and hiding it shows and hides the widget, and
// its minimise reaches the window's procedure as WM_SIZE with SIZE_MINIMIZED (posted, so it
// arrives from the event loop once the minimise is complete). Every window has a
// window procedure that GetWindowLongA/SetWindowLongA(GWL_WNDPROC) read and replace.

typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

typedef int16_t SHORT;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_USER = 0x0400;

// WM_SIZE's wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;

constexpr int GWL_WNDPROC = -4;

// ShowWindow commands; the shell's ShellExecuteA takes them too.
constexpr INT SW_HIDE = 0;
constexpr INT SW_SHOWNORMAL = 1;
constexpr INT SW_SHOWMINIMIZED = 2;
constexpr INT SW_SHOW = 5;
constexpr INT SW_MINIMIZE = 6;
constexpr INT SW_RESTORE = 9;

constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;
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

// A window procedure is a 32-bit number, as a code address is in the 32-bit interface, so it
// travels through GetWindowLongA/SetWindowLongA unchanged. MakeObjectInstance makes one that
// calls a handler method.
typedef LONG WNDPROC;
WNDPROC MakeObjectInstance(TWndMethod method);
// The procedure stays callable until a call that is running through it has returned.
void FreeObjectInstance(WNDPROC procedure);
LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// What a window does with a message that its procedure leaves alone: nothing, since the toolkit
// already does it; WM_QUERYENDSESSION answers 1.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LONG GetWindowLongA(HWND hwnd, int index);
// Only GWL_WNDPROC is kept; the result is the previous value, or 0 for an invalid window.
LONG SetWindowLongA(HWND hwnd, int index, LONG newLong);

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
// Queues the message for the window: it arrives from the event loop, unless the window has gone
// by then. FALSE for an invalid window or when there is no event loop. HWND_BROADCAST queues it
// for every window there is.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFF)))
// The same number for the same name (compared without regard to case), from 0xC000 up.
UINT RegisterWindowMessageA(LPCSTR name);

// The window of a widget: the widget's top-level window, bound to a handle the first time it is
// asked for. The handle lives as long as the widget; its procedure is DefWindowProcA.
HWND WidgetWindow(QWidget* widget);
// The widget behind a widget's window, or null.
QWidget* WindowWidget(HWND hwnd);
// The program names its main window's top-level widget as the application window, the window
// that carries the taskbar button; the result is its handle.
HWND SetApplicationWindow(QWidget* widget);
// The application window, or null before the program has named one or after it has gone.
HWND ApplicationWindow();

// SW_HIDE hides the widget with its taskbar button, SW_SHOWNORMAL and SW_RESTORE show it in its
// normal state, SW_SHOW shows it as it was, SW_MINIMIZE and SW_SHOWMINIMIZED minimise it. The
// result tells whether the window was visible before; hidden windows have nothing to show.
// The application window owns the program's other windows: hiding or minimising it takes those
// on screen out of sight with it, and showing or restoring it brings them back.
BOOL ShowWindow(HWND hwnd, INT cmdShow);
BOOL IsWindowVisible(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
// The window last brought to the foreground while it still exists, otherwise the window of the
// active widget, or null.
HWND GetForegroundWindow();
BOOL GetCursorPos(LPPOINT point);
// Negative while the key is down; only VK_SHIFT, VK_CONTROL and VK_MENU are known.
SHORT GetKeyState(int virtKey);

// Starts or restarts timer idEvent of the window: every elapse milliseconds (at least
// USER_TIMER_MINIMUM) the window receives WM_TIMER with WParam = idEvent. Timer procedures are
// not supported: timerFunc must be null. Returns idEvent, or 0 for an invalid window or id 0.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapse, void* timerFunc);
BOOL KillTimer(HWND hwnd, UINT_PTR idEvent);

// Runs the message loop for up to the given milliseconds: the thread sleeps until a message
// comes, handles it, and sleeps again. Ends early with FALSE once the program's main loop has
// been told to end, so a wait that handles messages never keeps the program alive.
BOOL WaitAndProcessMessages(DWORD milliseconds);
