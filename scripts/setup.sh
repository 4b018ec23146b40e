#!/usr/bin/env bash
# Brings a Debian 12 machine to the point where Zeltix builds, runs and tests: installs the
# packages that are missing, generates the locales the tests pin, configures and builds the
# targets named as arguments (all of them when none is named).
# A second run finds everything in place and only builds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-charts-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    locales iproute2
    libsystemd-dev dbus-daemon python3-dbusmock network-manager util-linux
    xvfb xauth x11-utils imagemagick trayer xdotool weston qt6-wayland
    fonts-dejavu-core fonts-liberation fonts-liberation2
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    # NetworkManager is installed for the tests, which run it in a private namespace only: on a
    # machine it does not run yet, it must not start managing the machine's own networking.
    if [[ " ${missing[*]} " == *" network-manager "* ]] && [ -d /run/systemd/system ]; then
        echo "NetworkManager is installed for the tests only: its service is masked" \
            "(systemctl unmask NetworkManager.service to use it)"
        as_root systemctl mask NetworkManager.service NetworkManager-wait-online.service NetworkManager-dispatcher.service
    fi
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

# German formats for the program, and English ones for the tests that compare both.
for name in de_DE en_US; do
    if ! locale -a 2>/dev/null | grep -qix "${name}.utf-\?8"; then
        echo "Generating the locale ${name}.UTF-8"
        as_root localedef -i "$name" -f UTF-8 "${name}.UTF-8"
    fi
done

if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
