#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A classroom on one PC: one network namespace per station plus one for the exchange, all on one
# private bridged network (10.77.0.0/24) that exists only inside the namespaces.
#   classroom-netns.sh up BIN_DIR WORK_DIR MMSI...   start the exchange and one station per MMSI
#   classroom-netns.sh down WORK_DIR                 stop everything and remove the namespaces
# Each station gets its own program folder WORK_DIR/<mmsi> (binary, cues, radiosim.ini with mode=1)
# and, when KELVO_TEST_CONTROL_DIR is set, a control socket KELVO_TEST_CONTROL_DIR/<mmsi>.sock.
set -euo pipefail

PREFIX=${KELVO_NS_PREFIX:-kelvo}
# Interface names live inside the hub namespace, so short fixed names cannot clash with the host.
BR=br0

ns_of() { echo "${PREFIX}-$1"; }

up() {
    local bin work
    bin=$(cd "$1" && pwd)
    mkdir -p "$2"
    work=$(cd "$2" && pwd)
    shift 2
    # The bridge lives in a namespace of its own, so nothing touches the host's network.
    ip netns add "$(ns_of hub)"
    ip -n "$(ns_of hub)" link add "$BR" type bridge
    ip -n "$(ns_of hub)" link set "$BR" up
    local i=0
    for ns in exchange "$@"; do
        i=$((i + 1))
        local n; n=$(ns_of "$ns")
        ip netns add "$n"
        ip -n "$(ns_of hub)" link add "veth${i}" type veth peer name eth0 netns "$n"
        ip -n "$(ns_of hub)" link set "veth${i}" master "$BR" up
        ip -n "$n" addr add "10.77.0.$((i + 10))/24" broadcast 10.77.0.255 dev eth0
        ip -n "$n" link set lo up
        ip -n "$n" link set eth0 up
        ip -n "$n" route add default dev eth0
    done
    # KELVO_EXCHANGE_ARGS: more options for the exchange (a log, practice partners).
    ip netns exec "$(ns_of exchange)" "$bin/kelvo-exchange" --network ${KELVO_EXCHANGE_ARGS:-} \
        >"$work/exchange.log" 2>&1 &
    echo $! >"$work/exchange.pid"
    # Windows on the desktop when there is one, otherwise off screen (tests, a console).
    local platform=${QT_QPA_PLATFORM:-}
    [ -n "$platform" ] || { [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && platform=xcb || platform=offscreen; }
    for mmsi in "$@"; do
        local dir="$work/$mmsi"
        mkdir -p "$dir"
        cp "$bin/kelvo-station" "$dir/"
        cp "$bin"/*.wav "$dir/" 2>/dev/null || true
        printf '[kelvo]\nmmsi=%s\n[radio]\nmode=1\n' "$mmsi" >"$dir/radiosim.ini"
        local ctl=""
        [ -n "${KELVO_TEST_CONTROL_DIR:-}" ] && ctl="KELVO_TEST_CONTROL=$KELVO_TEST_CONTROL_DIR/$mmsi.sock"
        ip netns exec "$(ns_of "$mmsi")" env QT_QPA_PLATFORM="$platform" $ctl "$dir/kelvo-station" \
            >"$dir/station.log" 2>&1 &
        echo $! >"$dir/station.pid"
    done
}

down() {
    local work=$1
    for pidfile in "$work"/exchange.pid "$work"/*/station.pid; do
        [ -f "$pidfile" ] || continue
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    done
    for ns in $(ip netns list | awk '{print $1}' | grep "^${PREFIX}-" || true); do
        ip netns delete "$ns" || true
    done
}

case "${1:-}" in
    up)
        shift
        [ $# -ge 2 ] || { echo "usage: $0 up BIN_DIR WORK_DIR MMSI..." >&2; exit 2; }
        # A set-up that fails half way takes down what it had made. An ERR trap would not do: it
        # does not reach into the function, where errexit ends the script first. The EXIT trap runs
        # whatever ends the script (a failed command, an unset variable).
        work_dir=$2
        trap 'status=$?; trap - EXIT; [ "$status" -eq 0 ] || down "$work_dir" || true; exit "$status"' EXIT
        up "$@"
        trap - EXIT ;;
    down) shift; down "$@" ;;
    *) echo "usage: $0 up BIN_DIR WORK_DIR MMSI... | down WORK_DIR" >&2; exit 2 ;;
esac
