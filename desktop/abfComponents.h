#pragma once

#include "base/Exceptions.h"
#include "desktop/Icon.h"
#include "platform/ShellNotify.h"
#include "platform/Windows.h"

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QWidget;
class TChangeLink;
class TCustomImageList;

ZELTIX_DECLARE_EXCEPTION(EabfTrayIcon, Exception);

using TNotifyEvent = std::function<void(QObject* Sender)>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// A set of keys and buttons held down, as bits.
using TShiftState = unsigned;
enum TShiftStateItem : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };

// The base of the components: a component with an owner, told when the owner's layout has been
// read.
class TabfComponent : public QObject {
public:
    explicit TabfComponent(QObject* Owner);
    ~TabfComponent() override;

    QObject* Owner() const { return parent(); }
    // The owner calls this once its own components have been made and set up.
    virtual void Loaded();

protected:
    // The owner when it is a windowed control, and its window.
    QWidget* OwnerControl() const;
    HWND OwnerWindow() const;
};

// A timer on a hidden window of its own (timer id 1). It runs while Enabled is set, Interval is
// not 0 and an OnTimer handler is set; its ticks go to Timer.
class TabfCustomTimer : public TabfComponent {
public:
    explicit TabfCustomTimer(QObject* Owner);
    ~TabfCustomTimer() override;

    UINT Interval() const { return FInterval; }
    void SetInterval(UINT Value);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    HWND Handle() const { return FHandle; }

protected:
    virtual void WndProc(TMessage& Message);
    // Fires OnTimer.
    virtual void Timer();
    // Stops the timer and starts it again under the rules above; EOutOfResources
    // "Not enough timers available" when the system has no timer left.
    void UpdateTimer();

private:
    UINT FInterval = 1000;
    TNotifyEvent FOnTimer;
    bool FEnabled = true;
    HWND FHandle = nullptr;
};

// The icon in the notification area: mouse actions on it become events, its menu pops up at the
// cursor, and it takes the application out of sight and brings it back.
class TabfTrayIcon : public TabfCustomTimer {
public:
    using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
    using TPopupHandler = std::function<void(QMenu* Menu, const QPoint& Pos)>;

    // The message the shell reports mouse actions on the icon with.
    static constexpr UINT CallbackMessage = WM_USER + 211;

    explicit TabfTrayIcon(QObject* Owner);
    ~TabfTrayIcon() override;

    void Loaded() override;
    virtual void ShowApplication();
    virtual void HideApplication();
    // Pops PopupMenu up at the cursor and returns when it has closed. A menu pops up unless its
    // "AutoPopup" property is false; where the notification area opens the menu itself, it is
    // not opened a second time.
    virtual void PopupAtCursor();

    // Whether mouse actions on the icon raise events. The base's Enabled is the icon cycle's
    // timer, CycleIcons here.
    bool MouseEnabled() const { return FMouseEnabled; }
    void SetMouseEnabled(bool Value) { FMouseEnabled = Value; }
    const QString& Hint() const { return FHint; }
    void SetHint(const QString& Value);
    TIcon& Icon() { return *FIcon; }
    void SetIcon(const TIcon& Value);
    void SetIcon(const QIcon& Value);
    // The icon is kept with a stored layout only while no image list supplies the pictures.
    bool IsIconStored() const { return !FImageList; }
    int IconID() const { return FIconID; }
    void SetIconID(int Value);
    TCustomImageList* ImageList() const { return FImageList; }
    void SetImageList(TCustomImageList* Value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int Value);
    bool MinimizeOnStart() const { return FMinimizeOnStart; }
    void SetMinimizeOnStart(bool Value) { FMinimizeOnStart = Value; }
    bool MinimizeToTray() const { return FMinimizeToTray; }
    void SetMinimizeToTray(bool Value) { FMinimizeToTray = Value; }
    QMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu* Value);
    bool PopupByLeft() const { return FPopupByLeft; }
    void SetPopupByLeft(bool Value) { FPopupByLeft = Value; }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    // Whether the shell took the icon: Visible says it is wanted, this that it is there.
    bool IconShown() const { return FIconShown; }
    // The timer of the base under the names of what it does here.
    bool CycleIcons() const { return TabfCustomTimer::Enabled(); }
    void SetCycleIcons(bool Value);
    UINT CycleInterval() const { return Interval(); }
    void SetCycleInterval(UINT Value);

    // The record as last sent to the shell.
    const NOTIFYICONDATAA& NotifyData() const { return FNotifyData; }

    // The number of the shell's "TaskbarCreated" message, registered once when the program
    // starts.
    static UINT TaskbarCreatedMessage();

    TNotifyEvent OnMinimize;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnPopupMenu;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnCycleIcons;

protected:
    void WndProc(TMessage& Message) override;
    void Timer() override;
    virtual void FillNotifyData();
    virtual void AppWndProc(TMessage& Message);
    virtual void UpdateIcon();
    virtual void ShowIcon();
    virtual void HideIcon();
    // Called when the popup menu or the image list goes.
    virtual void Notification(QObject* AComponent);

    virtual void CycleStep();
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void Click();
    virtual void DblClick();
    virtual void Minimize();

    void InsertToTray();
    void DeleteFromTray();
    void HookApplication();
    void UnhookApplication();
    void UpdateIconFromImageList();

private:
    // Sends the record, filled anew, to the shell, and returns its answer.
    BOOL NotifyShell(DWORD Message);
    void HandMenuToTray();

    bool FMouseEnabled = true;
    QString FHint;
    std::unique_ptr<TIcon> FIcon;
    UINT FNotifyFlags = NIF_MESSAGE | NIF_TIP;
    int FIconID = 0;
    TCustomImageList* FImageList = nullptr;
    int FImageIndex = 0;
    std::unique_ptr<TChangeLink> FChangeLink;
    bool FMinimizeOnStart = false;
    bool FMinimizeToTray = false;
    QMenu* FPopupMenu = nullptr;
    bool FPopupByLeft = false;
    bool FClickPending = false;
    bool FShowHint = true;
    bool FVisible = false;
    bool FIconShown = false;
    NOTIFYICONDATAA FNotifyData{};
    WNDPROC FOldAppProc = 0;
    WNDPROC FNewAppProc = 0;
    HWND FHookedWindow = nullptr;
    // Set while the component is being destroyed: its owner may be going too.
    bool FDestroying = false;
    QMetaObject::Connection FPopupMenuGone;
    QMetaObject::Connection FImageListGone;
};
