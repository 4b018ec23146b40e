#include "platform/Windows.h"

#include "platform/Kernel.h"
#include "platform/Seams.h"
#include "platform/Timer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using TProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

WNDPROC AddProcedure(TProcedure procedure);

// The procedure a widget's window starts with.
WNDPROC DefaultProcedure()
{
    static const WNDPROC number = AddProcedure(&DefWindowProcA);
    return number;
}

LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool IsApplicationWidget(const QWidget* widget);
void HideOwnedWindows(QWidget* application);
void ShowOwnedWindows();

// The object behind one window: its procedure, class name and timers (children of it), and for
// a widget's window the widget, whose minimise it reports.
class TWindowObject : public QObject {
public:
    TWindowObject(HWND handle, std::string className)
        : Handle(handle)
        , ClassName(std::move(className))
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == Widget && event->type() == QEvent::WindowStateChange) {
            const bool was = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
            const bool is = Widget->windowState() & Qt::WindowMinimized;
            // Reported once the change is complete: showMinimized() shows the widget again
            // after its state has changed, which would undo a hide done at once.
            if (is != was)
                QMetaObject::invokeMethod(
                    this, [this, is] { ReportSize(is); }, Qt::QueuedConnection);
        }
        return false;
    }

    void ReportSize(bool minimized)
    {
        // A window restored in the meantime is no longer minimised.
        if (!Widget || Widget->isMinimized() != minimized)
            return;
        if (IsApplicationWidget(Widget)) {
            if (minimized)
                HideOwnedWindows(Widget);
            else
                ShowOwnedWindows();
        }
        if (minimized)
            Deliver(Handle, WM_SIZE, SIZE_MINIMIZED, 0);
        else
            Deliver(Handle, WM_SIZE, SIZE_RESTORED, (Widget->height() << 16) | (Widget->width() & 0xFFFF));
    }

    HWND Handle;
    std::string ClassName;
    WNDPROC Procedure = 0;
    // Made for the window by AllocateHWnd; freed with it.
    WNDPROC OwnProcedure = 0;
    std::map<UINT_PTR, TTimer*> Timers;
    QPointer<QWidget> Widget;
};

// The window manager's state: every window, procedure and registered message there is. All
// user-interface work runs on one thread, so it needs no lock.
struct TWindowTable {
    // Window procedures by number. Numbers look like code addresses of a 32-bit program and
    // are never reused, so a stale one calls nothing.
    std::map<WNDPROC, std::shared_ptr<TProcedure>> Procedures;
    WNDPROC NextProcedure = 0x00401000;
    std::map<HWND, std::unique_ptr<TWindowObject>> Windows;
    uintptr_t NextHandle = 0x10000;
    std::map<std::string, UINT> Messages;
    UINT NextWindowMessage = 0xC000;
    HWND ApplicationHandle = nullptr;
    HWND ForegroundHandle = nullptr;
    // The windows the application window took out of sight with it, to be shown with it again.
    std::vector<QPointer<QWidget>> OwnedHidden;
};

// Components register their messages while the program's statics are being made, so the table
// is made on first use.
TWindowTable& Table()
{
    static TWindowTable Table;
    return Table;
}

WNDPROC AddProcedure(TProcedure procedure)
{
    TWindowTable& table = Table();
    const WNDPROC number = table.NextProcedure;
    table.NextProcedure += 0x10;
    table.Procedures[number] = std::make_shared<TProcedure>(std::move(procedure));
    return number;
}

TWindowObject* Find(HWND hwnd)
{
    auto& windows = Table().Windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

// Looks the window up again on every delivery, so a window destroyed meanwhile gets nothing.
LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWindowObject* window = Find(hwnd);
    if (!window)
        return 0;
    return CallWindowProcA(window->Procedure, hwnd, msg, wParam, lParam);
}

// Windows and timers may be destroyed from inside their own timer's handler: then the event
// loop deletes them once that handler has returned.
void Dispose(QObject* object)
{
    if (QCoreApplication::instance())
        object->deleteLater();
    else
        delete object;
}

HWND NewHandle()
{
    uintptr_t& nextHandle = Table().NextHandle;
    HWND hwnd = reinterpret_cast<HWND>(nextHandle);
    nextHandle += 4;
    return hwnd;
}

QGuiApplication* GuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

// The application window owns every other window of the program: they leave the screen when it
// is hidden or minimised, and come back when it is shown again. Menus and tooltips are not
// windows of their own here, nor is a notification-area icon docked in a panel, which the
// window manager never sees. A modal window (a question still waiting for its answer) stays:
// hiding it would end its loop and answer it; the window manager takes it along with its owner.
void HideOwnedWindows(QWidget* application)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        const bool secondary = (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool) &&
            !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint) && !widget->isModal();
        if (widget == application || !widget->isVisible() || !secondary)
            continue;
        Table().OwnedHidden.emplace_back(widget);
        widget->hide();
    }
}

