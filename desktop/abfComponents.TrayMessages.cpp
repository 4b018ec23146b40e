#include "desktop/abfComponents.h"

#include "desktop/DesktopApplication.h"
#include "desktop/ImageList.h"
#include "desktop/Seams.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {

TShiftState KeyShiftState()
{
    TShiftState Shift = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        Shift |= ssShift;
    if (GetKeyState(VK_MENU) < 0)
        Shift |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0)
        Shift |= ssCtrl;
    return Shift;
}

// Menus have no automatic-popup switch of their own; a property can turn it off.
bool AutoPopup(const QMenu* Menu)
{
    const QVariant Value = Menu->property("AutoPopup");
    return !Value.isValid() || Value.toBool();
}

} // namespace

void TabfTrayIcon::WndProc(TMessage& Message)
{
    if (Message.Msg == CallbackMessage) {
        if (!FMouseEnabled)
            return;
        POINT Pos{};
        GetCursorPos(&Pos);
        switch (static_cast<UINT>(Message.LParam)) {
        case WM_MOUSEMOVE:
            GetCursorPos(&Pos);
            MouseMove(KeyShiftState(), Pos.x, Pos.y);
            return;
        case WM_LBUTTONDOWN:
            MouseDown(mbLeft, KeyShiftState() | ssLeft, Pos.x, Pos.y);
            FClickPending = true;
            return;
        case WM_LBUTTONUP:
            MouseUp(mbLeft, KeyShiftState() | ssLeft, Pos.x, Pos.y);
            if (FClickPending)
                Click();
            if (FPopupByLeft)
                PopupAtCursor();
            FClickPending = false;
            return;
        case WM_LBUTTONDBLCLK:
            DblClick();
            return;
        case WM_RBUTTONDOWN:
            MouseDown(mbRight, KeyShiftState() | ssRight, Pos.x, Pos.y);
            return;
        case WM_RBUTTONUP:
            MouseUp(mbRight, KeyShiftState() | ssRight, Pos.x, Pos.y);
            PopupAtCursor();
            return;
        case WM_MBUTTONDOWN:
            MouseDown(mbMiddle, KeyShiftState() | ssMiddle, Pos.x, Pos.y);
            return;
        case WM_MBUTTONUP:
            MouseUp(mbMiddle, KeyShiftState() | ssMiddle, Pos.x, Pos.y);
            return;
        default:
            break;
        }
    } else if (Message.Msg == WM_QUERYENDSESSION) {
        Message.Result = 1;
        return;
    } else if (Message.Msg == TaskbarCreatedMessage()) {
        // The shell has restarted and forgotten its icons.
        if (FVisible) {
            HideIcon();
            ShowIcon();
        }
    }
    TabfCustomTimer::WndProc(Message);
}

void TabfTrayIcon::Timer()
{
    CycleStep();
}

void TabfTrayIcon::CycleStep()
{
    if (FImageList)
        SetImageIndex(FImageIndex < FImageList->Count() - 1 ? FImageIndex + 1 : 0);
    if (OnCycleIcons)
        OnCycleIcons(this);
}

void TabfTrayIcon::MouseMove(TShiftState Shift, int X, int Y)
{
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TabfTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TabfTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    // A menu that the panel has opened at the icon stays in front.
    const bool MenuOpenedByPanel = Button == mbRight && NotifyIconOpensMenu(Handle(), static_cast<UINT>(FIconID));
    if (OwnerControl() && !MenuOpenedByPanel)
        SetForegroundWindow(OwnerWindow());
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TabfTrayIcon::Click()
{
    if (OnClick)
        OnClick(this);
}

void TabfTrayIcon::DblClick()
{
    if (FPopupMenu && AutoPopup(FPopupMenu) && !FPopupByLeft) {
        for (QAction* Item : FPopupMenu->actions()) {
            if (Item != FPopupMenu->defaultAction())
                continue;
            Item->trigger();
            if (OnDblClick)
                OnDblClick(this);
            if (OwnerControl())
                SetForegroundWindow(OwnerWindow());
            return;
        }
    }
    if (QWidget* Control = OwnerControl()) {
        if (FMinimizeToTray && Control->isVisible())
            HideApplication();
        else
            ShowApplication();
    }
    if (OnDblClick)
        OnDblClick(this);
}

void TabfTrayIcon::HandMenuToTray()
{
    // The panel opens the menu itself where it can, at the icon, as the desktop draws its menus;
    // a menu that does not pop up stays with the component.
    QMenu* Menu = FPopupMenu && AutoPopup(FPopupMenu) ? FPopupMenu : nullptr;
    SetNotifyIconMenu(Handle(), static_cast<UINT>(FIconID), Menu);
}

void TabfTrayIcon::PopupAtCursor()
{
    if (!FPopupMenu || !AutoPopup(FPopupMenu))
        return;
    POINT Pos{};
    GetCursorPos(&Pos);
    // Pending messages may close the menu's owner or the component itself.
    QPointer<TabfTrayIcon> Self(this);
    ApplicationProcessMessages();
    if (!Self || !FPopupMenu)
        return;
    QPointer<QMenu> Menu(FPopupMenu);
    Menu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    // The panel has opened the menu at the icon already; bringing the owner forward now would
    // take the focus from it.
    if (!NotifyIconOpensMenu(Handle(), static_cast<UINT>(FIconID))) {
        if (OwnerControl())
            SetForegroundWindow(OwnerWindow());
        if (const auto Handler = DesktopSeams().TrayPopupHandler)
            Handler(Menu, QPoint(Pos.x, Pos.y));
        else
            Menu->exec(QPoint(Pos.x, Pos.y));
    }
    if (!Self)
        return;
    // The menu's owner must see a message of its own, or the next popup closes at once.
    if (OwnerControl())
        PostMessageA(OwnerWindow(), WM_NULL, 0, 0);
    if (OnPopupMenu)
        OnPopupMenu(this);
}

void TabfTrayIcon::ShowApplication()
{
    const HWND Window = ApplicationWindow();
    if (IsWindow(Window))
        ShowWindow(Window, SW_SHOWNORMAL);
    if (QWidget* MainForm = ApplicationMainForm())
        MainForm->setVisible(true);
}

void TabfTrayIcon::HideApplication()
{
    const HWND Window = ApplicationWindow();
    if (IsWindow(Window) && IsWindowVisible(Window))
        ShowWindow(Window, SW_HIDE);
    if (QWidget* MainForm = ApplicationMainForm())
        MainForm->setVisible(false);
}
