#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package kelvo_<version>_<arch>.deb (Release, without tests and benchmarks)
# into build-package/ and copies it to the top of the source tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
# The distribution's hardening (fortified functions, read-only relocations bound at start, position
# independent programs), as dpkg-buildflags gives it for a package built with hardening=+all.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
bash "$root/scripts/build.sh" build-package -DCMAKE_BUILD_TYPE=Release -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF \
  -DKELVO_GUI=ON -DKELVO_FUZZ=OFF -DKELVO_SANITIZE= -DKELVO_WERROR=OFF \
  "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)" "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)" "$@"
(cd "$root/build-package" && cpack -G DEB)
deb=$(ls -t "$root"/build-package/kelvo_*.deb | head -1)
cp "$deb" "$root/"
echo "Built $root/$(basename "$deb")"
echo "Install it with: sudo apt install $root/$(basename "$deb")"
