#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Two stations and the exchange in network namespaces, driven by clicks on the panels: an individual
# routine call A -> B on 77 acknowledged ABLE; then a distress alert from A acknowledged by B.
# Exit 77: cannot run here (not root, no namespaces, programs or socat missing).
set -uo pipefail
BIN=$(cd "${1:?bin dir}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
[ -x "$BIN/kelvo-station" ] && [ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: programs not built"; exit 77; }
command -v socat >/dev/null || { echo "SKIP: socat missing"; exit 77; }

WORK=$(mktemp -d)
export KELVO_NS_PREFIX=kelvoe2e$$ KELVO_TEST_CONTROL_DIR=$WORK
finish() {
    local rc=$?
    if [ $rc != 0 ]; then
        for f in "$WORK"/exchange.log "$WORK"/*/station.log; do [ -f "$f" ] && { echo "== $f"; cat "$f"; }; done
    fi
    bash "$SRC/scripts/classroom-netns.sh" down "$WORK"
    rm -rf "$WORK"
}
trap finish EXIT

A=274111001 B=274222002
bash "$SRC/scripts/classroom-netns.sh" up "$BIN" "$WORK" "$A" "$B" || exit 1

declare -A KEYPOS
. "$SRC/tests/e2e/key_positions.sh"

# One command to a station's control socket; the socket file appears a moment before it listens.
ctl() {
    local out
    for _ in $(seq 300); do
        out=$(printf "%s\n" "$2" | socat -t 10 - "UNIX-CONNECT:$WORK/$1.sock,shut-none" 2>/dev/null) && { printf '%s' "$out"; return 0; }
        sleep 0.1
    done
    echo "FAIL: station $1 does not answer on its control socket"; exit 1
}
press() { ctl "$1" "click ${KEYPOS[$2]:?no position for $2}" >/dev/null; }
digits() { local s=$2; for ((i = 0; i < ${#s}; i++)); do press "$1" "num${s:i:1}"; done; }
# Waits up to 30 s for a text on the station's LCD, and says how long it took.
expect_line() {
    local out start=$SECONDS
    for _ in $(seq 150); do
        out=$(ctl "$1" dump)
        grep -qF -- "$2" <<<"$out" && { echo "ok: $1 shows '$2' (after $((SECONDS - start)) s)"; return 0; }
        sleep 0.2
    done
    echo "FAIL: $1 lacks '$2'"; echo "$out"; exit 1
}

ctl $A dump >/dev/null; ctl $B dump >/dev/null

# Individual routine call on 77, acknowledged ABLE (ENT to the acknowledgement, ENT for ABLE, DSC TX).
press $A btnRoutine; digits $A $B; press $A num11; digits $A 77
expect_line $A "77"
press $A btnTX
expect_line $B "-RECEIVED INDIVIDUAL CALL-"
expect_line $B "From     = $A"
press $B imgENT; press $B imgENT; press $B btnTX
expect_line $A "-RECEIVED INDIVIDUAL ACK-"
expect_line $A "ABLE TO COMPLY"

# Distress alert: covered key, first nature, data screen, send screen, DSC TX; B acknowledges.
press $A imgESC; press $B imgESC
press $A btnDistress2; press $A imgENT; press $A imgENT
expect_line $A "Press <DSC TX> to send"
press $A btnTX
expect_line $B " # RECEIVED DISTRESS ALERT #"
expect_line $B "From     = $A"
press $B imgENT
expect_line $B " # DISTRESS ALERT ACK #"
press $B btnTX
expect_line $A "-RECEIVED DISTRESS ACK -"
expect_line $A "            $A"
echo "PASS"
