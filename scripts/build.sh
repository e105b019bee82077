#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds into a folder: scripts/build.sh DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}; shift || true
launcher=()   # a compiler cache, where one is installed, makes rebuilds of the four builds quick
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$root/$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
ninja -C "$root/$dir" -j"$(nproc)"
