#pragma once

#include "platform/Windows.h"

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QIcon;
class TStatusNotifierItem;

// The shell's notification-area icons. Each icon (window, id) is one QSystemTrayIcon; its
// activations come back to the owner window as the icon's callback message, wParam the id and
// lParam the mouse message: a click as button down then up, a double click as WM_LBUTTONDBLCLK,
// the context request as right button down then up, the middle button as down then up.
// The icon shows in an XEmbed tray through Qt's tray icon, or, where the session bus has a
// StatusNotifierItem host (KDE, GNOME with AppIndicator, most Wayland desktops), as an item of
// this process on the bus.
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

// One icon in the notification area. The panel's icon is shared by copies of the record, so a
// saved copy of the area shows the same icon when it is put back.
struct TNotifyIcon {
    HWND Window = nullptr;
    UINT ID = 0;
    UINT CallbackMessage = 0;
    HICON Icon = 0;
    std::string Tip;
    // The panel's icon, only where the desktop has a notification area: Qt's tray icon in an
    // XEmbed tray, or an item for a StatusNotifierItem host.
    std::shared_ptr<QSystemTrayIcon> Tray;
    std::shared_ptr<TStatusNotifierItem> Item;
    // The menu the panel opens itself.
    QPointer<QMenu> Menu;
};

// The shell's notification area of this process: its icons and every call of Shell_NotifyIconA
// in order. All user-interface work runs on one thread, so it needs no lock. A test saves it
// and puts it back whole (TSeamScope), and acts as the shell and the user through it.
struct TNotificationArea {
    std::vector<TNotifyIcon> Icons;
    std::vector<TShellNotifyCall> Calls;

    int IconCount() const { return static_cast<int>(Icons.size()); }
    bool HasIcon(HWND hwnd, UINT id) const;
    // Sends mouseMessage to the icon's owner as its callback message; FALSE when there is no
    // such icon or it has no callback message.
    BOOL SendMouse(HWND hwnd, UINT id, UINT mouseMessage) const;
    // An activation as the notification area reports it; FALSE when there is no such icon.
    BOOL Activate(HWND hwnd, UINT id, QSystemTrayIcon::ActivationReason reason) const;
    // No icons and no calls, and the watch takes the desktop's area as it is now for granted.
    void Reset();
    // Looks at the desktop's area at once, as its announcements make the watch do; for a test
    // that has changed TPlatformSeams::NotificationArea.
    void DesktopChanged();
};
TNotificationArea& ShellNotifyArea();

// A test may stand in for the desktop's notification area: TPlatformSeams::NotificationArea.

// Hands the icon's context menu to the notification area, which opens it itself: a
// StatusNotifierItem host draws it from com.canonical.dbusmenu, an XEmbed tray has Qt pop it up
// at the icon. The owner still hears the right click, but must not open the menu a second
// time. FALSE when there is no such icon.
BOOL SetNotifyIconMenu(HWND hwnd, UINT id, QMenu* menu);
// Whether the notification area opens the icon's menu itself.
BOOL NotifyIconOpensMenu(HWND hwnd, UINT id);
