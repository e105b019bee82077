#!/usr/bin/env bash
# Two stations and the exchange in network namespaces: an individual routine call A -> B on 77,
# acknowledged ABLE; then a distress alert from A acknowledged by B. Exit 77: cannot run here.
set -uo pipefail
BIN=${1:?bin dir}
SRC=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
[ -f "$SRC/tests/e2e/key_positions.sh" ] || { echo "SKIP: key positions of the panel not wired yet"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
[ -x "$BIN/kelvo-station" ] && [ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: programs not built"; exit 77; }
command -v socat >/dev/null || { echo "SKIP: socat missing"; exit 77; }

WORK=$(mktemp -d)
export KELVO_NS_PREFIX=kelvoe2e$$ KELVO_TEST_CONTROL_DIR=$WORK
trap 'bash "$SRC/scripts/classroom-netns.sh" down "$WORK"; rm -rf "$WORK"' EXIT

A=274111001 B=274222002
bash "$SRC/scripts/classroom-netns.sh" up "$BIN" "$WORK" "$A" "$B" || exit 1
for m in $A $B; do
    for _ in $(seq 50); do [ -S "$WORK/$m.sock" ] && break; sleep 0.1; done
done

ctl() { printf '%s\n' "$2" | socat -t 5 - "UNIX-CONNECT:$WORK/$1.sock"; }
# Key positions come from the station window's layout (Form1::keyRect); filled in when it is merged.
key() { echo "${KEYPOS[$1]:?no position for $1}"; }
declare -A KEYPOS
[ -f "$SRC/tests/e2e/key_positions.sh" ] || { echo "SKIP: key positions of the panel not wired yet"; exit 77; }
. "$SRC/tests/e2e/key_positions.sh"
press() { ctl "$1" "click $(key "$2")" >/dev/null; }
digits() { local s=$2; for ((i = 0; i < ${#s}; i++)); do press "$1" "num${s:i:1}"; done; }
expect_line() {   # station text
    local out; out=$(ctl "$1" dump)
    grep -qF -- "$2" <<<"$out" || { echo "FAIL: $1 lacks '$2'"; echo "$out"; exit 1; }
}

press $A btnRoutine; digits $A $B; press $A num11; digits $A 77; press $A btnTX
sleep 4
expect_line $B "-RECEIVED INDIVIDUAL CALL-"
press $B imgENT; press $B imgENT; press $B btnTX
sleep 4
expect_line $A "-RECEIVED INDIVIDUAL ACK-"
expect_line $A "   ABLE TO COMPLY"
echo "PASS"
