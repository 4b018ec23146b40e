#pragma once

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class QEventLoop;

// The kinds of notification area a desktop offers: an XEmbed tray on X11 (the freedesktop.org
// system tray selection), which Qt's own tray icon docks into, or a StatusNotifierItem host on
// the session bus, which this process talks to itself.
enum TAreaKind { akNone, akXEmbed, akStatusNotifier };

// Follows the desktop's notification area by its own announcements, never by looking again
// and again: the X server's MANAGER message and the tray window's end for XEmbed, the bus's
// NameOwnerChanged and the watcher's StatusNotifierHostRegistered/-Unregistered signals for
// StatusNotifierItem. Every question to another process is asynchronous with a time limit,
// so a panel that hangs never holds up the program. When a host is there, it is preferred to
// the XEmbed tray, whose icons it could only show through a proxy without their menu.
class TNotificationAreaWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit TNotificationAreaWatch(QObject* parent = nullptr);
    ~TNotificationAreaWatch() override;

    // Begins to follow the desktop; does nothing before the application object exists. The bus
    // is the session's unless one is given.
    void Start(const std::optional<QDBusConnection>& bus = std::nullopt);

    TAreaKind Kind() const;
    // Each area the desktop brings up anew gets a new number.
    uint64_t Generation() const { return FGeneration; }
    // The session bus and the watcher's owner, while the kind is akStatusNotifier.
    const QDBusConnection& Bus() const { return FBus; }
    QString WatcherOwner() const { return FWatcherOwner; }

    // Runs when the area has changed: one went away, or a new one took its place.
    std::function<void(TAreaKind Before, TAreaKind Now)> OnChanged;

    // How long a question to the watcher may stay unanswered.
    static constexpr int QuestionTimeoutMs = 5000;
    // How long the start waits for the bus to say whether there is a panel.
    static constexpr int StartAnswerMs = 1500;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private Q_SLOTS:
    void HostsChanged();

private:
    void StartBus(const std::optional<QDBusConnection>& bus);
    void StartXEmbed();
    void WatcherOwnerChanged(const QString& owner);
    void AskForHost();
    void FollowTrayWindow(uint32_t window);
    // Recomputes the kind and reports a change.
    void Update();
    // The first answers are in.
    void Settle();

    bool FStarted = false;
    bool FSettled = true;
    QEventLoop* FStartLoop = nullptr;
    TAreaKind FKind = akNone;
    uint64_t FGeneration = 0;
    // Who provides the area: the watcher's bus name, or the tray's window.
    QString FProvider;

    QDBusConnection FBus;
    QString FWatcherOwner;
    bool FHostRegistered = false;
    // Counts the questions to the watcher, so that an answer that is overtaken counts no more.
    uint64_t FQuestion = 0;

    void* FXConnection = nullptr;
    uint32_t FTraySelection = 0;
    uint32_t FManagerAtom = 0;
    uint32_t FTrayWindow = 0;
};
