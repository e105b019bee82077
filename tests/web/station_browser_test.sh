#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one of the web station's browser tests (station_browser_test.py, station_voice_test.py) with
# Debian's Python, where python3-selenium is installed.
# Usage: station_browser_test.sh SCRIPT BIN_DIR [SCREENSHOT_DIR]. Exit 77 only when Chromium is not installed.
set -uo pipefail
command -v chromium >/dev/null || { echo "SKIP: chromium not installed (scripts/install-deps.sh installs it)"; exit 77; }
py=/usr/bin/python3
[ -x "$py" ] || py=python3
script=$1
shift
[ -z "${2:-}" ] || mkdir -p "$2"
exec "$py" "$(dirname "$0")/$script" "$@"
