#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The console as a classroom meets it: the exchange serves it on 0.0.0.0 in a network namespace of
# its own; the instructor's Chromium and a hostile neighbour sit on two other hosts (namespaces on
# one bridge). remote_test.py runs in the instructor's namespace and does the walk.
# Usage: remote_test.sh BIN_DIR [SCREENSHOT_DIR]. Exit 77: cannot run here.
set -uo pipefail
BIN=$(cd "${1:?bin dir}" && pwd)
SHOTS=${2:-}
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
command -v chromium >/dev/null && command -v chromedriver >/dev/null \
    || { echo "SKIP: chromium not installed (scripts/install-deps.sh installs it)"; exit 77; }
[ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: kelvo-exchange not built"; exit 77; }
[ -z "$SHOTS" ] || mkdir -p "$SHOTS"

NS=kelvocon$$
finish() {
    for n in ex in ho; do ip netns delete "$NS-$n" 2>/dev/null; done
}
trap finish EXIT

# The exchange's namespace holds the bridge; the instructor (10.79.0.2) and the neighbour
# (10.79.0.3) each hang on it by a veth pair.
ip netns add "$NS-ex" || exit 1
ip -n "$NS-ex" link add br0 type bridge
ip -n "$NS-ex" addr add 10.79.0.1/24 dev br0
ip -n "$NS-ex" link set br0 up
ip -n "$NS-ex" link set lo up
i=1
for n in in ho; do
    i=$((i + 1))
    ip netns add "$NS-$n" || exit 1
    ip -n "$NS-ex" link add "v$n" type veth peer name eth0 netns "$NS-$n"
    ip -n "$NS-ex" link set "v$n" master br0 up
    ip -n "$NS-$n" addr add "10.79.0.$i/24" dev eth0
    ip -n "$NS-$n" link set lo up
    ip -n "$NS-$n" link set eth0 up
done
py=/usr/bin/python3
[ -x "$py" ] || py=python3
ip netns exec "$NS-in" "$py" "$(dirname "$0")/remote_test.py" "$BIN" "$NS" "$SHOTS"
