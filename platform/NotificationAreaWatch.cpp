#include "platform/NotificationAreaWatch.h"

#include "platform/StatusNotifierItem.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A session without a bus address has no bus: asking for one would make libdbus start a bus of
// its own for the X display.
bool SessionBusConfigured()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && QFileInfo::exists(QString::fromLocal8Bit(runtime) + QStringLiteral("/bus"));
}

// The screen the freedesktop.org tray selection is named after: the display's default screen.
int DefaultScreenNumber()
{
    const char* display = std::getenv("DISPLAY");
    if (!display)
        return 0;
    const char* dot = std::strrchr(display, '.');
    const char* colon = std::strrchr(display, ':');
    return dot && colon && dot > colon ? std::atoi(dot + 1) : 0;
}

xcb_atom_t InternAtom(xcb_connection_t* connection, const QByteArray& name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

TNotificationAreaWatch::TNotificationAreaWatch(QObject* parent)
    : QObject(parent)
    , FBus(QStringLiteral("zeltix-no-bus"))
{
}

TNotificationAreaWatch::~TNotificationAreaWatch()
{
    if (FXConnection && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TNotificationAreaWatch::Start(const std::optional<QDBusConnection>& bus)
{
    if (FStarted || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    FStarted = true;
    StartXEmbed();
    StartBus(bus);
    Update();
    // A program that starts in the notification area needs to know whether there is one. The
    // bus's answer usually takes a few milliseconds; a panel that hangs costs the start no more
    // than the limit, and is taken for no panel until it answers.
    if (!FSettled) {
        QEventLoop loop;
        FStartLoop = &loop;
        QTimer::singleShot(StartAnswerMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        FStartLoop = nullptr;
    }
}

void TNotificationAreaWatch::Settle()
{
    FSettled = true;
    if (FStartLoop)
        FStartLoop->quit();
}

TAreaKind TNotificationAreaWatch::Kind() const
{
    return FKind;
}

void TNotificationAreaWatch::StartBus(const std::optional<QDBusConnection>& bus)
{
    if (!bus && !SessionBusConfigured())
        return;
    FBus = bus ? *bus : QDBusConnection::sessionBus();
    if (!FBus.isConnected())
        return;
    FSettled = false;
    auto* owners = new QDBusServiceWatcher(
        QString::fromLatin1(StatusNotifier::WatcherService), FBus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& owner) { WatcherOwnerChanged(owner); });
    // Signals of any sender: naming the watcher here would make the bus connection ask for its
    // owner and wait for the answer. Any signal only makes the watch ask the current owner again.
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        FBus.connect(QString(), QString::fromLatin1(StatusNotifier::WatcherPath),
            QString::fromLatin1(StatusNotifier::WatcherInterface), QString::fromLatin1(signal), this,
            SLOT(HostsChanged()));

    QDBusMessage ask =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << QString::fromLatin1(StatusNotifier::WatcherService);
    auto* answer = new QDBusPendingCallWatcher(FBus.asyncCall(ask, QuestionTimeoutMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        QDBusPendingReply<QString> reply = *call;
        call->deleteLater();
        // NameOwnerChanged may have told of a newer owner meanwhile.
        if (!reply.isError() && FWatcherOwner.isEmpty())
            WatcherOwnerChanged(reply.value());
        else if (FWatcherOwner.isEmpty())
            Settle();
    });
}

void TNotificationAreaWatch::WatcherOwnerChanged(const QString& owner)
{
    if (owner == FWatcherOwner)
        return;
    FWatcherOwner = owner;
    FHostRegistered = false;
    ++FQuestion;
    Update();
    AskForHost();
}

void TNotificationAreaWatch::HostsChanged()
{
    AskForHost();
}

void TNotificationAreaWatch::AskForHost()
{
    if (FWatcherOwner.isEmpty())
        return;
    QDBusMessage ask = QDBusMessage::createMethodCall(FWatcherOwner, QString::fromLatin1(StatusNotifier::WatcherPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << QString::fromLatin1(StatusNotifier::WatcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
    ask.setAutoStartService(false);
    const uint64_t question = ++FQuestion;
    auto* answer = new QDBusPendingCallWatcher(FBus.asyncCall(ask, QuestionTimeoutMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher* call) {
        QDBusPendingReply<QDBusVariant> reply = *call;
        call->deleteLater();
        if (question != FQuestion)
            return;
        Settle();
        // A watcher that does not answer in time keeps the state it had: a hanging panel is
        // not one that went away.
        if (reply.isError() && reply.error().type() == QDBusError::NoReply)
            return;
        FHostRegistered = !reply.isError() && reply.value().variant().toBool();
        Update();
    });
}

void TNotificationAreaWatch::StartXEmbed()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    auto* connection = x11->connection();
    FXConnection = connection;
    FManagerAtom = InternAtom(connection, "MANAGER");
    FTraySelection = InternAtom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreenNumber()));
    // A tray that starts announces itself to the root window's structure listeners; the
    // toolkit listens there already, and the mask is only added to.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = DefaultScreenNumber(); i > 0 && screens.rem; --i)
        xcb_screen_next(&screens);
    if (screens.rem) {
        const xcb_window_t root = screens.data->root;
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr),
            &std::free);
        if (attributes && !(attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
            const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
        }
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, FTraySelection), nullptr),
        &std::free);
    FollowTrayWindow(owner ? owner->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE));
}

void TNotificationAreaWatch::FollowTrayWindow(uint32_t window)
{
    FTrayWindow = window;
    if (window != XCB_WINDOW_NONE) {
        // Its end is the tray's end.
        auto* connection = static_cast<xcb_connection_t*>(FXConnection);
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
}

bool TNotificationAreaWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !FXConnection)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
    case XCB_CLIENT_MESSAGE: {
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type == FManagerAtom && client->format == 32 && client->data.data32[1] == FTraySelection) {
            // A tray that replaces another is a new tray, whether or not the old one's end was
            // seen first.
            FTrayWindow = XCB_WINDOW_NONE;
            Update();
            FollowTrayWindow(client->data.data32[2]);
            Update();
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
        if (FTrayWindow != XCB_WINDOW_NONE && destroyed->window == FTrayWindow) {
            FTrayWindow = XCB_WINDOW_NONE;
            Update();
        }
        break;
    }
    default:
        break;
    }
    return false;
}

void TNotificationAreaWatch::Update()
{
    TAreaKind kind = akNone;
    if (!FWatcherOwner.isEmpty() && FHostRegistered)
        kind = akStatusNotifier;
    else if (FTrayWindow != XCB_WINDOW_NONE)
        kind = akXEmbed;
    // The same kind from another provider is another area.
    const QString provider = kind == akStatusNotifier ? FWatcherOwner
        : kind == akXEmbed                            ? QString::number(FTrayWindow)
                                                      : QString();
    if (kind == FKind && provider == FProvider)
        return;
    const TAreaKind before = FKind;
    FKind = kind;
    FProvider = provider;
    ++FGeneration;
    if (OnChanged)
        OnChanged(before, kind);
}
