#include "platform/NotificationAreaWatch.h"
#include "platform/StatusNotifierItem.h"

#include "tests/platform/GuiTestApplication.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <QAction>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>
#include <vector>

// A StatusNotifierWatcher of the test's own: it says whether a host is registered, and counts
// how often it is asked.
class TFakeWatcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)

public:
    explicit TFakeWatcher(QObject* object)
        : QDBusAbstractAdaptor(object)
    {
    }
    bool IsStatusNotifierHostRegistered() const
    {
        ++Questions;
        return Hosted;
    }

    bool Hosted = true;
    mutable int Questions = 0;

public Q_SLOTS:
    // Items are registered by the scenario tests' panel, which draws them.
    void RegisterStatusNotifierItem(const QString&) { }
};

namespace {

// A session bus of the test's own, with two connections: the program's and the panel's.
class StatusNotifierTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }

    void SetUp() override
    {
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon is not installed";
        const std::string socket = Folder.File("bus");
        Daemon = std::make_unique<TBackgroundChild>("/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket},
            std::vector<std::string>{}, Folder.File("bus.txt"));
        const QString address = QStringLiteral("unix:path=") + QString::fromStdString(socket);
        // The socket is there a moment before the bus takes connections on it.
        ASSERT_TRUE(WaitUntil(10000, [&] {
            if (!std::filesystem::exists(socket))
                return false;
            const bool up = QDBusConnection::connectToBus(address, QStringLiteral("probe")).isConnected();
            QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
            return up;
        }));
        Program = QDBusConnection::connectToBus(address, QStringLiteral("program"));
        Panel = QDBusConnection::connectToBus(address, QStringLiteral("panel"));
        ASSERT_TRUE(Program.isConnected() && Panel.isConnected());
    }

    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("program"));
        QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
    }

    // A call from the panel, answered while the loop runs (both ends live on this thread).
    QDBusMessage Call(
        const QString& path, const QString& interface, const QString& method, const QVariantList& arguments = {}) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(Program.baseService(), path, interface, method);
        call.setArguments(arguments);
        QDBusPendingCallWatcher answer(Panel.asyncCall(call, 5000));
        QEventLoop loop;
        QObject::connect(&answer, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(6000, &loop, &QEventLoop::quit);
        loop.exec();
        return answer.reply();
    }

    QVariant ItemProperty(const QString& name) const
    {
        const QDBusMessage reply =
            Call(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    static void Settle(int ms = 200)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    TTempDir Folder;
    std::unique_ptr<TBackgroundChild> Daemon;
    QDBusConnection Program{QStringLiteral("none")};
    QDBusConnection Panel{QStringLiteral("none")};
};

// One menu item as the layout carries it: its number and properties.
struct TLayoutEntry {
    int Id;
    QVariantMap Properties;
};

std::vector<TLayoutEntry> LayoutEntries(const QDBusMessage& reply)
{
    std::vector<TLayoutEntry> entries;
    const QDBusArgument layout = reply.arguments().value(1).value<QDBusArgument>();
    int rootId = -1;
    QVariantMap rootProperties;
    layout.beginStructure();
    layout >> rootId >> rootProperties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        TLayoutEntry entry{0, {}};
        item.beginStructure();
        item >> entry.Id >> entry.Properties;
        item.endStructure();
        entries.push_back(entry);
    }
    layout.endArray();
    layout.endStructure();
    return entries;
}

TEST_F(StatusNotifierTest, TheMenuReachesThePanelAsItIsAndItsChoicesComeBack)
{
    QMenu menu;
    QAction* show = menu.addAction(QStringLiteral("&Show"));
    menu.addSeparator();
    QAction* close = menu.addAction(QStringLiteral("Close"));
    menu.addAction(QStringLiteral("Tarif_1"))->setEnabled(false);
    menu.addAction(QStringLiteral("Weg"))->setVisible(false);
    QAction* automatic = menu.addAction(QStringLiteral("Auto && mehr"));
    automatic->setCheckable(true);
    automatic->setChecked(true);
    int shown = 0, closed = 0;
    QObject::connect(show, &QAction::triggered, &menu, [&] { ++shown; });
    QObject::connect(close, &QAction::triggered, &menu, [&] { ++closed; });

    TStatusNotifierItem item(Program, 0);
    item.SetMenu(&menu);
    EXPECT_EQ(ItemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path(), QStringLiteral("/MenuBar"));

    const auto getLayout = [this] {
        return Call(QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"),
            {0, -1, QStringList()});
    };
    const QDBusMessage layout = getLayout();
    ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
    const std::vector<TLayoutEntry> expected{
        {1, {{"label", "_Show"}}},
        {2, {{"type", "separator"}}},
        {3, {{"label", "Close"}}},
        {4, {{"label", "Tarif__1"}, {"enabled", false}}},
        {5, {{"label", "Weg"}, {"enabled", false}, {"visible", false}}},
        {6, {{"label", "Auto & mehr"}, {"toggle-type", "checkmark"}, {"toggle-state", 1}}},
    };
    const std::vector<TLayoutEntry> entries = LayoutEntries(layout);
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].Id, expected[i].Id);
        EXPECT_EQ(entries[i].Properties, expected[i].Properties) << "item " << expected[i].Id;
    }

    // A click is answered first and carried out from the event loop; a number the menu does not
    // have does nothing.
    for (int id : {1, 3, 99})
        Call(QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
            {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    Settle();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);

    // A changed menu has a new revision, and its items keep their numbers.
    const uint revision = layout.arguments().value(0).toUInt();
    menu.insertAction(show, new QAction(QStringLiteral("Neu"), &menu));
    const QDBusMessage changed = getLayout();
    EXPECT_GT(changed.arguments().value(0).toUInt(), revision);
    const std::vector<TLayoutEntry> now = LayoutEntries(changed);
    ASSERT_EQ(now.size(), 7u);
    EXPECT_EQ(now[0].Id, 7);
    EXPECT_EQ(now[1].Id, 1);
}

