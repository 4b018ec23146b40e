#!/usr/bin/env bash
# Runs inside xvfb-run: starts a notification area and Zeltix in it, shows the main window from
# the tray icon, dials "Demo Modem", photographs the main window while the session runs, hangs up
# and closes the program the way a desktop logout would.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/tray.sh
rasdial=build/bin/rasdial
shot=build/zeltix-demo.png

# A connection left over from an earlier demo is hung up first.
if "$rasdial" | grep -q '^Demo Modem '; then
    "$rasdial" "Demo Modem" /DISCONNECT --linger 0 >/dev/null 2>&1 || true
fi

# A notification area for Zeltix's icon: the program starts there, without a window.
start_notification_area

build/bin/zeltix &
zeltix=$!
trap 'kill -TERM $zeltix 2>/dev/null || true; kill $tray 2>/dev/null || true' EXIT
sleep 2

# A left click on the icon shows the main window.
window=$(show_main_window_from_tray)

"$rasdial" "Demo Modem" --connect-after 3
sleep 9
import -window "$window" "$shot"
"$rasdial" "Demo Modem" /DISCONNECT
sleep 3
kill -TERM "$zeltix"
wait "$zeltix" || true
kill "$tray" 2>/dev/null || true
trap - EXIT
