#!/usr/bin/env bash
# Shows Zeltix watching a NetworkManager connection on a machine without NetworkManager or a
# modem: a private D-Bus with the NetworkManager double of python3-dbusmock, a GSM profile
# "Mobilfunk" on a modem (ttyUSB2, IP interface wwan0), activated a few seconds after the start,
# whose counters grow every second. Zeltix runs in a folder of its own with a tariff of
# 9,90 cents per minute for it.
#
#   scripts/nm-demo.sh [SECONDS]
#
# With a display the program shows until it is closed (the double stays as long). Without one,
# it runs under xvfb-run for SECONDS (default 20), and the main window is saved to
# build/zeltix-nm-demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/lib/tray.sh
seconds=${1:-20}

if [ -z "${INSIDE_DEMO:-}" ]; then
    scripts/setup.sh zeltix rasapi32 rasdial
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec env INSIDE_DEMO=1 HEADLESS=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$seconds"
    fi
fi

dir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

address="unix:path=$dir/bus"
cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>$address</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/bus.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do [ -S "$dir/bus" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$address /usr/bin/python3 -m dbusmock --session --template networkmanager \
    >"$dir/mock.log" 2>&1 &
pids+=($!)

# The double's profile, modem and connection; then the connection's counters, once a second.
DBUS_SESSION_BUS_ADDRESS=$address /usr/bin/python3 - <<'EOF' &
import time
import dbus

bus = dbus.SessionBus()
for _ in range(100):
    if bus.name_has_owner("org.freedesktop.NetworkManager"):
        break
    time.sleep(0.1)
nm = "org.freedesktop.NetworkManager"
mock = dbus.Interface(bus.get_object(nm, "/org/freedesktop/NetworkManager"), "org.freedesktop.DBus.Mock")
settings = dbus.Interface(bus.get_object(nm, "/org/freedesktop/NetworkManager/Settings"),
                          "org.freedesktop.NetworkManager.Settings")
profile = settings.AddConnection({
    "connection": {"id": "Mobilfunk", "type": "gsm", "uuid": "5e1f3a52-5d1c-4bb2-9d6f-2f1e0a8e7c11"},
    "gsm": {"apn": "internet"},
})
device = mock.AddEthernetDevice("wwan0", "ttyUSB2", 100)
mock.SetProperty(device, "org.freedesktop.NetworkManager.Device", "IpInterface", "wwan0")
statistics = "org.freedesktop.NetworkManager.Device.Statistics"
dbus.Interface(bus.get_object(nm, device), "org.freedesktop.DBus.Mock").AddProperties(
    statistics, {"RefreshRateMs": dbus.UInt32(0), "TxBytes": dbus.UInt64(0), "RxBytes": dbus.UInt64(0)})
time.sleep(3)
active = mock.AddActiveConnection([device], profile, "/", "1", dbus.UInt32(1))
time.sleep(3)
mock.SetProperty(active, "org.freedesktop.NetworkManager.Connection.Active", "State", dbus.UInt32(2))
sent = received = 0
while True:
    time.sleep(1)
    sent += 1400
    received += 23500
    dbus.Interface(bus.get_object(nm, device), "org.freedesktop.DBus.Mock").UpdateProperties(
        statistics, {"TxBytes": dbus.UInt64(sent), "RxBytes": dbus.UInt64(received)})
EOF
pids+=($!)

program="$dir/program"
mkdir -p "$program"
cp build/bin/zeltix build/bin/librasapi32.so build/bin/rasdial "$program/"
printf '[Mobilfunk]\r\nKosten=9,90\r\nChecked=1\r\n' >"$program/conns.ini"
export ZELTIX_SYSTEM_BUS=$address ZELTIX_RAS_DIR="$dir/ras"
case "${LC_ALL:-${LC_TIME:-${LANG:-}}}" in
    "" | C | C.* | POSIX) export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 ;;
esac

if [ -z "${HEADLESS:-}" ]; then
    echo "Zeltix is starting; \"Mobilfunk\" connects after about six seconds."
    echo "List it from another terminal with: ZELTIX_SYSTEM_BUS=$address ZELTIX_RAS_DIR=$dir/ras build/bin/rasdial"
    "$program/zeltix"
    exit 0
fi

# Headless: a notification area, the program in it, its window shown from the icon.
start_notification_area
pids+=("$tray")
"$program/zeltix" &
zeltix=$!
pids+=("$zeltix")
sleep 2
window=$(show_main_window_from_tray)
sleep "$seconds"
"$program/rasdial"
import -window "$window" "$root/build/zeltix-nm-demo.png"
echo "The main window watching a NetworkManager GSM connection: build/zeltix-nm-demo.png"
