#include "platform/ShellNotify.h"

#include "base/Ansi.h"
#include "platform/NotificationAreaWatch.h"
#include "platform/Seams.h"
#include "platform/StatusNotifierItem.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace {

// The icon pictures handed to the shell and the watch for the panel: the shell's own, beside
// the area's icons.
struct TShellState {
    std::map<HICON, QIcon> IconHandles;
    HICON NextIconHandle = 0x00020000;
    // Made on the first call, owned by the application object.
    QPointer<TNotificationAreaWatch> Watch;
    // The area as the windows were last told of it.
    bool Available = false;
    uint64_t Generation = 0;
    // Numbers the StatusNotifierItems of this process.
    int NextItem = 0;
};

TShellState& Shell()
{
    static TShellState State;
    return State;
}

// Whether icons can be shown now, and whether they show in a real panel.
bool AreaAvailable()
{
    if (const std::optional<bool>& chosen = PlatformSeams().NotificationArea)
        return *chosen;
    return Shell().Watch && Shell().Watch->Kind() != akNone;
}

bool AreaIsReal()
{
    return !PlatformSeams().NotificationArea && AreaAvailable();
}

uint64_t AreaGeneration()
{
    return !PlatformSeams().NotificationArea && Shell().Watch ? Shell().Watch->Generation() : 0;
}

// The shell tells every window when its taskbar is created; a panel that starts after the
// program, or one that restarts, is the same event here.
void LookAtArea()
{
    TShellState& shell = Shell();
    const bool available = AreaAvailable();
    const uint64_t generation = AreaGeneration();
    if (available == shell.Available && generation == shell.Generation)
        return;
    const bool was = shell.Available;
    shell.Available = available;
    shell.Generation = generation;
    // The panel that was there has gone, and its icons with it.
    if (was)
        ShellNotifyArea().Icons.clear();
    if (!available)
        return;
    static const UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    PostMessageA(HWND_BROADCAST, TaskbarCreated, 0, 0);
}

// The desktop is followed from the first call on, as soon as there is an application object.
void StartWatch()
{
    TShellState& shell = Shell();
    if (shell.Watch || !QCoreApplication::instance())
        return;
    shell.Watch = new TNotificationAreaWatch(QCoreApplication::instance());
    // What the desktop offers when the program starts is no news to anyone.
    shell.Watch->Start();
    shell.Available = AreaAvailable();
    shell.Generation = AreaGeneration();
    shell.Watch->OnChanged = [](TAreaKind, TAreaKind) { LookAtArea(); };
}

TNotifyIcon* FindIcon(HWND hwnd, UINT id)
{
    auto& icons = ShellNotifyArea().Icons;
    auto it = std::find_if(
        icons.begin(), icons.end(), [&](const TNotifyIcon& icon) { return icon.Window == hwnd && icon.ID == id; });
    return it == icons.end() ? nullptr : &*it;
}

// The shell posts its notifications, so the owner handles them from the event loop.
void PostMouse(const TNotifyIcon& icon, UINT mouseMessage)
{
    if (icon.CallbackMessage)
        PostMessageA(icon.Window, icon.CallbackMessage, icon.ID, static_cast<LPARAM>(mouseMessage));
}

void Activate(HWND hwnd, UINT id, QSystemTrayIcon::ActivationReason reason)
{
    TNotifyIcon* icon = FindIcon(hwnd, id);
    if (!icon)
        return;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        PostMouse(*icon, WM_LBUTTONDOWN);
        PostMouse(*icon, WM_LBUTTONUP);
        break;
    case QSystemTrayIcon::DoubleClick:
        PostMouse(*icon, WM_LBUTTONDBLCLK);
        break;
    case QSystemTrayIcon::Context:
        PostMouse(*icon, WM_RBUTTONDOWN);
        PostMouse(*icon, WM_RBUTTONUP);
        break;
    case QSystemTrayIcon::MiddleClick:
        PostMouse(*icon, WM_MBUTTONDOWN);
        PostMouse(*icon, WM_MBUTTONUP);
        break;
    default:
        break;
    }
}

// Brings the panel's icon in line with the record: shown while it has a picture.
void Reflect(TNotifyIcon& icon)
{
    const QIcon picture = IconOfHandle(icon.Icon);
    if (icon.Tray) {
        icon.Tray->setIcon(picture);
        icon.Tray->setToolTip(AnsiToString(icon.Tip));
        icon.Tray->setVisible(!picture.isNull());
    }
    if (icon.Item) {
        icon.Item->SetIcon(picture);
        icon.Item->SetToolTip(AnsiToString(icon.Tip));
        icon.Item->SetShown(!picture.isNull());
    }
}

void Apply(TNotifyIcon& icon, const NOTIFYICONDATAA& data)
{
    if (data.uFlags & NIF_MESSAGE)
        icon.CallbackMessage = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON)
        icon.Icon = data.hIcon;
    if (data.uFlags & NIF_TIP)
        icon.Tip = std::string(data.szTip, strnlen(data.szTip, sizeof(data.szTip)));
    Reflect(icon);
}

