#!/usr/bin/env bash
# Gives the stand-in dial-up service its demo entries and the program their tariffs. Entries
# already there are left as they are; the names cannot clash with the pppd peers a machine with
# Debian's ppp package has (/etc/ppp/peers/provider), and tariffs are written only for a program
# folder that has none yet.
set -euo pipefail
cd "$(dirname "$0")/.."
rasdial=build/bin/rasdial

existing=$("$rasdial" --phonebook 2>/dev/null || true)
add() {
    local name=$1
    shift
    if grep -qiF -- "$name:" <<<"$existing"; then
        return
    fi
    if ! "$rasdial" --add "$name" "$@" >/dev/null; then
        echo "The demo entry \"$name\" could not be added; the demo goes on without it." >&2
    fi
}
add "Demo Modem" --type modem --device "Standard 56000 bps Modem" --speed 56000
add "Demo ISDN" --type isdn --device "AVM ISDN Controller" --speed 64000
add "Demo Call-by-Call" --type modem --device "Standard 56000 bps Modem" --speed 56000

# Tariffs in cents per minute, in the program's own file (Windows-1252, CR LF line ends).
if [ ! -f build/bin/conns.ini ]; then
    printf '[Demo Modem]\r\nKosten=4,50\r\nChecked=1\r\n\r\n[Demo ISDN]\r\nKosten=2,90\r\nChecked=1\r\n\r\n[Demo Call-by-Call]\r\nKosten=1,49\r\nChecked=1\r\n' \
        >build/bin/conns.ini
fi
