#!/usr/bin/python3
# pppd for NetworkManager where the kernel has no PPP: it answers NetworkManager's pppd plugin
# protocol (org.freedesktop.NetworkManager.PPP at the object named by "ipparam") and carries the
# link on a tun interface, which NetworkManager then renames as the profile says. Every packet
# sent over the link comes back as one received, so both counters move.
import fcntl
import os
import select
import signal
import socket
import struct
import sys

import dbus

args = sys.argv[1:]
ipparam = args[args.index("ipparam") + 1]
with open(os.environ.get("NM_PPPD_PIDS", "/run/pppd-standin.pids"), "a") as pids:
    pids.write("%d\n" % os.getpid())
log = open(os.environ.get("NM_PPPD_LOG", "/run/pppd-standin.log"), "a")

TUNSETIFF, IFF_TUN, IFF_NO_PI = 0x400454CA, 0x0001, 0x1000
tun = os.open("/dev/net/tun", os.O_RDWR)
request = fcntl.ioctl(tun, TUNSETIFF, struct.pack("16sH", b"pppstandin%d", IFF_TUN | IFF_NO_PI))
index = socket.if_nametoindex(request[:16].rstrip(b"\0").decode())

ppp = dbus.Interface(dbus.SystemBus().get_object("org.freedesktop.NetworkManager", ipparam),
                     "org.freedesktop.NetworkManager.PPP")
for phase in (2, 5):  # initialising, establishing
    ppp.SetState(dbus.UInt32(phase))
try:
    ppp.NeedSecrets()
except dbus.DBusException as e:
    log.write("NeedSecrets: %s\n" % e)
for phase in (6, 8, 9):  # authenticating, network, running
    ppp.SetState(dbus.UInt32(phase))
ppp.SetIfindex(dbus.Int32(index), timeout=25)


def address(text):
    return dbus.UInt32(struct.unpack("<I", socket.inet_aton(text))[0])


ppp.SetIp4Config({"interface": socket.if_indextoname(index), "address": address("10.64.64.10"),
                  "gateway": address("10.64.64.1"), "prefix": dbus.UInt32(32),
                  "dns": dbus.Array([address("10.64.64.1")], signature="u")})
log.write("up as %s\n" % socket.if_indextoname(index))
log.flush()


def end(*_):
    try:
        ppp.SetState(dbus.UInt32(1))  # dead
    finally:
        os._exit(0)


signal.signal(signal.SIGTERM, end)
signal.signal(signal.SIGINT, end)
while True:
    readable, _, _ = select.select([tun], [], [], 1)
    if readable:
        packet = os.read(tun, 65536)
        # The same packet with source and destination swapped.
        os.write(tun, packet[:12] + packet[16:20] + packet[12:16] + packet[20:])
