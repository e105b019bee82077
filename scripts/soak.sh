#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole course on one PC: the exchange in NETWORK mode with its JSON log and two practice
# partners, N stations off screen, each with its own MMSI in its own network namespace, and a mixed
# load of calls made by clicks on the panels for a given time. Root only (network namespaces).
#
#   soak.sh [-n STATIONS] [-t SECONDS] [-f FIRST_SAMPLE_S] [-r] [-k] BIN_DIR [OUT_DIR]
#     -n  stations (default 16)           -t  seconds of load (default 1800)
#     -f  when the first memory sample is taken (default 60 s)
#     -r  stop the exchange two thirds of the way for a few seconds and start it again on the
#         same log (its memory is then not compared: the new process has no first sample)
#     -k  keep OUT_DIR (default: a temporary folder, removed when the run passes)
#
# The load: one action at a time, by a station chosen at random: an individual routine call to
# another station that acknowledges it (ABLE), an individual call or a position request to a
# practice partner, a group call, an all-ships call, a distress alert (the coast station
# acknowledges it), two seconds of push-to-talk on channel 16 with one listener put on 16 who must
# hear it (a private PulseAudio for the class: silent microphone, loudspeaker into nothing; no
# voice without pulseaudio). After an action of k records the driver waits 1.5 s per record plus 0.5 to
# 2.5 s at random; with the time the clicks take, the class receives about one record every 5 s
# (the run prints the rate), well below one per 1.5 s, the time each received record holds every
# panel.
#
# It fails (exit 1) when a station's records are not all in the exchange's log exactly once, when a
# station did not decode every record relayed while it ran, when a call to a partner lacks its
# answer or a distress alert its acknowledgement, when a talk was not heard, when a process died,
# or when a process's resident memory grew by more than 5 % after the first sample. Exit 77:
# cannot run here. SOAK_KIND=0..19 makes every action the same kind (to try one kind alone).
set -uo pipefail

STATIONS=16 SECONDS_=1800 FIRST=60 RESTART=0 KEEP=0
while getopts "n:t:f:rk" opt; do
    case $opt in
        n) STATIONS=$OPTARG ;; t) SECONDS_=$OPTARG ;; f) FIRST=$OPTARG ;;
        r) RESTART=1 ;; k) KEEP=1 ;; *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
