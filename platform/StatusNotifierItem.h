#pragma once

#include <QDBusConnection>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class TMenuExport;

// One notification-area icon shown by a StatusNotifierItem host: the item and its menu are
// objects of this process on the session bus (org.kde.StatusNotifierItem and
// com.canonical.dbusmenu), registered with the desktop's StatusNotifierWatcher. Nothing here
// waits for another process: the registration is an asynchronous call with a time limit, and
// the host's calls arrive from the event loop.
class TStatusNotifierItem : public QObject {
public:
    // number tells the items of one process apart; each gets object paths of its own.
    TStatusNotifierItem(const QDBusConnection& bus, int number);
    ~TStatusNotifierItem() override;

    // Asks the watcher that owns the well-known name now to show the item.
    void Register(const QString& watcherOwner);

    void SetIcon(const QIcon& icon);
    void SetToolTip(const QString& text);
    // A hidden item stays registered as passive, which hosts leave out of sight.
    void SetShown(bool shown);
    // The menu the host draws; none leaves the host to ask for one with ContextMenu.
    void SetMenu(QMenu* menu);

    QString MenuPath() const;
    QIcon Icon() const { return FIcon; }
    QString ToolTip() const { return FToolTip; }
    QString Status() const { return FShown ? QStringLiteral("Active") : QStringLiteral("Passive"); }
    QMenu* Menu() const { return static_cast<QMenu*>(FMenu.data()); }

    // The host's requests, as the notification area reports activations.
    std::function<void(QSystemTrayIcon::ActivationReason reason)> OnActivated;

private:
    // Tells the host that a property has changed ("NewIcon", "NewToolTip", "NewStatus").
    void Announce(const char* signal, const QVariantList& arguments = {});

    QDBusConnection FBus;
    QString FItemPath;
    int FNumber = 0;
    QIcon FIcon;
    QString FToolTip;
    bool FShown = true;
    // Kept as an object: a menu being destroyed is no menu any more, but still compared.
    QPointer<QObject> FMenu;
    std::unique_ptr<TMenuExport> FMenuExport;
};

// The reasons the stand-in hands on for the host's calls, and the pictures it sends, also
// serve the tests that play the host.
namespace StatusNotifier {
constexpr const char* WatcherService = "org.kde.StatusNotifierWatcher";
constexpr const char* WatcherPath = "/StatusNotifierWatcher";
constexpr const char* WatcherInterface = "org.kde.StatusNotifierWatcher";
constexpr const char* ItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* MenuInterface = "com.canonical.dbusmenu";
} // namespace StatusNotifier
