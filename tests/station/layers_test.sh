#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of src/ include downwards only: wire <- dsc <- panel <- the station's core <- the
# desktop's devices (net/, audio/) <- the windows (gui/). The core (kelvo_station_core) also
# includes no window, socket, sound device or settings file header, so that a front-end without
# them (a web session) can link it. Prints every include that breaks a rule; exit 1 when any does.
set -uo pipefail
SRC=${1:-$(cd "$(dirname "$0")/../../src" && pwd)}
cd "$SRC" || exit 2
bad=0

# check FILES... -- ALLOWED-FOLDER-PATTERN: every #include "x/..." of FILES names an allowed folder.
check() {
    local allowed=$1; shift
    local f line
    for f in "$@"; do
        while IFS= read -r line; do
            echo "layer broken: $f includes $line"
            bad=1
        done < <(grep -E '^#include "' "$f" | sed -E 's/^#include "([^"]*)".*/\1/' | grep -Ev "^($allowed)/[^/]+$")
    done
}

# The core's files: station/ without gui/ and without the settings file (kelvo_profile).
core=()
for f in station/*.h station/*.cpp; do
    case $(basename "$f") in FileIni.* | paths.* | profile.*) ;; *) core+=("$f") ;; esac
done

check 'wire' wire/*
check 'wire|dsc' dsc/*
check 'wire|dsc|panel' panel/*
check 'wire|dsc|panel|station' "${core[@]}"
for f in "${core[@]}"; do
    if grep -nE '^#include [<"](station/(FileIni|paths|profile)\.h|Q(Widget|Udp|Tcp|Audio|Media)|QtWidgets|QtMultimedia|pulse/|sndfile)' "$f"; then
        echo "layer broken: $f (the core) includes a settings file, window, socket or sound header"
        bad=1
    fi
done
check 'wire|dsc|panel|station|audio|net' net/* audio/*.h audio/*.cpp

[ $bad = 0 ] && echo "includes go down only: wire <- dsc <- panel <- station <- net, audio <- gui"
exit $bad
