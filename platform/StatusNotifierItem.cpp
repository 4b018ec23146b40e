#include "platform/StatusNotifierItem.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QVariantMap>
#include <QtEndian>

#include <unistd.h>

// The records of the two interfaces, marshalled as their signatures say.

struct TSniPixmap {
    int Width = 0;
    int Height = 0;
    QByteArray Bytes; // ARGB32, each pixel in network byte order
};
using TSniPixmaps = QList<TSniPixmap>;

struct TSniToolTip {
    QString IconName;
    TSniPixmaps Pixmaps;
    QString Title;
    QString Text;
};

struct TMenuLayoutItem {
    int Id = 0;
    QVariantMap Properties;
    QList<TMenuLayoutItem> Children;
};

struct TMenuItemProperties {
    int Id = 0;
    QVariantMap Properties;
};
using TMenuItemPropertiesList = QList<TMenuItemProperties>;

struct TMenuEvent {
    int Id = 0;
    QString EventId;
    QDBusVariant Data;
    uint Timestamp = 0;
};
using TMenuEventList = QList<TMenuEvent>;

Q_DECLARE_METATYPE(TSniPixmap)
Q_DECLARE_METATYPE(TSniToolTip)
Q_DECLARE_METATYPE(TMenuLayoutItem)
Q_DECLARE_METATYPE(TMenuItemProperties)
Q_DECLARE_METATYPE(TMenuEvent)

