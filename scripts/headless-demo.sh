#!/usr/bin/env bash
# Runs inside xvfb-run: starts a notification area and Zeltix in it, shows the main window from
# the tray icon, dials "Demo Modem", photographs the main window while the session runs, hangs up
# and closes the program the way a desktop logout would.
set -euo pipefail
cd "$(dirname "$0")/.."
rasdial=build/bin/rasdial
shot=build/zeltix-demo.png

# A connection left over from an earlier demo is hung up first.
if "$rasdial" | grep -q '^Demo Modem '; then
    "$rasdial" "Demo Modem" /DISCONNECT --linger 0 >/dev/null 2>&1 || true
fi

# A notification area for Zeltix's icon: the program starts there, without a window.
trayer --edge top --align left --widthtype pixel --width 100 --height 24 --SetDockType true \
    --transparent false >/dev/null 2>&1 &
tray=$!
sleep 1

build/bin/zeltix &
zeltix=$!
trap 'kill -TERM $zeltix 2>/dev/null || true; kill $tray 2>/dev/null || true' EXIT
sleep 2

# A left click on the icon shows the main window.
window=""
for _ in $(seq 1 25); do
    xdotool mousemove 12 12 click 1 2>/dev/null || true
    sleep 0.4
    window=$(xdotool search --onlyvisible --name '^Zeltix$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
done
if [ -z "$window" ]; then
    echo "Zeltix did not show its main window from the tray icon." >&2
    exit 1
fi

"$rasdial" "Demo Modem" --connect-after 3
sleep 9
import -window "$window" "$shot"
"$rasdial" "Demo Modem" /DISCONNECT
sleep 3
kill -TERM "$zeltix"
wait "$zeltix" || true
kill "$tray" 2>/dev/null || true
trap - EXIT
