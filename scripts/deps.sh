#!/usr/bin/env bash
# Installs the Debian packages the tool, its tests and its simulated cabinet need,
# only those that are missing. Uses sudo when not root. "deps.sh package" adds what the Debian
# package build needs (manual pages, icon, checks).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite libgl-dev
  qt6-charts-dev libqt6charts6
  qt6-httpserver-dev qt6-websockets-dev prometheus
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsimpleini-dev libmodbus-dev mbpoll
  fonts-noto-cjk xvfb
  sqlite3
  poppler-utils
)
if [ "${1:-}" = package ]; then
  PACKAGES+=(help2man librsvg2-bin dpkg-dev desktop-file-utils lintian)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
