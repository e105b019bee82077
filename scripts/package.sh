#!/usr/bin/env bash
# Builds the Debian package kelvo_<version>_<arch>.deb (Release, without tests and benchmarks)
# into build-package/ and copies it to the top of the source tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" build-package -DCMAKE_BUILD_TYPE=Release -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF "$@"
(cd "$root/build-package" && cpack -G DEB)
deb=$(ls -t "$root"/build-package/kelvo_*.deb | head -1)
cp "$deb" "$root/"
echo "Built $root/$(basename "$deb")"
echo "Install it with: sudo apt install $root/$(basename "$deb")"
