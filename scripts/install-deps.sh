#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs that are not there yet (Debian 12 and later).
# No version in a name: libclang-rt-dev is the sanitizer and libFuzzer runtime of the default clang.
set -euo pipefail
PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-dev pkg-config python3
  qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev libxcb-xkb-dev
  libgsm1-dev libsoxr-dev libsndfile1-dev libpulse-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  pulseaudio pulseaudio-utils xvfb xauth openbox xdotool x11-xserver-utils x11-utils x11-apps iproute2 socat sox espeak-ng libespeak-ng-dev espeak-ng-data fonts-liberation
  dpkg-dev file librsvg2-bin desktop-file-utils appstream gzip lintian
  qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium curl
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