QDBusArgument& operator<<(QDBusArgument& arg, const TSniPixmap& pixmap)
{
    arg.beginStructure();
    arg << pixmap.Width << pixmap.Height << pixmap.Bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TSniPixmap& pixmap)
{
    arg.beginStructure();
    arg >> pixmap.Width >> pixmap.Height >> pixmap.Bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const TSniToolTip& tip)
{
    arg.beginStructure();
    arg << tip.IconName << tip.Pixmaps << tip.Title << tip.Text;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TSniToolTip& tip)
{
    arg.beginStructure();
    arg >> tip.IconName >> tip.Pixmaps >> tip.Title >> tip.Text;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const TMenuLayoutItem& item)
{
    arg.beginStructure();
    arg << item.Id << item.Properties;
    // The children travel as variants, which is how the layout nests.
    arg.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const TMenuLayoutItem& child : item.Children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TMenuLayoutItem& item)
{
    arg.beginStructure();
    arg >> item.Id >> item.Properties;
    arg.beginArray();
    item.Children.clear();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        item.Children.append(qdbus_cast<TMenuLayoutItem>(child.variant()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const TMenuItemProperties& item)
{
    arg.beginStructure();
    arg << item.Id << item.Properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TMenuItemProperties& item)
{
    arg.beginStructure();
    arg >> item.Id >> item.Properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const TMenuEvent& event)
{
    arg.beginStructure();
    arg << event.Id << event.EventId << event.Data << event.Timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TMenuEvent& event)
{
    arg.beginStructure();
    arg >> event.Id >> event.EventId >> event.Data >> event.Timestamp;
    arg.endStructure();
    return arg;
}

namespace {

void RegisterTypes()
{
    static const bool Done = [] {
        qDBusRegisterMetaType<TSniPixmap>();
        qDBusRegisterMetaType<TSniPixmaps>();
        qDBusRegisterMetaType<TSniToolTip>();
        qDBusRegisterMetaType<TMenuLayoutItem>();
        qDBusRegisterMetaType<TMenuItemProperties>();
        qDBusRegisterMetaType<TMenuItemPropertiesList>();
        qDBusRegisterMetaType<TMenuEvent>();
        qDBusRegisterMetaType<TMenuEventList>();
        return true;
    }();
    (void)Done;
}

TSniPixmaps Pixmaps(const QIcon& icon)
{
    TSniPixmaps pixmaps;
    if (icon.isNull())
        return pixmaps;
    // Every size the picture has; hosts scale the one that suits their panel.
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = {QSize(16, 16), QSize(32, 32)};
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        TSniPixmap pixmap{image.width(), image.height(), QByteArray()};
        pixmap.Bytes.resize(image.width() * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.Bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

// A menu text for the host: '&' marks the access key there as '_', and a plain '_' is doubled.
QString MenuLabel(QString text)
{
    text.replace(QLatin1Char('_'), QStringLiteral("__"));
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            label += text[i] == QLatin1Char('&') ? QStringLiteral("&") : QStringLiteral("_") + text[i];
        } else {
            label += text[i];
        }
    }
    return label;
}

class TItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(TSniPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ IconName)
    Q_PROPERTY(TSniPixmaps OverlayIconPixmap READ NoPixmaps)
    Q_PROPERTY(QString AttentionIconName READ IconName)
    Q_PROPERTY(TSniPixmaps AttentionIconPixmap READ NoPixmaps)
    Q_PROPERTY(TSniToolTip ToolTip READ ToolTip)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)

public:
    explicit TItemAdaptor(TStatusNotifierItem* item)
        : QDBusAbstractAdaptor(item)
        , FItem(item)
    {
    }

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const { return QCoreApplication::applicationName(); }
    QString Title() const
    {
        return FItem->ToolTip().isEmpty() ? QCoreApplication::applicationName() : FItem->ToolTip();
    }
    QString Status() const { return FItem->Status(); }
    int WindowId() const { return 0; }
    QString IconName() const { return QString(); }
    TSniPixmaps IconPixmap() const { return Pixmaps(FItem->Icon()); }
    TSniPixmaps NoPixmaps() const { return {}; }
    TSniToolTip ToolTip() const { return TSniToolTip{QString(), {}, FItem->ToolTip(), QString()}; }
    bool ItemIsMenu() const { return false; }
    QDBusObjectPath Menu() const
    {
        return QDBusObjectPath(FItem->Menu() ? FItem->MenuPath() : QStringLiteral("/NO_DBUSMENU"));
    }

public Q_SLOTS:
    void Activate(int, int) { Report(QSystemTrayIcon::Trigger); }
    void SecondaryActivate(int, int) { Report(QSystemTrayIcon::MiddleClick); }
    void ContextMenu(int x, int y)
    {
        // A host that does not draw the menu itself gives the place to show it. A Wayland
        // compositor places a menu only beside a window of the program that is on screen;
        // without one it would become a stray window of its own.
        QMenu* menu = FItem->Menu();
        const QWidget* anchor = menu && menu->parentWidget() ? menu->parentWidget()->window() : nullptr;
        if (menu && (QGuiApplication::platformName() != QLatin1String("wayland") || (anchor && anchor->isVisible())))
            menu->popup(QPoint(x, y));
        Report(QSystemTrayIcon::Context);
    }
    void Scroll(int, const QString&) { }

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    void Report(QSystemTrayIcon::ActivationReason reason)
    {
        if (FItem->OnActivated)
            FItem->OnActivated(reason);
    }

    TStatusNotifierItem* FItem;
};

} // namespace

// The icon's menu on the bus: the host asks for its layout and reports the user's choice. The
// items are numbered in the order they are first seen, so a number keeps its item while the
// menu changes.
class TMenuExport : public QObject {
public:
    TMenuExport(QMenu* menu, QDBusConnection bus, QString path);
    ~TMenuExport() override { FBus.unregisterObject(FPath); }

    TMenuLayoutItem Layout(int parentId, int depth, const QStringList& names);
    QVariantMap Properties(int id, const QStringList& names);
    bool Clicked(int id);
    uint Revision() const { return FRevision; }
    QString Path() const { return FPath; }
    QMenu* Menu() const { return FMenu; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IdOf(QAction* action);
    QAction* ActionOf(int id) const;

    QPointer<QMenu> FMenu;
    QDBusConnection FBus;
    QString FPath;
    QList<QPointer<QAction>> FActions;
    uint FRevision = 1;
    QDBusAbstractAdaptor* FAdaptor = nullptr;
};

namespace {

class TMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

public:
    explicit TMenuAdaptor(TMenuExport* menu)
        : QDBusAbstractAdaptor(menu)
        , FMenu(menu)
    {
    }

