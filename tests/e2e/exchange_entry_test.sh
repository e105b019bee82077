#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The "Kelvo DSC Exchange" menu entry (packaging/kelvo-exchange-console) with the built exchange, in
# a network namespace of its own (its ports 8080 and 8090 are fixed). It says why when the exchange
# cannot start (UDP 8090 taken; port 8080 held by another program, whose page it never opens),
# records on the voice ports of the classroom's base_port, opens its own console, only opens the
# browser when an exchange runs already, and leaves the evaluation report at the stop. The desktop
# notifications and the browser are stand-ins that note what they are asked.
# Exit 77: cannot run here (not root, or a tool missing).
set -uo pipefail
BIN=$(cd "${1:?bin dir}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: a network namespace needs root"; exit 77; }
for tool in unshare ip python3 curl; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
if [ -z "${KELVO_ENTRY_NETNS:-}" ]; then
    KELVO_ENTRY_NETNS=1 exec unshare -n bash "$0" "$@"
fi
ip link set lo up

WORK=$(mktemp -d)
pids=()
finish() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap finish EXIT
fail() {
    echo "FAIL: $*"
    for f in "$WORK"/home/.local/share/kelvo/sessions/*.txt; do [ -f "$f" ] && { echo "== $f"; cat "$f"; }; done
    exit 1
}
# Waits up to 30 s for a condition, and says how long it took.
wait_for() {
    local what=$1; shift
    local start=$SECONDS
    for _ in $(seq 300); do
        "$@" && { echo "  ($what after $((SECONDS - start)) s)"; return 0; }
        sleep 0.1
    done
    return 1
}

mkdir -p "$WORK/stub" "$WORK/home"
cat >"$WORK/stub/notify-send" <<EOF
#!/bin/sh
for last; do :; done
echo "\$last" >>"$WORK/notified"
EOF
cat >"$WORK/stub/xdg-open" <<EOF
#!/bin/sh
curl -s --max-time 30 "\$1" >"$WORK/page.html"
echo "\$1" >>"$WORK/opened"
EOF
chmod +x "$WORK/stub/"*
printf '[radio]\nmode=1\nbase_port=23000\n' >"$WORK/radiosim.ini"
export PATH="$WORK/stub:$BIN:$PATH" HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" \
    KELVO_SETTINGS="$WORK/radiosim.ini"
ENTRY=$SRC/packaging/kelvo-exchange-console
SESSIONS=$XDG_DATA_HOME/kelvo/sessions

# ---- UDP 8090 taken by another program: the reason, and no page opened.
python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("0.0.0.0", 8090)); time.sleep(120)' &
blocker=$!
pids+=("$blocker")
wait_for "UDP 8090 held" sh -c 'ss -uln | grep -q ":8090 "' || fail "the stand-in did not take UDP 8090"
bash "$ENTRY" && fail "the entry succeeded with UDP 8090 taken"
grep -q "could not start: cannot listen on UDP port 8090" "$WORK/notified" 2>/dev/null \
    || fail "no notification of the taken port: $(cat "$WORK/notified" 2>/dev/null)"
[ -f "$WORK/opened" ] && fail "a page was opened: $(cat "$WORK/opened")"
kill "$blocker"; wait "$blocker" 2>/dev/null
echo "ok: UDP 8090 taken is said: $(tail -1 "$WORK/notified")"

# ---- Port 8080 held by another program's web page: not opened, and said.
python3 -c 'import http.server
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200); self.end_headers(); self.wfile.write(b"<title>Printer setup</title>")
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", 8080), H).serve_forever()' &
other=$!
pids+=("$other")
wait_for "the other page served" curl -s -o /dev/null http://127.0.0.1:8080/ || fail "the stand-in page did not start"
bash "$ENTRY" && fail "the entry succeeded with port 8080 taken"
grep -q "Another program (not a Kelvo exchange) uses port 8080" "$WORK/notified" \
    || fail "no notification of the other program: $(tail -1 "$WORK/notified")"
[ -f "$WORK/opened" ] && fail "another program's page was opened: $(cat "$WORK/opened")"
kill "$other"; wait "$other" 2>/dev/null
echo "ok: port 8080 held by another program is said, its page not opened"

# ---- The exchange starts, on the classroom's base_port, and its own console opens.
bash "$ENTRY" &
entry=$!
pids+=("$entry")
wait_for "the console opened" grep -q . "$WORK/opened" 2>/dev/null || fail "no page was opened"
[ "$(cat "$WORK/opened")" = "http://127.0.0.1:8080/" ] || fail "opened $(cat "$WORK/opened")"
grep -q "<title>Kelvo" "$WORK/page.html" || fail "the page opened is not the console: $(head -c 300 "$WORK/page.html")"
grep -q "recording the voice channels (ports 23000 + 9, 16, 23, 77, 84, 123, 184)" "$SESSIONS"/*.txt \
    || fail "the exchange does not record on the classroom's base_port"
echo "ok: the exchange records on base_port 23000 and its console opened"

# A second start finds it running: it only opens the browser again.
bash "$ENTRY" || fail "the second start failed"
[ "$(wc -l <"$WORK/opened")" = 2 ] || fail "the second start did not open the console"
[ "$(cat "$SESSIONS"/*.txt | grep -c "instructor's console on")" = 1 ] || fail "a second exchange was started"

# ---- The session ends: the exchange stops and its report is kept.
kill -TERM "$entry"
wait_for "the entry ended" sh -c "! kill -0 $entry 2>/dev/null" || fail "the entry did not end"
wait "$entry" || fail "the entry ended with status $?"
report=$(ls "$SESSIONS"/exchange-*-report.html 2>/dev/null)
[ -s "$report" ] || fail "no evaluation report in $SESSIONS: $(ls "$SESSIONS")"
grep -q "The evaluation report is in $report" "$WORK/notified" || fail "the report's place was not said"
echo "ok: the stop kept the evaluation report $(basename "$report")"