TEST_F(StatusNotifierTest, TheItemShowsItsPictureAndStateAndReportsTheHostsClicks)
{
    TStatusNotifierItem item(Program, 0);
    std::vector<QSystemTrayIcon::ActivationReason> reasons;
    item.OnActivated = [&](QSystemTrayIcon::ActivationReason reason) { reasons.push_back(reason); };
    QPixmap red(16, 16);
    red.fill(QColor(255, 0, 0));
    item.SetIcon(QIcon(red));

    EXPECT_EQ(ItemProperty(QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    EXPECT_EQ(ItemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path(), QStringLiteral("/NO_DBUSMENU"))
        << "without a menu the host asks for one with ContextMenu";
    const QDBusArgument pixmaps = ItemProperty(QStringLiteral("IconPixmap")).value<QDBusArgument>();
    int width = 0, height = 0;
    QByteArray bytes;
    pixmaps.beginArray();
    pixmaps.beginStructure();
    pixmaps >> width >> height >> bytes;
    pixmaps.endStructure();
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    ASSERT_EQ(bytes.size(), 16 * 16 * 4);
    EXPECT_EQ(bytes.left(4), QByteArray::fromHex("ffff0000")) << "ARGB in network byte order";

    item.SetShown(false);
    EXPECT_EQ(ItemProperty(QStringLiteral("Status")).toString(), QStringLiteral("Passive"));

    const QString path = QStringLiteral("/StatusNotifierItem");
    const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
    Call(path, itemInterface, QStringLiteral("Activate"), {1, 2});
    Call(path, itemInterface, QStringLiteral("SecondaryActivate"), {1, 2});
    Call(path, itemInterface, QStringLiteral("ContextMenu"), {1, 2});
    EXPECT_EQ(reasons,
        (std::vector<QSystemTrayIcon::ActivationReason>{
            QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}));
}

TEST_F(StatusNotifierTest, TheWatchFollowsTheWatcherAndItsHostsBySignalsAlone)
{
    TNotificationAreaWatch watch;
    std::vector<std::pair<TAreaKind, TAreaKind>> changes;
    watch.OnChanged = [&](TAreaKind before, TAreaKind now) { changes.emplace_back(before, now); };
    watch.Start(Program);
    EXPECT_EQ(watch.Kind(), akNone);

    // A panel starts: its watcher appears with a host.
    QObject watcherObject;
    auto* watcher = new TFakeWatcher(&watcherObject);
    ASSERT_TRUE(Panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcherObject));
    ASSERT_TRUE(Panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    Settle();
    EXPECT_EQ(watch.Kind(), akStatusNotifier);
    EXPECT_EQ(watch.WatcherOwner(), Panel.baseService());

    // Nothing changes for a minute of the program's time: nobody asks anything.
    const int questions = watcher->Questions;
    TFakeClock clock;
    RunEventLoopFor(clock, 60000);
    EXPECT_EQ(watcher->Questions, questions);

    // The host goes and comes back; the watcher says so by its signals.
    auto announce = [&](const char* signal) {
        Panel.send(QDBusMessage::createSignal(QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.kde.StatusNotifierWatcher"), QString::fromLatin1(signal)));
        Settle();
    };
    watcher->Hosted = false;
    announce("StatusNotifierHostUnregistered");
    EXPECT_EQ(watch.Kind(), akNone);
    watcher->Hosted = true;
    announce("StatusNotifierHostRegistered");
    EXPECT_EQ(watch.Kind(), akStatusNotifier);
    announce("StatusNotifierHostRegistered");

    // The panel ends.
    Panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    Settle();
    EXPECT_EQ(watch.Kind(), akNone);
    EXPECT_EQ(changes,
        (std::vector<std::pair<TAreaKind, TAreaKind>>{{akNone, akStatusNotifier}, {akStatusNotifier, akNone},
            {akNone, akStatusNotifier}, {akStatusNotifier, akNone}}))
        << "a second host is no new area";
}

} // namespace

#include "StatusNotifierTest.moc"