BIN=$(cd "${1:?usage: soak.sh [options] BIN_DIR [OUT_DIR]}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
[ -x "$BIN/kelvo-station" ] && [ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: programs not built"; exit 77; }
command -v socat >/dev/null || { echo "SKIP: socat missing"; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: python3 missing"; exit 77; }

if [ -n "${2:-}" ]; then mkdir -p "$2"; WORK=$(cd "$2" && pwd); KEEP=1; else WORK=$(mktemp -d); fi
export KELVO_NS_PREFIX=kelvosoak$$ KELVO_TEST_CONTROL_DIR=$WORK
COAST=002470001 SHIP=244000001 GROUP=027411101
LOG=$WORK/traffic.jsonl
# The partners keep to DSC: their spoken answers on 16 would hold the talkers' push-to-talk keys
# and count as talks heard.
export KELVO_EXCHANGE_ARGS="--log $LOG --coast-station $COAST --ship $SHIP --reply-delay 2 --silent-partners"
RC=1
finish() {
    bash "$SRC/scripts/classroom-netns.sh" down "$WORK" >/dev/null 2>&1
    [ -n "${PULSE_PID:-}" ] && kill "$PULSE_PID" 2>/dev/null
    if [ "$RC" != 0 ]; then
        echo "== exchange.log (tail)"; tail -n 20 "$WORK/exchange.log" 2>/dev/null
        for f in "$WORK"/*/station.log; do [ -s "$f" ] && { echo "== $f"; tail -n 20 "$f"; }; done
    fi
    [ "$KEEP" = 1 ] || [ "$RC" != 0 ] || rm -rf "$WORK"
    [ "$RC" != 0 ] && echo "soak files kept in $WORK"
}
trap 'exit 1' INT TERM
trap finish EXIT

# One private sound server for the class (its socket is a file, so every namespace reaches it):
# a silent microphone and a loudspeaker that plays into nothing. Without pulseaudio there is no
# voice in the load.
PULSE_PID=""
. "$SRC/tests/support/private_pulse.sh"
if command -v pulseaudio >/dev/null && ! private_pulse "$WORK/pulse"; then
    echo "soak: the private sound server did not start: no voice in the load"
fi

MMSIS=()
for ((i = 1; i <= STATIONS; i++)); do MMSIS+=("$(printf '2741%05d' $((i * 101)))"); done
bash "$SRC/scripts/classroom-netns.sh" up "$BIN" "$WORK" "${MMSIS[@]}" || exit 1

declare -A KEYPOS
. "$SRC/tests/e2e/key_positions.sh"

ctl() {
    local out
    for _ in $(seq 300); do
        out=$(printf "%s\n" "$2" | socat -t 30 - "UNIX-CONNECT:$WORK/$1.sock,shut-none" 2>/dev/null) \
            && [ -n "$out" ] && { printf '%s' "$out"; return 0; }
        sleep 0.1
    done
    echo "FAIL: station $1 does not answer on its control socket" >&2
    return 1
}
press() { ctl "$1" "click ${KEYPOS[$2]}" >/dev/null; }
alt_press() { ctl "$1" "alt-click ${KEYPOS[$2]}" >/dev/null; }
digits() { local s=$2; for ((i = 0; i < ${#s}; i++)); do press "$1" "num${s:i:1}"; done; }
# Waits up to $3 seconds (default 10) for a text on a station's LCD.
shows() {
    local out
    for _ in $(seq $((${3:-10} * 5))); do
        out=$(ctl "$1" dump) || return 1
        grep -qF -- "$2" <<<"$out" && return 0
        sleep 0.2
    done
    return 1
}
counts() { ctl "$1" counts | tr '\n' ' '; }
pids() { echo "exchange $(cat "$WORK/exchange.pid")"; for m in "${MMSIS[@]}"; do echo "$m $(cat "$WORK/$m/station.pid")"; done; }
# name rss_kB cpu_ticks per process, in a file.
sample() {
    pids | while read -r name pid; do
        if [ -r "/proc/$pid/status" ]; then
            echo "$name $(awk '/^VmRSS/ {print $2}' "/proc/$pid/status") $(awk '{print $14 + $15}' "/proc/$pid/stat")"
        else
            echo "$name dead 0"
        fi
    done >"$1"
}

for m in "${MMSIS[@]}"; do ctl "$m" dump >/dev/null || exit 1; done
# Each station talks once before the clock starts, so its first use of the microphone (the sound
# server's connection, the capture buffers) is not taken for growth.
if [ -n "${PULSE_SERVER:-}" ]; then
    for m in "${MMSIS[@]}"; do
        ctl "$m" "press ${KEYPOS[btnAudio]}" >/dev/null; sleep 0.5; ctl "$m" "release ${KEYPOS[btnAudio]}" >/dev/null
    done
fi
echo "soak: $STATIONS stations, ${SECONDS_} s, partners $COAST (coast) and $SHIP (ship), work in $WORK"

ACTIONS=0 MISSES=0 VOICES=0 VOICE_MISSES=0
: >"$WORK/actions.txt"
other_than() { local m; while :; do m=${MMSIS[RANDOM % STATIONS]}; [ "$m" != "$1" ] && { echo "$m"; return; }; done; }
act() {
    local a=${MMSIS[RANDOM % STATIONS]} kind=${SOAK_KIND:-$((RANDOM % 20))} records=1 what
    press "$a" imgESC
    if [ "$kind" -lt 5 ] && [ "$STATIONS" -gt 1 ]; then
        local b; b=$(other_than "$a")
        what="individual $a -> $b, acknowledged"
        press "$b" imgESC
        press "$a" btnRoutine; digits "$a" "$b"; press "$a" num11; digits "$a" 72; press "$a" btnTX
        if shows "$b" "-RECEIVED INDIVIDUAL CALL-" 20; then
            press "$b" imgENT; press "$b" imgENT; press "$b" btnTX; records=2
        else
            MISSES=$((MISSES + 1)); what+=" (call not shown)"
        fi
    elif [ "$kind" -lt 8 ]; then
        local p=$COAST; [ $((RANDOM % 2)) = 0 ] && p=$SHIP
        what="individual $a -> partner $p"
        press "$a" btnRoutine; digits "$a" "$p"; press "$a" num11; digits "$a" 72; press "$a" btnTX; records=2
    elif [ "$kind" -lt 11 ]; then
        local p=$COAST; [ $((RANDOM % 2)) = 0 ] && p=$SHIP
        what="position request $a -> partner $p"
        press "$a" btnPosReq; digits "$a" "$p"; press "$a" num11; press "$a" btnTX; records=2
    elif [ "$kind" -lt 14 ]; then
        what="group call $a -> $GROUP"
        press "$a" btnGroup; digits "$a" "$GROUP"; press "$a" num11; digits "$a" 72; press "$a" btnTX
    elif [ "$kind" -lt 15 ] || { [ "$kind" -lt 17 ] && { [ -z "${PULSE_SERVER:-}" ] || [ "$STATIONS" = 1 ]; }; }; then
        what="all-ships call $a"
        alt_press "$a" btnRoutine; press "$a" btnTX
    elif [ "$kind" -lt 17 ]; then
        # Two seconds of speech on channel 16; one listener is put on 16 and must hear it.
        local b heard; b=$(other_than "$a")
        what="voice $a -> channel 16, heard by $b"
        press "$b" imgCH16; press "$a" imgCH16
        heard=$(counts "$b" | awk '{print $6}')
        ctl "$a" "press ${KEYPOS[btnAudio]}" >/dev/null; sleep 2; ctl "$a" "release ${KEYPOS[btnAudio]}" >/dev/null
        local now_heard=$heard
        for _ in $(seq 150); do
            now_heard=$(counts "$b" | awk '{print $6}')
            [ "${now_heard:-0}" -gt "${heard:-0}" ] && break
            sleep 0.2
        done
        if [ "${now_heard:-0}" -gt "${heard:-0}" ]; then VOICES=$((VOICES + 1)); else VOICE_MISSES=$((VOICE_MISSES + 1)); what+=" (not heard)"; fi
        records=0
    else
        what="distress alert $a"
        press "$a" btnDistress2; press "$a" imgENT; press "$a" imgENT; press "$a" btnTX; records=2
    fi
    ACTIONS=$((ACTIONS + 1))
    echo "$(date +%T) $what" >>"$WORK/actions.txt"
    # 1.5 s per record the class receives, then 0.5 to 2.5 s more.
    sleep "$(awk -v k=$records -v r=$RANDOM 'BEGIN { printf "%.2f", 1.5 * k + 0.5 + 2 * r / 32768 }')"
}

START=$(date +%s) SAMPLED=0 RESTARTED=0
: >"$WORK/down.txt"
while [ $(($(date +%s) - START)) -lt "$SECONDS_" ]; do
    now=$(($(date +%s) - START))
    if [ "$SAMPLED" = 0 ] && [ "$now" -ge "$FIRST" ]; then sample "$WORK/rss-first.txt"; SAMPLED=1; fi
    if [ "$RESTART" = 1 ] && [ "$RESTARTED" = 0 ] && [ "$now" -ge $((SECONDS_ * 2 / 3)) ]; then
        RESTARTED=1
        # The exchange stops; one station calls all ships meanwhile (the call goes nowhere); the
        # exchange starts again on the same log. The stations must not notice beyond the lost call.
        epid=$(cat "$WORK/exchange.pid")
        kill -TERM "$epid"; while kill -0 "$epid" 2>/dev/null; do sleep 0.1; done
        sleep 1
        a=${MMSIS[RANDOM % STATIONS]}
        before=$(counts "$a")
        press "$a" imgESC; alt_press "$a" btnRoutine; press "$a" btnTX
        after=$(counts "$a")
        echo "$a $before| $after" >"$WORK/down.txt"
        echo "$(date +%T) exchange stopped; all-ships call $a while it was down; started again" >>"$WORK/actions.txt"
        sleep 2
        listening=$(grep -c "listening on UDP port" "$WORK/exchange.log")
        ip netns exec "${KELVO_NS_PREFIX}-exchange" "$BIN/kelvo-exchange" --network $KELVO_EXCHANGE_ARGS \
            >>"$WORK/exchange.log" 2>&1 &
        echo $! >"$WORK/exchange.pid"
        # The load goes on once the exchange listens again (up to 30 s on a busy machine).
        for _ in $(seq 300); do
            [ "$(grep -c "listening on UDP port" "$WORK/exchange.log")" -gt "$listening" ] && break
            sleep 0.1
        done
        continue
    fi
    act || break
done
[ "$SAMPLED" = 1 ] || sample "$WORK/rss-first.txt"
ELAPSED=$(($(date +%s) - START))

# Let the partners answer and every station work through what it still has queued.
sleep 4
relayed() { grep -c '"relayed":true' "$LOG"; }
for _ in $(seq 120); do
    total=$(relayed); behind=0
    for m in "${MMSIS[@]}"; do
        h=$(counts "$m" | awk '{print $2}')
        [ "${h:-0}" -lt "$total" ] && behind=1
    done
    [ "$behind" = 0 ] && break
    sleep 1
done
sample "$WORK/rss-end.txt"
for m in "${MMSIS[@]}"; do echo "$m $(counts "$m")"; done >"$WORK/counts.txt"
epid=$(cat "$WORK/exchange.pid")
kill -TERM "$epid"; for _ in $(seq 300); do kill -0 "$epid" 2>/dev/null || break; sleep 0.1; done

python3 - "$WORK" "$ELAPSED" "$ACTIONS" "$MISSES" "$COAST" "$SHIP" "$(getconf CLK_TCK)" "$RESTARTED" "$VOICES" "$VOICE_MISSES" "${PULSE_SERVER:+yes}" <<'EOF'
import json, re, sys
work, elapsed, actions, misses, coast, ship, hz = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6], int(sys.argv[7])
restarted = sys.argv[8] == "1"
voices, voice_misses, voice_on = int(sys.argv[9]), int(sys.argv[10]), sys.argv[11] == "yes"
fails = []
records, events, bad = [], [], 0
for line in open(f"{work}/traffic.jsonl", encoding="utf-8"):
    try:
        o = json.loads(line)
    except ValueError:
        bad += 1
        continue
    (events if "event" in o else records).append(o)
if bad:
    fails.append(f"{bad} log lines are not whole JSON")
relayed = [r for r in records if r.get("relayed")]
counts = {}
for line in open(f"{work}/counts.txt"):
    p = line.split()
    counts[p[0]] = (int(p[2]), int(p[4]), int(p[6]))
ip = re.compile(r"^\d+\.\d+\.\d+\.\d+:\d+$")
f = lambda r, k: r["fields"][k].strip()
down = {}
for line in open(f"{work}/down.txt"):
    m, before, after = re.match(r"(\S+) handled \d+ sent (\d+)[^|]*\|\s*handled \d+ sent (\d+)", line).groups()
    down[m] = int(after) - int(before)
    if int(after) - int(before) != 1:
        fails.append(f"{m}: the call made while the exchange was down did not leave the station")
for m, (handled, sent, _) in counts.items():
    logged = sum(1 for r in relayed if ip.match(r["sender"]) and f(r, "TXMMSI") == m)
    if logged != sent - down.get(m, 0):
        fails.append(f"{m}: sent {sent} records ({down.get(m, 0)} while the exchange was down), {logged} in the log")
    if handled != len(relayed):
        fails.append(f"{m}: decoded {handled} of {len(relayed)} relayed records")
# Answers of the partners and acknowledgements of distress alerts, in order.
def answered(call, cat, answer_cat):
    asked = missing = 0
    for i, r in enumerate(relayed):
        if not ip.match(r["sender"]) or f(r, "CALL") != call or f(r, "CATEGORY") != cat:
            continue
        if cat != "DISTRESS" and f(r, "RXMMSI") not in (coast, ship):
            continue
        asked += 1
        partner = coast if cat == "DISTRESS" else f(r, "RXMMSI")
        if not any(f(a, "TXMMSI") == partner and f(a, "RXMMSI") == f(r, "TXMMSI") and f(a, "CATEGORY") == answer_cat
                   for a in relayed[i + 1:]):
            missing += 1
    return asked, missing
for call, cat, ans, name in (("INDIVID", "ROUTINE", "ROUT_ACK", "calls to partners"),
                             ("INDIVID", "POS_REQ", "POS_ACK", "position requests to partners"),
                             ("DISTRESS", "DISTRESS", "DIST_ACK", "distress alerts")):
    asked, missing = answered(call, cat, ans)
    print(f"{name}: {asked}, unanswered {missing}")
    if missing:
        fails.append(f"{missing} of {asked} {name} unanswered")
kinds = {}
for r in relayed:
    k = f(r, "CALL") + " " + f(r, "CATEGORY")
    kinds[k] = kinds.get(k, 0) + 1
print(f"run {elapsed} s, {actions} actions ({misses} calls not shown in time), {len(relayed)} records relayed "
      f"({len(relayed) / max(elapsed, 1) * 60:.1f}/min), {len(records) - len(relayed)} rejected, "
      f"log events: {', '.join(e['event'] for e in events) or 'none'}")
print("records: " + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())))
print(f"voice: {voices + voice_misses} talks, {voice_misses} not heard" if voice_on else "voice: no sound server, none in the load")
if voice_misses:
    fails.append(f"{voice_misses} of {voices + voice_misses} talks were not heard by the listener on the channel")
first = {p[0]: p[1:] for p in (l.split() for l in open(f"{work}/rss-first.txt"))}
end = {p[0]: p[1:] for p in (l.split() for l in open(f"{work}/rss-end.txt"))}
print(f"{'process':<10} {'RSS first kB':>12} {'RSS end kB':>11} {'change':>7} {'CPU s':>7} {'CPU %':>6}  decoded/sent/voices heard")
growth = []
for name in end:
    if end[name][0] == "dead":
        fails.append(f"{name} is not running at the end")
        continue
    a, b, ticks = int(first[name][0]) if first[name][0] != "dead" else 0, int(end[name][0]), int(end[name][1])
    if name == "exchange" and restarted:
        a = 0   # a new process since the first sample
    change = (b - a) / a * 100 if a else 0
    if name != "exchange":
        growth.append(change)
    if a and b > a * 1.05:
        fails.append(f"{name}: resident memory grew {change:.1f} % ({a} -> {b} kB)")
    c = counts.get(name)
    print(f"{name:<10} {a:>12} {b:>11} {change:>6.1f}% {ticks / hz:>7.1f} {ticks / hz / max(elapsed, 1) * 100:>5.1f}%"
          + (f"  {c[0]}/{c[1]}/{c[2]}" if c else ""))
if growth:
    growth.sort()
    print(f"stations' RSS change: median {growth[len(growth) // 2]:.1f} %, max {growth[-1]:.1f} %")
for x in fails:
    print("FAIL:", x)
print("FAIL" if fails else "PASS")
sys.exit(1 if fails else 0)
EOF
RC=$?
exit $RC
