#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds (Release, in build-run/), and starts the exchange (local mode,
# with a virtual coast station and a ship to practise with, and the instructor's console on
# 127.0.0.1:8080, or the port in KELVO_CONSOLE_PORT, every voice transmission recorded in
# recordings/ or the folder in KELVO_RECORDINGS) and the station. Closing the station stops the
# exchange.
# Without a display the station cannot show its window: the exchange then runs alone for the
# classroom network, its console reachable from other PCs with the address it prints (the one with
# the access token), until Ctrl-C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
# A folder of its own: the test command's build/ keeps its tests and its Debug build.
bash "$root/scripts/build.sh" build-run -DCMAKE_BUILD_TYPE=Release -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF \
  -DKELVO_GUI=ON -DKELVO_FUZZ=OFF -DKELVO_SANITIZE= -DKELVO_WERROR=OFF
bin=$root/build-run/bin
port=${KELVO_CONSOLE_PORT:-8080}
recordings=${KELVO_RECORDINGS:-$root/recordings}
mkdir -p "$recordings"
partners=(--coast-station 002470001 --ship 211222333)

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are not set): the station needs a screen, so only the"
  echo "exchange runs here, for the classroom network, with its practice partners and the instructor's"
  echo "console for the other PCs: open http://ADDRESS:$port/?token=... (the token follows) with ADDRESS"
  echo "one of this machine's: $(hostname -I 2>/dev/null || echo '(none found)'). Stop it with Ctrl-C."
  echo "Voice transmissions are recorded in $recordings."
  exec "$bin/kelvo-exchange" --network "${partners[@]}" --console "0.0.0.0:$port" --record "$recordings"
fi

console=127.0.0.1:$port
"$bin/kelvo-exchange" --local "${partners[@]}" --console "$console" --record "$recordings" &
exchange=$!
trap 'kill -INT $exchange 2>/dev/null; wait $exchange 2>/dev/null || true' EXIT
# The exchange is ready when its console answers; if it ends first, it has said why.
started=false
for _ in $(seq 300); do
  kill -0 $exchange 2>/dev/null || break
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && { started=true; break; }
  sleep 0.1
done
$started || { echo "The exchange did not start (see above)."; exit 1; }
echo "Instructor's console: open http://$console/ in a browser on this PC."
echo "Voice transmissions are recorded in $recordings."
"$bin/kelvo-station"
