#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The classroom script takes down what it had made when its set-up fails half way: the set-up is
# made to fail after the namespaces exist and the exchange runs (no station program to copy), and
# afterwards no namespace of its prefix is left and the exchange is stopped.
# Exit 77: cannot run here (not root, no namespaces).
set -uo pipefail
SRC=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }

WORK=$(mktemp -d)
export KELVO_NS_PREFIX=kelvonsfail$$
left() { ip netns list | awk '{print $1}' | grep "^${KELVO_NS_PREFIX}-" || true; }
trap 'for n in $(left); do ip netns delete "$n"; done; rm -rf "$WORK"' EXIT

# A stand-in exchange that runs until it is stopped; there is no kelvo-station beside it.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\necho $$ >"%s"\nexec sleep 300\n' "$WORK/exchange.running" >"$WORK/bin/kelvo-exchange"
chmod +x "$WORK/bin/kelvo-exchange"

bash "$SRC/scripts/classroom-netns.sh" up "$WORK/bin" "$WORK/run" 274111001 274222002 \
    >"$WORK/up.log" 2>&1
rc=$?
fail=0
[ $rc -ne 0 ] || { echo "FAIL: the set-up succeeded without a station program"; fail=1; }
grep -q "kelvo-station" "$WORK/up.log" || { echo "FAIL: the set-up failed for another reason:"; cat "$WORK/up.log"; fail=1; }
if [ -n "$(left)" ]; then
    echo "FAIL: namespaces left behind:"; left; fail=1
fi
# The stand-in is stopped by the cleanup: given up to 30 s to end.
running=$(cat "$WORK/exchange.running" 2>/dev/null)
for _ in $(seq 300); do [ -n "$running" ] && kill -0 "$running" 2>/dev/null || break; sleep 0.1; done
if [ -n "$running" ] && kill -0 "$running" 2>/dev/null; then
    echo "FAIL: the exchange still runs"; kill "$(cat "$WORK/exchange.running")"; fail=1
fi
[ $fail -eq 0 ] && echo "PASS: a failed set-up leaves no namespaces"
exit $fail
