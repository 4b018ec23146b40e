#pragma once

#include "platform/Windows.h"

#include <QSystemTrayIcon>

#include <cstddef>
#include <string>
#include <vector>

class QIcon;

// The shell's notification-area icons. Each icon (window, id) is one QSystemTrayIcon; its
// activations come back to the owner window as the icon's callback message, wParam the id and
// lParam the mouse message: a click as button down then up, a double click as WM_LBUTTONDBLCLK,
// the context request as right button down then up, the middle button as down then up.
// Where the desktop has no notification area (yet), NIM_ADD fails as the shell's does when its
// taskbar is not running. The notification area is watched from the first call on: when one
// appears, or a new one takes the place of one that went away (taking its icons with it), every
// window receives the shell's "TaskbarCreated" message, so that programs add their icons again.

// Handles inside records are 32 bits wide, as in the 32-bit interface; window handles of the
// stand-in fit, icon handles come from the icon table below.
typedef DWORD HANDLE32;
typedef DWORD HICON;

HANDLE32 Handle32(HWND hwnd);
HWND WindowOfHandle32(HANDLE32 handle);

constexpr DWORD NIM_ADD = 0x00000000;
constexpr DWORD NIM_MODIFY = 0x00000001;
constexpr DWORD NIM_DELETE = 0x00000002;

constexpr UINT NIF_MESSAGE = 0x00000001;
constexpr UINT NIF_ICON = 0x00000002;
constexpr UINT NIF_TIP = 0x00000004;

// The record in its first, 88-byte form.
typedef struct _NOTIFYICONDATAA {
    DWORD cbSize;
    HANDLE32 hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[64];
} NOTIFYICONDATAA, *PNOTIFYICONDATAA;

static_assert(sizeof(NOTIFYICONDATAA) == 88);
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4);
static_assert(offsetof(NOTIFYICONDATAA, uID) == 8);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == 12);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);

// NIM_ADD fails for an icon that is already there, NIM_MODIFY and NIM_DELETE for one that is
// not; all fail for a record that is too small or a window that does not exist.
BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);

// Icon handles: a handle stands for a copy of the picture until DestroyIcon.
HICON CreateIconHandle(const QIcon& icon);
QIcon IconOfHandle(HICON icon);
BOOL DestroyIcon(HICON icon);

// One call of Shell_NotifyIconA as the program made it.
struct TShellNotifyCall {
    DWORD Message = 0;
    HWND Window = nullptr;
    UINT ID = 0;
    UINT Flags = 0;
    UINT CallbackMessage = 0;
    HICON Icon = 0;
    std::string Tip;
    BOOL Result = FALSE;
};

// Test seams: the calls made since the last clear, the icons present, a mouse message sent to
// an icon's owner as its callback message (FALSE when there is no such icon or no callback
// message), an activation as the notification area reports it, and a clean slate.
std::vector<TShellNotifyCall> ShellNotifyCallsForTests();
void ClearShellNotifyCallsForTests();
int NotifyIconCountForTests();
bool HasNotifyIconForTests(HWND hwnd, UINT id);
BOOL SendNotifyIconMouseForTests(HWND hwnd, UINT id, UINT mouseMessage);
BOOL ActivateNotifyIconForTests(HWND hwnd, UINT id, QSystemTrayIcon::ActivationReason reason);
void ResetNotifyIconsForTests();
// A test may stand in for the desktop's notification area: TPlatformSeams::NotificationArea.
// How often the watch looks for a notification area that appeared or went away.
constexpr UINT NotificationAreaWatchMs = 2000;
