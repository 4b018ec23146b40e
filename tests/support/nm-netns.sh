#!/bin/bash
# NetworkManager itself for the tests: the real daemon on a bus of its own, in a private network
# and mount namespace, so the machine's networking, its /etc/NetworkManager, /var/lib and /run
# and its system bus stay untouched. Needs root, network-manager, dbus-daemon, util-linux
# (unshare, nsenter) and iproute2.
#
#   nm-netns.sh up DIR           start in the empty scratch folder DIR; ready when it returns
#   nm-netns.sh exec DIR CMD...  run CMD inside (nmcli, ip, a shell)
#   nm-netns.sh restart DIR      NetworkManager stopped and started again on the same bus
#   nm-netns.sh stop|start DIR   the same in two steps, NetworkManager off the bus in between
#   nm-netns.sh restart-bus DIR  the bus and NetworkManager stopped and started again
#   nm-netns.sh down DIR         everything stopped; the namespace goes with its last process
#
# From outside, the bus is unix:path=/proc/$(cat DIR/ns.pid)/root/run/dbus/system_bus_socket and
# the namespace's /sys is below /proc/$(cat DIR/ns.pid)/root.
# Options for "up", in the environment:
#   NM_POLKIT=root-only   only root may deactivate or set statistics (the default: anyone)
#   NM_VETH=1             a veth pair veth0/veth1 (an Ethernet link, a PPPoE parent)
#   NM_PPPD=1             the pppd stand-in beside this script (kernels without PPP): PPPoE
#                         profiles reach "activated" on a tun interface
#   NM_MODEM=gsm|cdma     a ModemManager stand-in (python3-dbusmock) with one registered modem
#                         cdc-wdm0 whose data port wwan0 is a veth end
set -euo pipefail
HERE=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
cmd=$1
D=$(realpath -m "$2")
shift 2
inside() { nsenter -t "$(cat "$D/ns.pid")" -n -m --wd=/ "$@"; }
# A daemon started inside in the background; nsenter and env become it, so $! is its pid.
daemon() { # pid-file log command...
    local pidfile=$1 log=$2
    shift 2
    nsenter -t "$(cat "$D/ns.pid")" -n -m --wd=/ "$@" >>"$log" 2>&1 &
    echo $! >"$pidfile"
}
ready() {
    for _ in $(seq 150); do
        if inside nmcli -t general >/dev/null 2>&1 &&
            { [ -z "${NM_MODEM:-$(cat "$D/modem" 2>/dev/null)}" ] || inside nmcli -t -f DEVICE d | grep -qx cdc-wdm0; }; then
            return 0
        fi
        sleep 0.1
    done
    echo "NetworkManager did not come up; see $D/log" >&2
    return 1
}
stop() { # pid-file [signal]
    [ -f "$1" ] || return 0
    local pid
    pid=$(cat "$1")
    kill -"${2:-TERM}" "$pid" 2>/dev/null || true
    # A process whose parent has gone may stay a zombie for a while: it has ended all the same.
    for _ in $(seq 100); do
        [ -r "/proc/$pid/stat" ] && [ "$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null)" != Z ] || break
        sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$1"
}
start_nm() {
    daemon "$D/nm.pid" "$D/log/nm.log" env NM_PPPD_LOG="$D/log/pppd.log" NM_PPPD_PIDS="$D/pppd.pids" \
        NetworkManager --no-daemon --debug
}
start_bus() {
    inside rm -f /run/dbus/system_bus_socket
    daemon "$D/dbus.pid" "$D/log/dbus.log" dbus-daemon --config-file="$D/bus.conf" --nofork
    for _ in $(seq 50); do inside test -S /run/dbus/system_bus_socket && break; sleep 0.1; done
    inside chmod 666 /run/dbus/system_bus_socket
    if [ -n "$(cat "$D/modem" 2>/dev/null)" ]; then
        local caps=12
        [ "$(cat "$D/modem")" = cdma ] && caps=2
        daemon "$D/modem.pid" "$D/log/modem.log" /usr/bin/python3 -m dbusmock --system \
            --template "$HERE/nm-modem-standin.py" --parameters "{\"caps\": $caps}"
    fi
}
case $cmd in
exec)
    inside "$@"
    exit $?
    ;;
