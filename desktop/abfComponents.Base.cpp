#include "desktop/abfComponents.h"

#include "base/ExceptionRoute.h"
#include "desktop/DesktopApplication.h"

#include <QWidget>

namespace {

constexpr UINT_PTR TimerId = 1;

} // namespace

TabfComponent::TabfComponent(QObject* Owner)
    : QObject(Owner)
{
}

TabfComponent::~TabfComponent() = default;

void TabfComponent::Loaded()
{
}

QWidget* TabfComponent::OwnerControl() const
{
    return qobject_cast<QWidget*>(parent());
}

HWND TabfComponent::OwnerWindow() const
{
    QWidget* control = OwnerControl();
    return control ? WidgetWindow(control) : nullptr;
}

TabfCustomTimer::TabfCustomTimer(QObject* Owner)
    : TabfComponent(Owner)
    , FHandle(AllocateHWnd([this](TMessage& Message) { WndProc(Message); }))
{
}

TabfCustomTimer::~TabfCustomTimer()
{
    FEnabled = false;
    KillTimer(FHandle, TimerId);
    DeallocateHWnd(FHandle);
}

void TabfCustomTimer::SetInterval(UINT Value)
{
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TabfCustomTimer::SetOnTimer(TNotifyEvent Value)
{
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void TabfCustomTimer::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TabfCustomTimer::UpdateTimer()
{
    KillTimer(FHandle, TimerId);
    if (FInterval != 0 && FEnabled && FOnTimer)
        if (SetTimer(FHandle, TimerId, FInterval, nullptr) == 0)
            throw EOutOfResources(QStringLiteral("Not enough timers available"));
}

void TabfCustomTimer::WndProc(TMessage& Message)
{
    if (Message.Msg == WM_TIMER) {
        // A failing tick is reported and the timer keeps running.
        RunGuarded(this, [this] { Timer(); });
        return;
    }
    Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TabfCustomTimer::Timer()
{
    if (FOnTimer)
        FOnTimer(this);
}