// The panel's side of a new icon: Qt's tray icon docked into an XEmbed tray, or an item of our
// own for a StatusNotifierItem host.
void MakePanelIcon(TNotifyIcon& icon)
{
    if (!AreaIsReal())
        return;
    const HWND hwnd = icon.Window;
    const UINT id = icon.ID;
    TNotificationAreaWatch& watch = *Shell().Watch;
    if (watch.Kind() == akStatusNotifier) {
        icon.Item = std::make_shared<TStatusNotifierItem>(watch.Bus(), Shell().NextItem++);
        icon.Item->OnActivated = [hwnd, id](QSystemTrayIcon::ActivationReason reason) { Activate(hwnd, id, reason); };
        icon.Item->Register(watch.WatcherOwner());
        return;
    }
    icon.Tray = std::make_shared<QSystemTrayIcon>();
    QObject::connect(icon.Tray.get(), &QSystemTrayIcon::activated, icon.Tray.get(),
        [hwnd, id](QSystemTrayIcon::ActivationReason reason) { Activate(hwnd, id, reason); });
}

BOOL Notify(DWORD message, const NOTIFYICONDATAA& data)
{
    const HWND hwnd = WindowOfHandle32(data.hWnd);
    if (data.cbSize < sizeof(NOTIFYICONDATAA) || !IsWindow(hwnd))
        return FALSE;
    TNotifyIcon* icon = FindIcon(hwnd, data.uID);
    switch (message) {
    case NIM_ADD: {
        if (icon || !AreaAvailable())
            return FALSE;
        TNotifyIcon added;
        added.Window = hwnd;
        added.ID = data.uID;
        MakePanelIcon(added);
        Apply(added, data);
        ShellNotifyArea().Icons.push_back(std::move(added));
        return TRUE;
    }
    case NIM_MODIFY:
        if (!icon)
            return FALSE;
        Apply(*icon, data);
        return TRUE;
    case NIM_DELETE:
        if (!icon)
            return FALSE;
        std::erase_if(ShellNotifyArea().Icons, [icon](const TNotifyIcon& entry) { return &entry == icon; });
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HANDLE32 Handle32(HWND hwnd)
{
    return static_cast<HANDLE32>(reinterpret_cast<uintptr_t>(hwnd));
}

HWND WindowOfHandle32(HANDLE32 handle)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
}

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData)
{
    if (!lpData)
        return FALSE;
    StartWatch();
    const BOOL result = Notify(dwMessage, *lpData);
    TShellNotifyCall call;
    call.Message = dwMessage;
    call.Window = WindowOfHandle32(lpData->hWnd);
    call.ID = lpData->uID;
    call.Flags = lpData->uFlags;
    call.CallbackMessage = lpData->uCallbackMessage;
    call.Icon = lpData->hIcon;
    call.Tip = std::string(lpData->szTip, strnlen(lpData->szTip, sizeof(lpData->szTip)));
    call.Result = result;
    ShellNotifyArea().Calls.push_back(std::move(call));
    return result;
}

HICON CreateIconHandle(const QIcon& icon)
{
    TShellState& shell = Shell();
    const HICON handle = shell.NextIconHandle;
    shell.NextIconHandle += 4;
    shell.IconHandles[handle] = icon;
    return handle;
}

QIcon IconOfHandle(HICON icon)
{
    const auto& handles = Shell().IconHandles;
    auto it = handles.find(icon);
    return it == handles.end() ? QIcon() : it->second;
}

BOOL DestroyIcon(HICON icon)
{
    return Shell().IconHandles.erase(icon) ? TRUE : FALSE;
}

TNotificationArea& ShellNotifyArea()
{
    static TNotificationArea State;
    return State;
}

bool TNotificationArea::HasIcon(HWND hwnd, UINT id) const
{
    return std::any_of(
        Icons.begin(), Icons.end(), [&](const TNotifyIcon& icon) { return icon.Window == hwnd && icon.ID == id; });
}

BOOL TNotificationArea::SendMouse(HWND hwnd, UINT id, UINT mouseMessage) const
{
    auto it = std::find_if(
        Icons.begin(), Icons.end(), [&](const TNotifyIcon& icon) { return icon.Window == hwnd && icon.ID == id; });
    if (it == Icons.end() || !it->CallbackMessage)
        return FALSE;
    SendMessageA(hwnd, it->CallbackMessage, id, static_cast<LPARAM>(mouseMessage));
    return TRUE;
}

BOOL TNotificationArea::Activate(HWND hwnd, UINT id, QSystemTrayIcon::ActivationReason reason) const
{
    if (!HasIcon(hwnd, id))
        return FALSE;
    ::Activate(hwnd, id, reason);
    return TRUE;
}

void TNotificationArea::Reset()
{
    Icons.clear();
    Calls.clear();
    Shell().Available = AreaAvailable();
    Shell().Generation = AreaGeneration();
}

void TNotificationArea::DesktopChanged()
{
    StartWatch();
    LookAtArea();
}

BOOL SetNotifyIconMenu(HWND hwnd, UINT id, QMenu* menu)
{
    TNotifyIcon* icon = FindIcon(hwnd, id);
    if (!icon)
        return FALSE;
    icon->Menu = menu;
    if (icon->Tray)
        icon->Tray->setContextMenu(menu);
    if (icon->Item)
        icon->Item->SetMenu(menu);
    return TRUE;
}

BOOL NotifyIconOpensMenu(HWND hwnd, UINT id)
{
    const TNotifyIcon* icon = FindIcon(hwnd, id);
    return icon && icon->Menu && (icon->Tray || icon->Item) ? TRUE : FALSE;
}
