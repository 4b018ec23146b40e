#!/usr/bin/env bash
# Runs inside xvfb-run: starts Zeltix, dials "Provider", photographs the main window while the
# session runs, hangs up and closes the program the way a desktop logout would.
set -euo pipefail
cd "$(dirname "$0")/.."
rasdial=build/bin/rasdial
shot=build/zeltix-demo.png

# A connection left over from an earlier demo is hung up first.
if "$rasdial" | grep -q '^Provider '; then
    "$rasdial" Provider /DISCONNECT --linger 0 >/dev/null 2>&1 || true
fi

build/bin/zeltix &
zeltix=$!
trap 'kill -TERM $zeltix 2>/dev/null || true' EXIT

window=""
for _ in $(seq 1 50); do
    window=$(xdotool search --name '^Zeltix$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.2
done
if [ -z "$window" ]; then
    echo "Zeltix did not show its main window." >&2
    exit 1
fi

"$rasdial" Provider --connect-after 3
sleep 9
import -window "$window" "$shot"
"$rasdial" Provider /DISCONNECT
sleep 3
kill -TERM "$zeltix"
wait "$zeltix" || true
trap - EXIT
