#!/usr/bin/python3
"""A notification area of the tests' own on the session bus: an org.kde.StatusNotifierWatcher
with a host registered, as a desktop panel runs it. It writes what it sees, one line each, to
the file named as its argument:

  item NAME PATH               an item was registered
  status STATUS / icon WxH,..  the item's properties as the host reads them
  menu ID=LABEL ...            the item's menu, read through com.canonical.dbusmenu
  gone NAME                    the item's owner left the bus
"""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"

log = open(sys.argv[1], "a", buffering=1)


def say(line):
    log.write(line + "\n")


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        self.items.append(name + path)
        say("item %s %s" % (name, path))
        self.StatusNotifierItemRegistered(name + path)
        GLib.idle_add(self.read_item, name, path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    def owner_changed(self, name, old, new):
        if old and not new and any(item.startswith(name + "/") for item in self.items):
            self.items = [item for item in self.items if not item.startswith(name + "/")]
            say("gone " + name)

    def read_item(self, name, path):
        item = self.bus.get_object(name, path, introspect=False)
        props = dbus.Interface(item, PROPS)
        status = props.Get(ITEM, "Status")
        pixmaps = props.Get(ITEM, "IconPixmap")
        say("status " + str(status))
        say("icon " + ",".join("%dx%d" % (w, h) for w, h, _ in pixmaps))
        menu_path = props.Get(ITEM, "Menu")
        if menu_path != "/NO_DBUSMENU":
            menu = dbus.Interface(self.bus.get_object(name, menu_path, introspect=False), MENU)
            _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"))
            entries = []
            for child in layout[2]:
                labels = child[1]
                entries.append("%d=%s" % (child[0], labels.get("label", "-" if labels.get("type") == "separator" else "?")))
            say("menu %s %s" % (menu_path, " ".join(entries)))
        return False


DBusGMainLoop(set_as_default=True)
session = dbus.SessionBus()
watcher = Watcher(session)
name = dbus.service.BusName(WATCHER, session, do_not_queue=True)
watcher.StatusNotifierHostRegistered()
say("ready")
GLib.MainLoop().run()
