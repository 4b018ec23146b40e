#!/usr/bin/env bash
# CI: runs the already built test suite once more as an ordinary user (zeltixci, made when
# missing), as a user who runs ./test does. Tests that need root skip and say why; none may
# fail. Needs root itself, to make the user and let it read the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
user=${1:-zeltixci}
tree=$(pwd)

id -u "$user" >/dev/null 2>&1 || useradd --create-home "$user"
# The user may pass through the folders above the tree (a clone in /root, say) and read the
# tree. The build becomes the user's for the run, as a user's own build is (CTest's records,
# the installation check and its manifest are written there), and root's again afterwards; the
# folders above the tree get their modes back.
restore=()
dir=$(dirname "$tree")
while [ "$dir" != / ]; do
    restore+=("$(stat -c %a "$dir")" "$dir")
    chmod o+x "$dir"
    dir=$(dirname "$dir")
done
owner=$(stat -c %u:%g build)
give_back() {
    chown -R "$owner" build
    set -- "${restore[@]}"
    while [ $# -gt 0 ]; do
        chmod "$1" "$2"
        shift 2
    done
}
trap give_back EXIT
chmod -R o+rX "$tree"
chown -R "$user" build

home=$(getent passwd "$user" | cut -d: -f6)
runuser -u "$user" -- env -i PATH="$PATH" HOME="$home" USER="$user" LOGNAME="$user" LANG=C.UTF-8 \
    "$tree/scripts/run-tests.sh"