restart | stop)
    stop "$D/nm.pid"
    # The bus lets go of the name a moment after the process has ended.
    for _ in $(seq 100); do
        [ "$(inside busctl call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus NameHasOwner \
            s org.freedesktop.NetworkManager 2>/dev/null)" = "b true" ] || break
        sleep 0.05
    done
    [ "$cmd" = stop ] && exit 0
    start_nm
    ready
    exit $?
    ;;
start)
    start_nm
    ready
    exit $?
    ;;
restart-bus)
    stop "$D/nm.pid"
    stop "$D/modem.pid"
    stop "$D/dbus.pid"
    start_bus
    start_nm
    ready
    exit $?
    ;;
down)
    [ -f "$D/ns.pid" ] || exit 0
    # Nothing of it outlives the namespace, so nothing needs a clean end.
    stop "$D/nm.pid" KILL
    stop "$D/modem.pid" KILL
    stop "$D/dbus.pid" KILL
    # pppd stand-ins that outlived NetworkManager
    if [ -f "$D/pppd.pids" ]; then
        while read -r p; do kill -KILL "$p" 2>/dev/null || true; done <"$D/pppd.pids"
    fi
    stop "$D/ns.pid" KILL
    exit 0
    ;;
up) ;;
*)
    echo "usage: $0 up|exec|restart|stop|start|restart-bus|down DIR [CMD...]" >&2
    exit 2
    ;;
esac

mkdir -p "$D"/{etc,varlib,log,sbin}
echo "${NM_MODEM:-}" >"$D/modem"
cat >"$D/etc/NetworkManager.conf" <<CONF
[main]
plugins=keyfile
no-auto-default=*
dns=none
rc-manager=unmanaged
systemd-resolved=false
hostname-mode=none
auth-polkit=${NM_POLKIT:-false}
[keyfile]
unmanaged-devices=interface-name:lo;interface-name:wwanpeer
[connectivity]
enabled=false
CONF
# Debian's system bus settings with NetworkManager's policy, on the usual socket inside: no user
# switch, no activation, and root may own any name (the modem stand-in).
sed -e 's|<user>messagebus</user>||' -e 's|<fork/>||' -e 's|<standard_system_servicedirs/>||' \
    -e 's|<servicehelper>.*</servicehelper>||' -e 's|<pidfile>.*</pidfile>||' -e 's|<syslog/>||' \
    -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
    -e 's|</busconfig>|<policy user="root"><allow own="*"/><allow send_destination="*"/></policy></busconfig>|' \
    /usr/share/dbus-1/system.conf >"$D/bus.conf"
if [ -n "${NM_PPPD:-}" ]; then
    cp "$HERE/nm-pppd-standin.py" "$D/sbin/pppd"
    chmod 755 "$D/sbin/pppd"
fi
# The namespace's first process sets up its mounts and links, then only holds it open.
cat >"$D/inner.sh" <<'INNER'
set -e
D=$1
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/dbus /run/NetworkManager /run/lock
mount -t sysfs -o ro sysfs /sys
mount --bind "$D/etc" /etc/NetworkManager
mount --bind "$D/varlib" /var/lib/NetworkManager
if [ -x "$D/sbin/pppd" ]; then
    if [ -e /usr/sbin/pppd ]; then mount --bind "$D/sbin/pppd" /usr/sbin/pppd
    else mount --bind "$D/sbin" /usr/local/sbin; fi
fi
# The machine's own pppd peers are none of the tests' business.
[ -d /etc/ppp/peers ] && mount -t tmpfs tmpfs /etc/ppp/peers
ip link set lo up
if [ -n "${NM_VETH:-}" ]; then
    ip link add veth0 type veth peer name veth1
    ip link set veth0 up
    ip link set veth1 up
fi
if [ -n "${NM_MODEM:-}" ]; then
    ip netns add peer
    ip link add wwan0 type veth peer name wwanpeer
    ip link set wwanpeer netns peer
    ip netns exec peer sh -c 'ip link set lo up; ip addr add 10.99.0.1/30 dev wwanpeer; ip link set wwanpeer up'
fi
touch "$D/inner.ready"
exec sleep infinity
INNER
rm -f "$D/inner.ready"
unshare -n -m --propagation private -- bash "$D/inner.sh" "$D" >"$D/log/inner.log" 2>&1 &
echo $! >"$D/ns.pid"
for _ in $(seq 100); do [ -f "$D/inner.ready" ] && break; sleep 0.05; done
[ -f "$D/inner.ready" ] || { echo "the namespace did not come up; see $D/log/inner.log" >&2; exit 1; }
start_bus
start_nm
ready