    uint Version() const { return 3; }
    QString TextDirection() const { return QStringLiteral("ltr"); }
    QString Status() const { return QStringLiteral("normal"); }
    QStringList IconThemePath() const { return {}; }

    void Changed() { Q_EMIT LayoutUpdated(FMenu->Revision(), 0); }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, TMenuLayoutItem& layout)
    {
        layout = FMenu->Layout(parentId, recursionDepth, propertyNames);
        return FMenu->Revision();
    }
    TMenuItemPropertiesList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames)
    {
        TMenuItemPropertiesList items;
        for (int id : ids)
            items.append(TMenuItemProperties{id, FMenu->Properties(id, propertyNames)});
        return items;
    }
    QDBusVariant GetProperty(int id, const QString& name)
    {
        return QDBusVariant(FMenu->Properties(id, {name}).value(name));
    }
    void Event(int id, const QString& eventId, const QDBusVariant&, uint)
    {
        if (eventId == QLatin1String("clicked"))
            FMenu->Clicked(id);
    }
    QList<int> EventGroup(const TMenuEventList& events)
    {
        QList<int> unknown;
        for (const TMenuEvent& event : events)
            if (event.EventId == QLatin1String("clicked") && !FMenu->Clicked(event.Id))
                unknown.append(event.Id);
        return unknown;
    }
    bool AboutToShow(int) { return false; }
    QList<int> AboutToShowGroup(const QList<int>&, QList<int>& idErrors)
    {
        idErrors.clear();
        return {};
    }

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    TMenuExport* FMenu;
};

} // namespace

TMenuExport::TMenuExport(QMenu* menu, QDBusConnection bus, QString path)
    : FMenu(menu)
    , FBus(std::move(bus))
    , FPath(std::move(path))
{
    FAdaptor = new TMenuAdaptor(this);
    menu->installEventFilter(this);
    FBus.registerObject(FPath, this, QDBusConnection::ExportAdaptors);
}

bool TMenuExport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FMenu) {
        const QEvent::Type type = event->type();
        if (type == QEvent::ActionAdded || type == QEvent::ActionChanged || type == QEvent::ActionRemoved) {
            ++FRevision;
            static_cast<TMenuAdaptor*>(FAdaptor)->Changed();
        }
    }
    return false;
}

int TMenuExport::IdOf(QAction* action)
{
    for (qsizetype i = 0; i < FActions.size(); ++i)
        if (FActions[i] == action)
            return static_cast<int>(i) + 1;
    FActions.append(action);
    return static_cast<int>(FActions.size());
}

QAction* TMenuExport::ActionOf(int id) const
{
    if (id < 1 || id > FActions.size())
        return nullptr;
    QAction* action = FActions[id - 1];
    return action && FMenu && FMenu->actions().contains(action) ? action : nullptr;
}

QVariantMap TMenuExport::Properties(int id, const QStringList& names)
{
    QVariantMap properties;
    if (id == 0) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (QAction* action = ActionOf(id)) {
        if (action->isSeparator()) {
            properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            properties.insert(QStringLiteral("label"), MenuLabel(action->text()));
            if (action->isCheckable()) {
                properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
                properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
            }
        }
        // Only what differs from the defaults travels.
        if (!action->isEnabled())
            properties.insert(QStringLiteral("enabled"), false);
        if (!action->isVisible())
            properties.insert(QStringLiteral("visible"), false);
    }
    if (names.isEmpty())
        return properties;
    QVariantMap asked;
    for (const QString& name : names)
        if (properties.contains(name))
            asked.insert(name, properties.value(name));
    return asked;
}

TMenuLayoutItem TMenuExport::Layout(int parentId, int depth, const QStringList& names)
{
    TMenuLayoutItem item{parentId, Properties(parentId, names), {}};
    if (parentId != 0 || depth == 0 || !FMenu)
        return item;
    for (QAction* action : FMenu->actions()) {
        const int id = IdOf(action);
        item.Children.append(TMenuLayoutItem{id, Properties(id, names), {}});
    }
    return item;
}