void ShowOwnedWindows()
{
    std::vector<QPointer<QWidget>> hidden = std::exchange(Table().OwnedHidden, {});
    for (const QPointer<QWidget>& widget : hidden)
        if (widget)
            widget->show();
}

bool IsApplicationWidget(const QWidget* widget)
{
    const auto it = Table().Windows.find(Table().ApplicationHandle);
    return widget && it != Table().Windows.end() && it->second->Widget == widget;
}

} // namespace

WNDPROC MakeObjectInstance(TWndMethod method)
{
    return AddProcedure([method = std::move(method)](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (!method)
            return 0;
        TMessage message{msg, wParam, lParam, 0};
        method(message);
        return message.Result;
    });
}

void FreeObjectInstance(WNDPROC procedure)
{
    if (procedure != DefaultProcedure())
        Table().Procedures.erase(procedure);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto it = Table().Procedures.find(procedure);
    if (it == Table().Procedures.end())
        return 0;
    // Held for the call, so a procedure freed by its own message finishes first.
    std::shared_ptr<TProcedure> held = it->second;
    return (*held)(hwnd, msg, wParam, lParam);
}

LRESULT DefWindowProcA(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_QUERYENDSESSION ? 1 : 0;
}

LONG GetWindowLongA(HWND hwnd, int index)
{
    TWindowObject* window = Find(hwnd);
    return window && index == GWL_WNDPROC ? window->Procedure : 0;
}

LONG SetWindowLongA(HWND hwnd, int index, LONG newLong)
{
    TWindowObject* window = Find(hwnd);
    if (!window || index != GWL_WNDPROC)
        return 0;
    return std::exchange(window->Procedure, newLong);
}

HWND AllocateHWnd(TWndMethod method, const char* className)
{
    HWND hwnd = NewHandle();
    auto window = std::make_unique<TWindowObject>(hwnd, className ? className : "");
    window->OwnProcedure = MakeObjectInstance(std::move(method));
    window->Procedure = window->OwnProcedure;
    Table().Windows[hwnd] = std::move(window);
    return hwnd;
}

void DeallocateHWnd(HWND hwnd)
{
    auto it = Table().Windows.find(hwnd);
    if (it == Table().Windows.end() || it->second->Widget)
        return;
    TWindowObject* window = it->second.release();
    Table().Windows.erase(it);
    FreeObjectInstance(window->OwnProcedure);
    for (auto& [id, timer] : window->Timers)
        timer->SetEnabled(false);
    Dispose(window);
}

BOOL IsWindow(HWND hwnd)
{
    return Find(hwnd) ? TRUE : FALSE;
}

