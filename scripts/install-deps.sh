#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the run need, but only
# those that are missing, so a prepared machine is not touched.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite qt6-svg-dev qt6-qpa-plugins
      qt6-l10n-tools qt6-tools-dev libssl-dev
      libgl1-mesa-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
      xvfb xauth xdotool x11-utils x11-apps openbox wmctrl fonts-liberation2 fonts-dejavu-core poppler-utils sqlite3 clang-format
      dpkg-dev desktop-file-utils man-db gzip util-linux clang libclang-rt-14-dev)
# The print test starts a private cupsd of its own (never the system's): only the scheduler
# and lpadmin/lpstat, without the recommended avahi, cups-browsed, colord and ipp-usb services.
print_pkgs=(cups-daemon cups-client)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${pkgs[@]}"; do
    installed "$p" || missing+=("$p")
done
missing_print=()
for p in "${print_pkgs[@]}"; do
    installed "$p" || missing_print+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_print[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]} ${missing_print[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y -qq "${missing[@]}"
# A machine without an init system cannot start the system's cupsd after installing it; the
# packages are in place all the same, and the print test needs only the programs.
[ ${#missing_print[@]} -eq 0 ] ||
    $SUDO apt-get install -y -qq --no-install-recommends "${missing_print[@]}" ||
    installed cups-daemon || echo "install-deps: cups-daemon did not install; the print test will skip" >&2
