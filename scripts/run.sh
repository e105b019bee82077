#!/usr/bin/env bash
# Installs what is missing, builds, and starts the exchange (local mode, with a virtual coast
# station and a ship to practise with, and the instructor's console on 127.0.0.1:8080, or the
# port in KELVO_CONSOLE_PORT, every voice transmission recorded in recordings/ or the folder in
# KELVO_RECORDINGS) and the station. Closing the station stops the exchange.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF
bin=$root/build/bin
console=127.0.0.1:${KELVO_CONSOLE_PORT:-8080}
recordings=${KELVO_RECORDINGS:-$root/recordings}
mkdir -p "$recordings"
"$bin/kelvo-exchange" --local --coast-station 002470001 --ship 211222333 --console "$console" \
  --record "$recordings" &
exchange=$!
trap 'kill -INT $exchange 2>/dev/null; wait $exchange 2>/dev/null || true' EXIT
sleep 0.5
kill -0 $exchange 2>/dev/null || { echo "The exchange did not start (see above)."; exit 1; }
echo "Instructor's console: open http://$console/ in a browser on this PC."
echo "Voice transmissions are recorded in $recordings."
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the station on a virtual screen (xvfb-run)."
  xvfb-run -a "$bin/kelvo-station"
else
  "$bin/kelvo-station"
fi
