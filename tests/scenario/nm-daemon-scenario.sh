#!/bin/bash
# The built program and rasdial, black-box, against NetworkManager itself in a private network
# namespace (tests/support/nm-netns.sh): a metered Ethernet profile over a veth pair is listed,
# priced per minute once activated, logged with its interface and deactivated when its entry is
# unticked; an unmetered one is not listed; a PPPoE session logs its Ethernet parent; a hang-up
# PolicyKit refuses is recorded with NetworkManager's answer; a session goes on through a
# NetworkManager restart; a restarted NetworkManager keeps the entries' names and order.
#
#   nm-daemon-scenario.sh BINDIR    (BINDIR holds zeltix, librasapi32.so and rasdial)
#
# Exits 77, saying why, where the machine cannot run NetworkManager this way.
set -euo pipefail
BIN=$(realpath "$1")
HERE=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
NETNS=$HERE/../support/nm-netns.sh
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "a private network namespace needs root"
for p in NetworkManager nmcli dbus-daemon unshare nsenter ip setpriv python3; do
    PATH=$PATH:/usr/sbin:/sbin command -v $p >/dev/null || skip "$p is not installed"
done
[ -w /dev/net/tun ] || skip "no /dev/net/tun for pppd's stand-in"
/usr/bin/python3 -c "import dbus" 2>/dev/null || skip "python3-dbus is not installed"
unshare -n -m true 2>/dev/null || skip "no private network and mount namespace here"

