#!/usr/bin/env bash
# Installs the Debian packages Vellumet needs to build, run and test, if any
# are missing. Runs as root, or through sudo otherwise.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libqt6svg6 qt6-qpa-plugins libgl-dev
    libhidapi-dev libudev-dev libsqlite3-dev umockdev libumockdev-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth fonts-dejavu-core qt6-translations-l10n
    qt6-svg-dev help2man desktop-file-utils appstream file man-db
    libmosquitto-dev mosquitto openssl systemd
)
# Scripts that need more (the fuzzers' clang) name it on the command line.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
