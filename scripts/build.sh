#!/usr/bin/env bash
# Builds into a folder: scripts/build.sh DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}; shift || true
cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
ninja -C "$root/$dir" -j"$(nproc)"
