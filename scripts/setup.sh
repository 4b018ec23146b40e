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
    libsystemd-dev dbus-daemon dbus-bin python3-dbus python3-gi python3-dbusmock libxcb1-dev
    network-manager util-linux systemd
    xvfb xauth x11-utils imagemagick trayer xdotool weston qt6-wayland
    fonts-dejavu-core fonts-liberation fonts-liberation2
)

missing=()
for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

# German formats for the program, and English ones for the tests that compare both. A locale
# counts only when /etc/locale.gen names it too: Debian's locale-gen, which every upgrade of the
# locales package runs, removes every locale that file does not name.
missing_locales=()
for name in de_DE.UTF-8 en_US.UTF-8; do
    if ! grep -qx "${name} UTF-8" /etc/locale.gen 2>/dev/null ||
        ! locale -a 2>/dev/null | grep -qix "${name%%.*}.utf-\?8"; then
        missing_locales+=("$name")
    fi
done

# What root has to do, one command a line: run here, or shown to a user who cannot become root.
root_steps=()
if [ ${#missing[@]} -gt 0 ]; then
    # NetworkManager is installed for the tests, which run it in a private namespace only: on a
    # machine it does not run yet, it must not start managing the machine's own networking, nor
    # the ModemManager it brings along probe the modems the user dials with pppd (systemctl
    # unmask undoes this).
    if [[ " ${missing[*]} " == *" network-manager "* ]] && [ -d /run/systemd/system ]; then
        services="NetworkManager.service NetworkManager-wait-online.service NetworkManager-dispatcher.service"
        dpkg-query -W -f='${Status}' modemmanager 2>/dev/null | grep -q 'install ok installed' ||
            services+=" ModemManager.service"
        root_steps+=("systemctl mask $services")
    fi
    root_steps+=("apt-get update -qq")
    root_steps+=("DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ${missing[*]}")
fi
if [ ${#missing_locales[@]} -gt 0 ]; then
    for name in "${missing_locales[@]}"; do
        root_steps+=("grep -qx '${name} UTF-8' /etc/locale.gen || echo '${name} UTF-8' >>/etc/locale.gen")
    done
    root_steps+=("locale-gen --keep-existing")
fi

# Only root may install packages and locales. A user without sudo's rights (a Debian installed
# with a root password leaves the first user out of the group sudo) is told what to run as root.
cannot_become_root() {
    local step
    echo
    echo "This needs root's rights, and $(id -un) cannot get them through sudo."
    echo "Become root (su -, with the root password) and run:"
    echo
    for step in "${root_steps[@]}"; do
        echo "    $step"
    done
    echo
    echo "Then run the same command again as $(id -un)."
    echo "(Or let root add $(id -un) to the group sudo once: adduser $(id -un) sudo, then log in again.)"
    exit 1
}

if [ ${#root_steps[@]} -gt 0 ]; then
    [ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}"
    [ ${#missing_locales[@]} -eq 0 ] || echo "Enabling and generating the locales: ${missing_locales[*]}"
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 || cannot_become_root
        sudo -v || cannot_become_root
        as_root=(sudo)
    fi
    for step in "${root_steps[@]}"; do
        "${as_root[@]}" sh -c "$step"
    done
fi

if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
