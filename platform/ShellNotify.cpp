#include "platform/ShellNotify.h"

#include "base/Ansi.h"
#include "platform/Seams.h"
#include "platform/Timer.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace {

// Whether icons can be shown now, and whether they show in a real panel.
bool AreaAvailable()
{
    if (const std::optional<bool>& chosen = PlatformSeams().NotificationArea)
        return *chosen;
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && QSystemTrayIcon::isSystemTrayAvailable();
}

bool AreaIsReal()
{
    return !PlatformSeams().NotificationArea && AreaAvailable();
}

// Looks for the notification area every few seconds. The shell tells every window when its
// taskbar is created; a panel that starts after the program, or one that restarts, is the same
// event here.
class TAreaWatch {
public:
    void Start()
    {
        if (FTimer || !QCoreApplication::instance())
            return;
        FAvailable = AreaAvailable();
        FTimer = new TTimer(QCoreApplication::instance());
        FTimer->SetInterval(NotificationAreaWatchMs);
        // A panel is found a moment later, and the program is not woken for the look alone.
        FTimer->SetTolerance(NotificationAreaWatchMs / 2);
        FTimer->SetOnTimer([this](QObject*) { Look(); });
    }

    void Look();

    // Takes the area as it is now for granted, without telling anyone.
    void Resync() { FAvailable = AreaAvailable(); }

private:
    QPointer<TTimer> FTimer;
    bool FAvailable = false;
};

// The icon pictures handed to the shell and the watch for the panel: the shell's own, beside
// the area's icons.
struct TShellState {
    std::map<HICON, QIcon> IconHandles;
    HICON NextIconHandle = 0x00020000;
    TAreaWatch Watch;
};

TShellState& Shell()
{
    static TShellState State;
    return State;
}

void TAreaWatch::Look()
{
    const bool available = AreaAvailable();
    if (available == FAvailable)
        return;
    FAvailable = available;
    if (!available) {
        // The panel has gone and its icons with it.
        ShellNotifyArea().Icons.clear();
        return;
    }
    static const UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    PostMessageA(HWND_BROADCAST, TaskbarCreated, 0, 0);
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
    if (!icon.Tray)
        return;
    const QIcon picture = IconOfHandle(icon.Icon);
    icon.Tray->setIcon(picture);
    icon.Tray->setToolTip(AnsiToString(icon.Tip));
    icon.Tray->setVisible(!picture.isNull());
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

std::shared_ptr<QSystemTrayIcon> MakeTray(HWND hwnd, UINT id)
{
    if (!AreaIsReal())
        return nullptr;
    auto tray = std::make_shared<QSystemTrayIcon>();
    QObject::connect(tray.get(), &QSystemTrayIcon::activated, tray.get(),
        [hwnd, id](QSystemTrayIcon::ActivationReason reason) { Activate(hwnd, id, reason); });
    return tray;
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
        added.Tray = MakeTray(hwnd, data.uID);
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
    Shell().Watch.Start();
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
    Shell().Watch.Resync();
}
