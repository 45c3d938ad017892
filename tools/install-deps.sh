#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test packages this machine lacks.
# Safe to run again: when everything is present it only checks.
set -euo pipefail

packages=(
    cmake g++ make pkg-config dpkg-dev file
    qt6-base-dev qt6-serialport-dev qt6-base-dev-tools libgl-dev libsqlite3-dev
    fonts-liberation fonts-dejavu-core fonts-noto-color-emoji
    xvfb xauth x11-utils xdotool wmctrl openbox trayer imagemagick
    python3 libssl3 ca-certificates openssl php-cli
    dbus at-spi2-core python3-pyatspi
    clang libclang-rt-14-dev llvm-14 patch
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; exit 1; }
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
