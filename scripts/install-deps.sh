#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the run need, but only
# those that are missing, so a prepared machine is not touched.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite qt6-svg-dev qt6-qpa-plugins
      libgl1-mesa-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
      xvfb xauth xdotool x11-utils x11-apps openbox wmctrl fonts-liberation2 fonts-dejavu-core poppler-utils sqlite3 clang-format
      dpkg-dev desktop-file-utils man-db gzip util-linux)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
