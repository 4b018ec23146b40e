#!/usr/bin/env bash
# Gives the stand-in dial-up service a demo phonebook, but only when it has no entries yet.
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${ZELTIX_RAS_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/zeltix-ras}"
if [ -f "$folder/rasphone.pbk" ] && grep -q '^\s*\[' "$folder/rasphone.pbk"; then
    exit 0
fi
echo "Creating the demo phonebook in $folder"
build/bin/rasdial --add "Provider" --type modem --device "Standard 56000 bps Modem" --speed 56000 >/dev/null
build/bin/rasdial --add "ISDN Provider" --type isdn --device "AVM ISDN Controller" --speed 64000 >/dev/null
build/bin/rasdial --add "Call-by-Call" --type modem --device "Standard 56000 bps Modem" --speed 56000 >/dev/null