W=$(mktemp -d)
chmod 755 "$W" # the second program folder is nobody's
ZELTIX=
cleanup() {
    [ -n "$ZELTIX" ] && kill -KILL "$ZELTIX" 2>/dev/null || true
    "$NETNS" down "$W/ns" || true
    rm -rf "$W"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    for f in "$W"/*/Protokol.txt "$W"/*/error.log "$W"/*/out.txt; do
        [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
    done
    exit 1
}
inside() { "$NETNS" exec "$W/ns" "$@"; }
nm() { inside nmcli "$@"; }
# Waits up to 20 s for the check to hold.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what"
}
active() { [ "$(nm -g GENERAL.STATE connection show "$1")" = activated ]; }
inactive() { ! active "$1"; }
# Whether the file holds the bytes (over line ends, and in a binary file).
has() {
    [ -f "$1" ] && /usr/bin/python3 -c 'import sys; sys.exit(sys.argv[2].encode("latin-1") not in open(sys.argv[1], "rb").read())' "$1" "$2"
}
rasdial() { inside env ZELTIX_RAS_DIR="$W/a/ras" "$BIN/rasdial" "$@"; }

# A program folder of its own with its tariffs (conns.ini), run by the user given.
program_folder() { # folder user conns.ini
    mkdir -p "$1/ras" "$1/run" "$1/home"
    cp "$BIN/zeltix" "$BIN/librasapi32.so" "$1/"
    printf '%b' "$3" >"$1/conns.ini"
    chown -R "$2" "$1"
    chmod 700 "$1/run"
}
start_program() { # folder user
    nsenter -t "$(cat "$W/ns/ns.pid")" -n -m --wd=/ setpriv --reuid="$2" --regid="$2" --clear-groups env QT_QPA_PLATFORM=offscreen LANG=de_DE.UTF-8 \
        LC_ALL=de_DE.UTF-8 ASAN_OPTIONS=strict_string_checks=0:detect_leaks=0 HOME="$1/home" XDG_CONFIG_HOME="$1/home" XDG_RUNTIME_DIR="$1/run" \
        ZELTIX_RAS_DIR="$1/ras" "$1/zeltix" >"$1/out.txt" 2>&1 &
    ZELTIX=$!
    # nsenter, setpriv and env become the program, which sees a connection that is up already
    # at its first poll as well as one that comes up later.
    kill -0 "$ZELTIX" || fail "the program did not start"
}
stop_program() {
    kill -TERM "$ZELTIX"
    wait "$ZELTIX" || true
    ZELTIX=
}

NM_VETH=1 NM_PPPD=1 NM_POLKIT=root-only "$NETNS" up "$W/ns" || skip "NetworkManager did not start"
ethernet() { # name interface metered
    nm connection add type ethernet con-name "$1" ifname "$2" connection.metered "$3" connection.autoconnect no \
        ipv4.method manual ipv4.addresses 10.1.1.1/24 ipv6.method disabled >/dev/null
}
ethernet "LAN Handy" veth0 yes
ethernet "Buero" veth0 no
nm connection add type pppoe con-name DSL ifname ppp0 pppoe.parent veth1 pppoe.username u pppoe.password p \
    connection.autoconnect no ipv6.method disabled >/dev/null

echo "== the metered profiles are listed, the unmetered one is not"
phonebook=$(rasdial --phonebook)
echo "$phonebook"
grep -qx "LAN Handy: ethernet, veth0, 0 bps" <<<"$phonebook" || fail "LAN Handy is not listed"
grep -q "^DSL: PPPoE, veth1" <<<"$phonebook" || fail "DSL is not listed with its Ethernet parent"
! grep -q "^Buero" <<<"$phonebook" || fail "the unmetered profile is listed"

echo "== a metered Ethernet session: priced per minute, logged with its interface"
program_folder "$W/a" root '[LAN Handy]\r\nKosten=2,50\r\nChecked=1\r\n[DSL]\r\nKosten=1,00\r\nChecked=1\r\n'
start_program "$W/a" 0
nm connection up "LAN Handy" >/dev/null
wait_for "no session of LAN Handy in the log" has "$W/a/Protokol.txt" \
    $'] Verbindung zu LAN Handy aufgenommen!\r\n  DeviceName: veth0\r\n  DeviceType: ethernet\r\n'
# The history row: the entry, a duration under a minute and the first minute's 2,50.
wait_for "the first minute is not charged" has "$W/a/connhistory.dat" $'LAN Handy\x0800:00:0'
has "$W/a/connhistory.dat" $'\x042,50' || fail "the first minute is not charged at 2,50"
nm connection down "LAN Handy" >/dev/null
wait_for "the session did not end" has "$W/a/Protokol.txt" $'] Verbindung zu LAN Handy getrennt!\r\n'

echo "== a PPPoE session logs its Ethernet parent"
nm connection up DSL >/dev/null
wait_for "no PPPoE session with its parent in the log" has "$W/a/Protokol.txt" \
    $'] Verbindung zu DSL aufgenommen!\r\n  DeviceName: veth1\r\n  DeviceType: PPPoE\r\n'
nm connection down DSL >/dev/null
wait_for "the PPPoE session did not end" has "$W/a/Protokol.txt" $'] Verbindung zu DSL getrennt!\r\n'

echo "== an unticked entry's connection is deactivated"
stop_program
printf '[LAN Handy]\r\nKosten=2,50\r\nChecked=0\r\n' >"$W/a/conns.ini"
start_program "$W/a" 0
nm connection up "LAN Handy" >/dev/null
wait_for "the blocked connection was not deactivated" inactive "LAN Handy"
[ "$(grep -ac 'Verbindung zu LAN Handy aufgenommen' "$W/a/Protokol.txt")" = 1 ] || fail "the blocked connection was logged"
stop_program

echo "== a hang-up PolicyKit refuses is recorded with NetworkManager's answer"
program_folder "$W/b" 65534 '[LAN Handy]\r\nKosten=2,50\r\nChecked=0\r\n'
start_program "$W/b" 65534
nm connection up "LAN Handy" >/dev/null
wait_for "no refusal in error.log" has "$W/b/error.log" "The connection to LAN Handy could not be hung up: "
cat "$W/b/error.log"
has "$W/b/error.log" 'org.freedesktop.NetworkManager.PermissionDenied: Not authorized to deactivate connections' ||
    fail "error.log does not name PolicyKit's refusal"
active "LAN Handy" || fail "the refused hang-up ended the connection"
stop_program

echo "== a session goes on through a NetworkManager restart: begun once, ended once"
count() { grep -ac "Verbindung zu LAN Handy $1" "$W/a/Protokol.txt" || true; }
counted() { [ "$(count "$1")" = "$2" ]; }
printf '[LAN Handy]\r\nKosten=2,50\r\nChecked=1\r\n' >"$W/a/conns.ini"
opened=$(count aufgenommen)
closed=$(count getrennt)
start_program "$W/a" 0
nm connection up "LAN Handy" >/dev/null
wait_for "the session did not begin" counted aufgenommen $((opened + 1))
"$NETNS" stop "$W/ns"
sleep 2 # the program polls while NetworkManager is off the bus
# rasdial, which never saw NetworkManager, lists nothing and ends nothing of the program's
[ "$(rasdial)" = "No connections" ] || fail "rasdial listed a connection while NetworkManager was gone"
sleep 1
"$NETNS" start "$W/ns"
wait_for "NetworkManager did not take LAN Handy over" active "LAN Handy"
sleep 3
counted getrennt "$closed" || fail "the restart ended the session"
counted aufgenommen $((opened + 1)) || fail "the restart began a second session"
nm connection down "LAN Handy" >/dev/null
wait_for "the session did not end" counted getrennt $((closed + 1))
stop_program
nm connection up "LAN Handy" >/dev/null

echo "== NetworkManager restarted: the entries keep their names and order"
# A restarted NetworkManager numbers its active connections from 1 again and takes over the
# Ethernet link that is still up (a PPPoE link ends with its pppd); a handle stays its entry's.
nm connection up DSL >/dev/null
phonebook=$(rasdial --phonebook)
before=$(rasdial)
echo "$before"
"$NETNS" restart "$W/ns"
[ "$(rasdial --phonebook | sed 's/, [0-9]* bps$//')" = "$(sed 's/, [0-9]* bps$//' <<<"$phonebook")" ] ||
    fail "the phonebook changed: $(rasdial --phonebook)"
connected() { rasdial | grep -q "^$1 0x.* RASCS_Connected$"; }
wait_for "LAN Handy is not connected under its name" connected "LAN Handy"
after=$(rasdial)
echo "$after"
while read -r name handle _; do
    [ -z "$handle" ] && continue
    was=$(awk -v h="$handle" '$(NF-1) == h { $NF = ""; $(NF-1) = ""; print }' <<<"$before" | sed 's/ *$//')
    now=$(awk -v h="$handle" '$(NF-1) == h { $NF = ""; $(NF-1) = ""; print }' <<<"$after" | sed 's/ *$//')
    [ -z "$was" ] || [ "$was" = "$now" ] || fail "the handle $handle was $was and is $now"
done < <(awk '{ print "x", $(NF-1) }' <<<"$after")
echo "PASSED"