int GetClassNameA(HWND hwnd, LPSTR className, int maxCount)
{
    TWindowObject* window = Find(hwnd);
    if (!window || !className || maxCount <= 0)
        return 0;
    size_t length = std::min(window->ClassName.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(className, window->ClassName.data(), length);
    className[length] = '\0';
    return static_cast<int>(length);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return Deliver(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == HWND_BROADCAST) {
        if (!QCoreApplication::instance())
            return FALSE;
        for (const auto& [each, window] : Table().Windows)
            PostMessageA(each, msg, wParam, lParam);
        return TRUE;
    }
    TWindowObject* window = Find(hwnd);
    if (!window || !QCoreApplication::instance())
        return FALSE;
    QMetaObject::invokeMethod(
        window, [hwnd, msg, wParam, lParam] { Deliver(hwnd, msg, wParam, lParam); }, Qt::QueuedConnection);
    return TRUE;
}

UINT RegisterWindowMessageA(LPCSTR name)
{
    if (!name || !*name)
        return 0;
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    TWindowTable& table = Table();
    auto [it, added] = table.Messages.try_emplace(key, table.NextWindowMessage);
    if (added)
        ++table.NextWindowMessage;
    return it->second;
}

HWND WidgetWindow(QWidget* widget)
{
    if (!widget)
        return nullptr;
    widget = widget->window();
    for (auto& [hwnd, window] : Table().Windows)
        if (window->Widget == widget)
            return hwnd;
    HWND hwnd = NewHandle();
    auto window = std::make_unique<TWindowObject>(hwnd, widget->metaObject()->className());
    window->Widget = widget;
    window->Procedure = DefaultProcedure();
    widget->installEventFilter(window.get());
    // The handle goes with the widget; whoever still holds it finds no window.
    QObject::connect(widget, &QObject::destroyed, window.get(), [hwnd] {
        auto it = Table().Windows.find(hwnd);
        if (it == Table().Windows.end())
            return;
        TWindowObject* gone = it->second.release();
        Table().Windows.erase(it);
        Dispose(gone);
    });
    Table().Windows[hwnd] = std::move(window);
    return hwnd;
}

QWidget* WindowWidget(HWND hwnd)
{
    TWindowObject* window = Find(hwnd);
    return window ? window->Widget.data() : nullptr;
}

HWND SetApplicationWindow(QWidget* widget)
{
    HWND hwnd = WidgetWindow(widget);
    Table().ApplicationHandle = hwnd;
    return hwnd;
}

HWND ApplicationWindow()
{
    HWND hwnd = Table().ApplicationHandle;
    return Find(hwnd) ? hwnd : nullptr;
}

BOOL ShowWindow(HWND hwnd, INT cmdShow)
{
    QWidget* widget = WindowWidget(hwnd);
    if (!widget)
        return FALSE;
    const BOOL wasVisible = widget->isVisible() ? TRUE : FALSE;
    const bool application = IsApplicationWidget(widget);
    switch (cmdShow) {
    case SW_HIDE:
        if (application)
            HideOwnedWindows(widget);
        widget->hide();
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        widget->showNormal();
        if (application)
            ShowOwnedWindows();
        break;
    case SW_SHOW:
        widget->show();
        if (application)
            ShowOwnedWindows();
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        widget->showMinimized();
        break;
    default:
        break;
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    QWidget* widget = WindowWidget(hwnd);
    return widget && widget->isVisible() ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    if (!Find(hwnd))
        return FALSE;
    Table().ForegroundHandle = hwnd;
    if (QWidget* widget = WindowWidget(hwnd); widget && widget->isVisible()) {
        widget->raise();
        widget->activateWindow();
    }
    return TRUE;
}

HWND GetForegroundWindow()
{
    if (HWND hwnd = Table().ForegroundHandle; Find(hwnd))
        return hwnd;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        if (QWidget* active = QApplication::activeWindow())
            return WidgetWindow(active);
    return nullptr;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    if (const std::optional<POINT>& fixed = PlatformSeams().CursorPos) {
        *point = *fixed;
        return TRUE;
    }
    const QPoint pos = GuiApplication() ? QCursor::pos() : QPoint();
    *point = POINT{pos.x(), pos.y()};
    return TRUE;
}

SHORT GetKeyState(int virtKey)
{
    const Qt::KeyboardModifiers modifiers =
        GuiApplication() ? QGuiApplication::queryKeyboardModifiers() : Qt::KeyboardModifiers();
    Qt::KeyboardModifier modifier = Qt::NoModifier;
    switch (virtKey) {
    case VK_SHIFT:
        modifier = Qt::ShiftModifier;
        break;
    case VK_CONTROL:
        modifier = Qt::ControlModifier;
        break;
    case VK_MENU:
        modifier = Qt::AltModifier;
        break;
    default:
        return 0;
    }
    return modifiers.testFlag(modifier) ? static_cast<SHORT>(0x8000) : 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapse, void* timerFunc)
{
    TWindowObject* window = Find(hwnd);
    if (!window || idEvent == 0 || timerFunc || PlatformSeams().TimersExhausted)
        return 0;
    TTimer*& timer = window->Timers[idEvent];
    if (!timer) {
        timer = new TTimer(window);
        timer->SetOnTimer([hwnd, idEvent](QObject*) { Deliver(hwnd, WM_TIMER, idEvent, 0); });
    }
    // Setting an existing timer again starts its interval anew.
    timer->SetEnabled(false);
    timer->SetInterval(std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF));
    timer->SetEnabled(true);
    return idEvent;
}

BOOL KillTimer(HWND hwnd, UINT_PTR idEvent)
{
    TWindowObject* window = Find(hwnd);
    if (!window)
        return FALSE;
    auto it = window->Timers.find(idEvent);
    if (it == window->Timers.end())
        return FALSE;
    it->second->SetEnabled(false);
    Dispose(it->second);
    window->Timers.erase(it);
    return TRUE;
}

BOOL WaitAndProcessMessages(DWORD milliseconds)
{
    if (!QCoreApplication::instance()) {
        Sleep(milliseconds);
        return TRUE;
    }
    // A test clock lets the time pass at once; the ticks due by then are handled below.
    if (PlatformSeams().Clock) {
        Sleep(milliseconds);
        milliseconds = 0;
    }
    // A loop of its own ends when the program quits (the toolkit ends every running loop, and
    // one started after that returns at once); only its own timer says the time is up.
    QEventLoop loop;
    bool timeUp = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop, &timeUp] {
        timeUp = true;
        loop.quit();
    });
    timer.start(static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX)));
    // Whatever a tick read before the wait may change meanwhile.
    NewTimerTickSerial();
    loop.exec();
    NewTimerTickSerial();
    return timeUp ? TRUE : FALSE;
}
