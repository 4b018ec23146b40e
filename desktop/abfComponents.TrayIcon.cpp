#include "desktop/abfComponents.h"

#include "base/Ansi.h"
#include "base/ExceptionRoute.h"
#include "desktop/DesktopApplication.h"
#include "desktop/ImageList.h"

#include <QMenu>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace {

// Registered once, when the program starts, as the shell's own programs do.
const UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

} // namespace

UINT TabfTrayIcon::TaskbarCreatedMessage()
{
    return TaskbarCreated;
}

TabfTrayIcon::TabfTrayIcon(QObject* Owner)
    : TabfCustomTimer(Owner)
    , FIcon(std::make_unique<TIcon>())
    , FChangeLink(std::make_unique<TChangeLink>())
{
    FChangeLink->OnChange = [this](QObject*) { UpdateIconFromImageList(); };
    // The timer runs only with a handler; its ticks go to CycleStep.
    SetOnTimer([](QObject*) {});
    SetCycleIcons(false);
    SetCycleInterval(200);
    HookApplication();
}

TabfTrayIcon::~TabfTrayIcon()
{
    FDestroying = true;
    QObject::disconnect(FPopupMenuGone);
    QObject::disconnect(FImageListGone);
    // A destructor cannot pass the failure on; it goes where a failing handler's would.
    RunGuarded(this, [this] { SetVisible(false); });
    UnhookApplication();
    if (FChangeLink->Sender())
        FChangeLink->Sender()->UnRegisterChanges(FChangeLink.get());
}

void TabfTrayIcon::SetHint(const QString& Value)
{
    if (Value == FHint)
        return;
    // The shell's tooltip holds 63 characters and the terminating zero.
    FHint = Value.left(63);
    UpdateIcon();
}

void TabfTrayIcon::SetIcon(const TIcon& Value)
{
    FIcon->Assign(Value);
    UpdateIcon();
}

void TabfTrayIcon::SetIcon(const QIcon& Value)
{
    FIcon->SetPicture(Value);
    UpdateIcon();
}

void TabfTrayIcon::SetShowHint(bool Value)
{
    if (Value == FShowHint)
        return;
    FShowHint = Value;
    UpdateIcon();
}

void TabfTrayIcon::SetIconID(int Value)
{
    if (Value == FIconID)
        return;
    // The icon leaves under its old identifier and comes back under the new one.
    const bool WasVisible = FVisible;
    SetVisible(false);
    FIconID = Value;
    SetVisible(WasVisible);
}

void TabfTrayIcon::SetVisible(bool Value)
{
    if (Value == FVisible)
        return;
    FVisible = Value;
    if (Value)
        ShowIcon();
    else
        HideIcon();
}

void TabfTrayIcon::SetImageList(TCustomImageList* Value)
{
    if (Value == FImageList)
        return;
    if (FChangeLink->Sender())
        FChangeLink->Sender()->UnRegisterChanges(FChangeLink.get());
    QObject::disconnect(FImageListGone);
    FImageList = Value;
    if (Value) {
        FImageListGone = connect(Value, &QObject::destroyed, this, [this, Value] { Notification(Value); });
        Value->RegisterChanges(FChangeLink.get());
    }
    UpdateIconFromImageList();
}

void TabfTrayIcon::SetImageIndex(int Value)
{
    FImageIndex = Value;
    UpdateIconFromImageList();
}

void TabfTrayIcon::SetPopupMenu(QMenu* Value)
{
    if (Value == FPopupMenu)
        return;
    QObject::disconnect(FPopupMenuGone);
    FPopupMenu = Value;
    if (Value)
        FPopupMenuGone = connect(Value, &QObject::destroyed, this, [this, Value] { Notification(Value); });
    if (FIconShown)
        HandMenuToTray();
}

void TabfTrayIcon::Notification(QObject* AComponent)
{
    if (AComponent == FPopupMenu)
        SetPopupMenu(nullptr);
    if (AComponent == FImageList)
        SetImageList(nullptr);
}

void TabfTrayIcon::SetCycleIcons(bool Value)
{
    if (Value == CycleIcons())
        return;
    TabfCustomTimer::SetEnabled(Value);
}

void TabfTrayIcon::SetCycleInterval(UINT Value)
{
    if (Value == CycleInterval())
        return;
    SetInterval(Value);
}

void TabfTrayIcon::UpdateIconFromImageList()
{
    if (!FImageList)
        return;
    FIcon->Clear();
    FImageList->GetIcon(FImageIndex, *FIcon);
    UpdateIcon();
}

