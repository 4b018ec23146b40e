#include "platform/Windows.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

// The object behind one hidden window: its handler, class name and timers (children of it).
class TWindowObject : public QObject {
public:
    TWindowObject(TWndMethod method, std::string className)
        : Method(std::move(method)), ClassName(std::move(className)) {}

    TWndMethod Method;
    std::string ClassName;
    std::map<UINT_PTR, QTimer*> Timers;
};

// All user-interface work runs on one thread, so the table needs no lock.
std::map<HWND, std::unique_ptr<TWindowObject>> Windows;
uintptr_t NextHandle = 0x10000;

TWindowObject* Find(HWND hwnd)
{
    auto it = Windows.find(hwnd);
    return it == Windows.end() ? nullptr : it->second.get();
}

// Looks the window up again on every delivery, so a window destroyed meanwhile gets nothing.
LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWindowObject* window = Find(hwnd);
    if (!window || !window->Method)
        return 0;
    TMessage message{msg, wParam, lParam, 0};
    window->Method(message);
    return message.Result;
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

} // namespace

HWND AllocateHWnd(TWndMethod method, const char* className)
{
    HWND hwnd = reinterpret_cast<HWND>(NextHandle);
    NextHandle += 4;
    Windows[hwnd] = std::make_unique<TWindowObject>(std::move(method), className ? className : "");
    return hwnd;
}

void DeallocateHWnd(HWND hwnd)
{
    auto it = Windows.find(hwnd);
    if (it == Windows.end())
        return;
    TWindowObject* window = it->second.release();
    Windows.erase(it);
    for (auto& [id, timer] : window->Timers)
        timer->stop();
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

UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapse, void* timerFunc)
{
    TWindowObject* window = Find(hwnd);
    if (!window || idEvent == 0 || timerFunc)
        return 0;
    QTimer*& timer = window->Timers[idEvent];
    if (!timer) {
        timer = new QTimer(window);
        QObject::connect(timer, &QTimer::timeout, window,
                         [hwnd, idEvent] { Deliver(hwnd, WM_TIMER, idEvent, 0); });
    }
    timer->start(static_cast<int>(std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF)));
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
    it->second->stop();
    Dispose(it->second);
    window->Timers.erase(it);
    return TRUE;
}
