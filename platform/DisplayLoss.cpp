#include "platform/DisplayLoss.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

TDisplayLossHandler* Current = nullptr;
QtMessageHandler Previous = nullptr;
bool Routed = false;

// What the toolkit's X11 and Wayland plugins warn just before they end the process.
bool SaysDisplayLost(const QString& message)
{
    return message.startsWith(QLatin1String("The X11 connection broke")) ||
        message.startsWith(QLatin1String("The Wayland connection broke"));
}

bool OnUserInterfaceThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

struct TDisplayLossRoute {
    static void Run() noexcept
    {
        TDisplayLossHandler* handler = Current;
        if (!handler || handler->FRan)
            return;
        handler->FRan = true;
        try {
            handler->FOnLost();
        } catch (...) {
            // The process ends in a moment whatever happens; nothing is left to tell.
        }
    }

    // Runs the handler on the user-interface thread: at once when this is that thread,
    // otherwise by its event loop while this thread waits, with a bound, since the process ends
    // as soon as this thread goes on.
    static void Lost() noexcept
    {
        if (!Current)
            return;
        if (OnUserInterfaceThread()) {
            Run();
            return;
        }
        auto done = std::make_shared<QSemaphore>(0);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [done] {
                Run();
                done->release();
            },
            Qt::QueuedConnection);
        done->tryAcquire(1, 5000);
    }

    static void OnMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (Previous)
            Previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        if (type == QtWarningMsg && SaysDisplayLost(message))
            Lost();
    }

    static void AtExit() { Lost(); }
};

TDisplayLossHandler::TDisplayLossHandler(std::function<void()> onLost)
    : FOnLost(std::move(onLost))
    , FOlder(Current)
{
    static const bool registered = std::atexit(&TDisplayLossRoute::AtExit) == 0;
    (void)registered;
    Current = this;
    if (!Routed) {
        Previous = qInstallMessageHandler(&TDisplayLossRoute::OnMessage);
        Routed = true;
    }
}

TDisplayLossHandler::~TDisplayLossHandler()
{
    Current = FOlder;
    if (!Current && Routed) {
        qInstallMessageHandler(Previous);
        Routed = false;
    }
}