void TabfTrayIcon::FillNotifyData()
{
    FNotifyData = NOTIFYICONDATAA{};
    FNotifyData.cbSize = sizeof(NOTIFYICONDATAA);
    FNotifyData.hWnd = Handle32(Handle());
    FNotifyData.uID = static_cast<UINT>(FIconID);
    FNotifyData.uFlags = FNotifyFlags;
    FNotifyData.uCallbackMessage = CallbackMessage;
    FNotifyData.hIcon = FIcon->Handle();
    if (FShowHint) {
        const std::string Tip = StringToAnsi(FHint);
        std::memcpy(FNotifyData.szTip, Tip.data(), std::min(Tip.size(), sizeof(FNotifyData.szTip) - 1));
    }
}

BOOL TabfTrayIcon::NotifyShell(DWORD Message)
{
    FillNotifyData();
    return Shell_NotifyIconA(Message, &FNotifyData);
}

void TabfTrayIcon::InsertToTray()
{
    try {
        // Without a notification area the shell refuses the icon; it stays wanted (Visible),
        // and "TaskbarCreated" brings it in once an area appears.
        FIconShown = NotifyShell(NIM_ADD) != FALSE;
        if (FIconShown)
            HandMenuToTray();
    } catch (...) {
        throw EabfTrayIcon(QStringLiteral("%1.InsertToTray failed").arg(objectName()));
    }
}

void TabfTrayIcon::DeleteFromTray()
{
    try {
        FIconShown = false;
        NotifyShell(NIM_DELETE);
    } catch (...) {
        throw EabfTrayIcon(QStringLiteral("%1.DeleteFromTray failed").arg(objectName()));
    }
}

void TabfTrayIcon::UpdateIcon()
{
    NotifyShell(NIM_MODIFY);
}

void TabfTrayIcon::ShowIcon()
{
    FNotifyFlags |= NIF_ICON;
    InsertToTray();
    FVisible = true;
    if (OnShow)
        OnShow(this);
}

void TabfTrayIcon::HideIcon()
{
    FNotifyFlags &= ~NIF_ICON;
    DeleteFromTray();
    FVisible = false;
    // While the component is destroyed its owner is going as well: the icon leaves, and neither
    // the owner's handlers nor its windows are touched any more.
    if (FDestroying)
        return;
    if (OnHide)
        OnHide(this);
    if (FMinimizeToTray)
        ShowApplication();
    if (QWidget* Control = OwnerControl(); Control && !Control->isVisible())
        Control->setVisible(true);
}

void TabfTrayIcon::Loaded()
{
    TabfCustomTimer::Loaded();
    bool JustAdded = false;
    if (FMinimizeOnStart) {
        SetApplicationShowMainForm(false);
        const bool WasVisible = FVisible;
        Minimize();
        JustAdded = !WasVisible && FVisible;
        // With no notification area to start in, the program would be out of reach: it starts
        // with its window shown instead.
        if (!FIconShown)
            SetApplicationShowMainForm(true);
    }
    if (FVisible && !JustAdded)
        ShowIcon();
}

void TabfTrayIcon::HookApplication()
{
    FHookedWindow = ApplicationWindow();
    FOldAppProc = GetWindowLongA(FHookedWindow, GWL_WNDPROC);
    FNewAppProc = MakeObjectInstance([this](TMessage& Message) { AppWndProc(Message); });
    SetWindowLongA(FHookedWindow, GWL_WNDPROC, FNewAppProc);
}

void TabfTrayIcon::UnhookApplication()
{
    // A window that has gone takes nothing back.
    if (FOldAppProc)
        SetWindowLongA(FHookedWindow, GWL_WNDPROC, FOldAppProc);
    if (FNewAppProc)
        FreeObjectInstance(FNewAppProc);
    FOldAppProc = 0;
    FNewAppProc = 0;
    FHookedWindow = nullptr;
}

void TabfTrayIcon::AppWndProc(TMessage& Message)
{
    // Only an icon that is shown can bring the window back: without one the window stays an
    // ordinary minimised window.
    if (Message.Msg == WM_SIZE && Message.WParam == SIZE_MINIMIZED && FMinimizeToTray && FIconShown)
        Minimize();
    Message.Result = CallWindowProcA(FOldAppProc, FHookedWindow, Message.Msg, Message.WParam, Message.LParam);
}

void TabfTrayIcon::Minimize()
{
    HideApplication();
    SetVisible(true);
    if (OnMinimize)
        OnMinimize(this);
}
