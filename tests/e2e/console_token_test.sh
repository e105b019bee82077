#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The console's access token on an address other than loopback: the exchange and a client in two
# network namespaces of this test's own. Without the token, or with a wrong one, every request for
# the classroom's data gets 401 and nothing is sent (the page's own files are public); with the
# token printed at the start, the page and the API answer. The token is kept: a restart prints the
# same address. On 127.0.0.1 no token is asked. Exit 77: cannot run here (not root, no namespaces, no curl).
set -uo pipefail
BIN=$(cd "${1:?bin dir}" && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
command -v curl >/dev/null && command -v socat >/dev/null || { echo "SKIP: curl or socat missing"; exit 77; }
[ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: kelvo-exchange not built"; exit 77; }

NS=kelvotok$$
WORK=$(mktemp -d)
finish() {
    local rc=$?
    for f in "$WORK"/*.pid; do [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
    [ $rc != 0 ] && for f in "$WORK"/*.log; do echo "== $f"; cat "$f"; done
    ip netns delete "$NS-ex" 2>/dev/null; ip netns delete "$NS-cl" 2>/dev/null
    rm -rf "$WORK"
}
trap finish EXIT

ip netns add "$NS-ex" && ip netns add "$NS-cl" || exit 1
ip -n "$NS-ex" link add eth0 type veth peer name eth0 netns "$NS-cl"
ip -n "$NS-ex" addr add 10.78.0.1/24 dev eth0
ip -n "$NS-cl" addr add 10.78.0.2/24 dev eth0
for n in "$NS-ex" "$NS-cl"; do ip -n "$n" link set lo up; ip -n "$n" link set eth0 up; done

# The token is kept in the data folder: this test's own.
export XDG_DATA_HOME="$WORK/data"
ip netns exec "$NS-ex" "$BIN/kelvo-exchange" --to 10.78.0.2 --console 10.78.0.1:8080 >"$WORK/ex.log" 2>&1 &
echo $! >"$WORK/ex.pid"
ip netns exec "$NS-ex" "$BIN/kelvo-exchange" --local --listen-port 9090 --station-port 9091 \
    --console 127.0.0.1:8081 >"$WORK/local.log" 2>&1 &
echo $! >"$WORK/local.pid"
url=
for _ in $(seq 300); do
    url=$(grep -o 'http://10.78.0.1:8080/?token=[0-9a-f]*' "$WORK/ex.log") && break
    sleep 0.1
done
[ -n "$url" ] || { echo "FAIL: no address with a token printed"; exit 1; }
token=${url##*=}
[ ${#token} -ge 32 ] || { echo "FAIL: a short token: $token"; exit 1; }

# A listening station in the client's namespace records what the exchange delivers.
ip netns exec "$NS-cl" timeout 60 socat -u UDP4-RECV:8091 OPEN:"$WORK/station.txt",creat,append &
echo $! >"$WORK/station.pid"
for _ in $(seq 300); do ip netns exec "$NS-cl" ss -uln | grep -q ':8091 ' && break; sleep 0.1; done

status() { ip netns exec "$NS-cl" curl -s -o /dev/null -w '%{http_code}' "$@"; }
expect() {
    local want=$1; shift
    local got; got=$(status "$@")
    [ "$got" = "$want" ] || { echo "FAIL: $* gave $got, not $want"; exit 1; }
    echo "ok: $want for ${*: -1}"
}
rec='{"text":"TXMMSI=002470001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N"}'
base=http://10.78.0.1:8080
expect 200 "$base/"
expect 200 "$base/console.js"
expect 401 "$base/api/records"
expect 401 "$base/report"
expect 401 "$base/api/records?token=0000$token"
expect 401 -H 'Content-Type: application/json' -d "$rec" "$base/api/send"
expect 200 "$url"
expect 200 "$base/api/records?token=$token"
expect 200 -H "Authorization: Bearer $token" "$base/api/stations"
expect 200 -H 'Content-Type: application/json' -d "$rec" "$base/api/send?token=$token"
for _ in $(seq 300); do grep -q 'CATEGORY=SAFETY' "$WORK/station.txt" 2>/dev/null && break; sleep 0.1; done
grep -q 'CATEGORY=SAFETY' "$WORK/station.txt" || { echo "FAIL: the record sent with the token did not arrive"; exit 1; }
# The one refused earlier would have come first, on the same path.
[ "$(grep -o 'TXMMSI=' "$WORK/station.txt" | wc -l)" = 1 ] || { echo "FAIL: a record went out without the token"; exit 1; }
echo "ok: the record sent with the token reached the station, the one without did not"

# A restart prints the same address: an open page and a bookmark keep working.
kill "$(cat "$WORK/ex.pid")"
while kill -0 "$(cat "$WORK/ex.pid")" 2>/dev/null; do sleep 0.1; done
ip netns exec "$NS-ex" "$BIN/kelvo-exchange" --to 10.78.0.2 --console 10.78.0.1:8080 >"$WORK/ex2.log" 2>&1 &
echo $! >"$WORK/ex.pid"
again=
for _ in $(seq 100); do
    again=$(grep -o 'http://10.78.0.1:8080/?token=[0-9a-f]*' "$WORK/ex2.log") && break
    sleep 0.1
done
[ "$again" = "$url" ] || { echo "FAIL: after a restart the address is '$again', not $url"; exit 1; }
expect 200 "$base/api/records?token=$token"
[ "$(stat -c %a "$XDG_DATA_HOME/kelvo-exchange/console-token")" = 600 ] || { echo "FAIL: the token file is readable by others"; exit 1; }
echo "ok: the same address after a restart; the token file is its user's alone"

# On loopback nobody else can connect: no token.
grep -q 'token' "$WORK/local.log" && { echo "FAIL: a token on 127.0.0.1"; exit 1; }
got=$(ip netns exec "$NS-ex" curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:8081/api/records)
[ "$got" = 200 ] || { echo "FAIL: loopback console gave $got"; exit 1; }
echo "ok: no token on 127.0.0.1"
echo PASS
