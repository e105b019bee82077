#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs browser_test.py with Debian's Python, where python3-selenium is installed.
# Usage: browser_test.sh BIN_DIR [SCREENSHOT_DIR]. Exit 77 only when Chromium is not installed.
set -uo pipefail
command -v chromium >/dev/null || { echo "SKIP: chromium not installed (scripts/install-deps.sh installs it)"; exit 77; }
py=/usr/bin/python3
[ -x "$py" ] || py=python3
[ -z "${2:-}" ] || mkdir -p "$2"
exec "$py" "$(dirname "$0")/browser_test.py" "$@"