bool TMenuExport::Clicked(int id)
{
    QPointer<QAction> action = ActionOf(id);
    if (!action)
        return false;
    // The answer goes back first: the command may end the program.
    QMetaObject::invokeMethod(
        this,
        [action] {
            if (action && action->isEnabled())
                action->trigger();
        },
        Qt::QueuedConnection);
    return true;
}

namespace {

// Hosts look for an item registered by its bus name at /StatusNotifierItem. An item is taken
// away and added anew as one, so the path is free again by then; a second icon at the same time
// lives beside it and is registered by its path.
QString FreePath(const QDBusConnection& bus, const QString& base, int number)
{
    return bus.objectRegisteredAt(base) ? QStringLiteral("%1/%2").arg(base).arg(number) : base;
}

} // namespace

TStatusNotifierItem::TStatusNotifierItem(const QDBusConnection& bus, int number)
    : FBus(bus)
    , FItemPath(FreePath(bus, QStringLiteral("/StatusNotifierItem"), number))
    , FNumber(number)
{
    RegisterTypes();
    new TItemAdaptor(this);
    FBus.registerObject(FItemPath, this, QDBusConnection::ExportAdaptors);
    setObjectName(QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(number));
}

TStatusNotifierItem::~TStatusNotifierItem()
{
    FMenuExport.reset();
    FBus.unregisterObject(FItemPath);
    // Giving up the name is what tells the watcher that the item has gone.
    QDBusMessage release = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
    release << objectName();
    release.setAutoStartService(false);
    FBus.send(release);
}

QString TStatusNotifierItem::MenuPath() const
{
    return FMenuExport ? FMenuExport->Path() : QString();
}

void TStatusNotifierItem::Register(const QString& watcherOwner)
{
    // The item's own name first, then the registration under it; the bus keeps the order of
    // the two calls, so neither waits for the other.
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << objectName() << 4u; // DBUS_NAME_FLAG_DO_NOT_QUEUE
    FBus.send(request);

    QDBusMessage call = QDBusMessage::createMethodCall(watcherOwner, QString::fromLatin1(StatusNotifier::WatcherPath),
        QString::fromLatin1(StatusNotifier::WatcherInterface), QStringLiteral("RegisterStatusNotifierItem"));
    call << (FItemPath == QLatin1String("/StatusNotifierItem") ? objectName() : FItemPath);
    call.setAutoStartService(false);
    FBus.send(call);
}

void TStatusNotifierItem::Announce(const char* signal, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(
        FItemPath, QString::fromLatin1(StatusNotifier::ItemInterface), QString::fromLatin1(signal));
    message.setArguments(arguments);
    FBus.send(message);
}

void TStatusNotifierItem::SetIcon(const QIcon& icon)
{
    if (icon.cacheKey() == FIcon.cacheKey())
        return;
    FIcon = icon;
    Announce("NewIcon");
}

void TStatusNotifierItem::SetToolTip(const QString& text)
{
    if (text == FToolTip)
        return;
    FToolTip = text;
    Announce("NewToolTip");
    Announce("NewTitle");
}

void TStatusNotifierItem::SetShown(bool shown)
{
    if (shown == FShown)
        return;
    FShown = shown;
    Announce("NewStatus", {Status()});
}

void TStatusNotifierItem::SetMenu(QMenu* menu)
{
    if (static_cast<QObject*>(menu) == FMenu.data())
        return;
    FMenu = menu;
    FMenuExport.reset();
    if (menu)
        FMenuExport = std::make_unique<TMenuExport>(menu, FBus, FreePath(FBus, QStringLiteral("/MenuBar"), FNumber));
    // Hosts read the item's Menu once; a new one is announced like a new picture.
    Announce("NewIcon");
}

#include "StatusNotifierItem.moc"
