#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A web station and a desktop station of one classroom call each other. The exchange (serving the
# stations in a browser on 0.0.0.0 with a class code), the desktop station and the trainee's
# Chromium are on separate hosts (network namespaces on one bridge; the browser shares the desktop
# station's host). desktop_web_test.py does the walk; it also checks that a page without the class
# code is told so, and that the code opens nothing of the console.
# Usage: desktop_web_test.sh BIN_DIR [SCREENSHOT_DIR]. Exit 77: cannot run here.
set -uo pipefail
BIN=$(cd "${1:?bin dir}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
SHOTS=${2:-}
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
ip netns list >/dev/null 2>&1 || { echo "SKIP: no ip netns"; exit 77; }
command -v chromium >/dev/null && command -v chromedriver >/dev/null \
    || { echo "SKIP: chromium not installed (scripts/install-deps.sh installs it)"; exit 77; }
[ -x "$BIN/kelvo-station" ] && [ -x "$BIN/kelvo-exchange" ] || { echo "SKIP: programs not built"; exit 77; }
[ -z "$SHOTS" ] || mkdir -p "$SHOTS"

WORK=$(mktemp -d)
export KELVO_NS_PREFIX=kelvoweb$$ KELVO_TEST_CONTROL_DIR=$WORK
# HTTPS as a school sets it up: its own certificate authority signs the exchange's certificate.
command -v openssl >/dev/null || { echo "SKIP: openssl missing"; exit 77; }
(
    cd "$WORK" || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test school CA" -keyout ca.key -out ca.pem \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
    openssl req -newkey rsa:2048 -nodes -subj "/CN=10.77.0.11" -keyout exchange.key -out exchange.csr
    printf 'subjectAltName=IP:10.77.0.11\nextendedKeyUsage=serverAuth\n' >ext.cnf
    openssl x509 -req -in exchange.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext.cnf \
        -out exchange.pem
) >"$WORK/openssl.log" 2>&1 || { echo "FAIL: openssl"; cat "$WORK/openssl.log"; exit 1; }
export KELVO_EXCHANGE_ARGS="--console 0.0.0.0:8080 --class-code k7m2qp --coast-station 002470001 --reply-delay 0.5 --silent-partners --record $WORK/voice --tls $WORK/exchange.pem $WORK/exchange.key"
finish() {
    local rc=$?
    [ -n "${PULSE_PID:-}" ] && kill "$PULSE_PID" 2>/dev/null
    [ $rc = 0 ] || for f in "$WORK"/exchange.log "$WORK"/*/station.log; do [ -f "$f" ] && { echo "== $f"; cat "$f"; }; done
    bash "$SRC/scripts/classroom-netns.sh" down "$WORK"
    rm -rf "$WORK"
    exit $rc
}
trap finish EXIT

# A private sound server (its socket is a file, so every namespace reaches it): the desktop
# station's loudspeaker plays into a null sink the test records; its microphone is another null
# sink's monitor the test plays a tone into.
PULSE_PID=""
command -v pulseaudio >/dev/null && command -v parec >/dev/null || { echo "SKIP: pulseaudio or parec missing"; exit 77; }
. "$SRC/tests/support/private_pulse.sh"
private_pulse "$WORK/pulse" || { echo "FAIL: the private sound server did not start"; cat "$WORK/pulse/server.log"; exit 1; }

DESKTOP=274222002
bash "$SRC/scripts/classroom-netns.sh" up "$BIN" "$WORK" "$DESKTOP" || exit 1
py=/usr/bin/python3
[ -x "$py" ] || py=python3
ip netns exec "$KELVO_NS_PREFIX-$DESKTOP" "$py" "$(dirname "$0")/desktop_web_test.py" "$BIN" "$WORK" "$DESKTOP" \
    "$SRC/tests/e2e/key_positions.sh" "$SHOTS"
