#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made with cpack from this build folder: its contents are checked, lintian
# finds no error nor warning, it is unpacked into a throw-away root where its maintainer scripts
# run (the service's links made and removed again), and the station from it starts on the
# offscreen platform for a fresh user, plays its cues into a private PulseAudio null sink and
# writes the user's settings.
# Exit 77: cannot run here (a tool missing).
set -uo pipefail
BUILD=$(cd "${1:?build dir}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
for tool in cpack dpkg-deb desktop-file-validate appstreamcli socat pulseaudio parec sox lintian deb-systemd-helper; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done

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
    [ -f "$WORK/station.log" ] && { echo "== station.log"; cat "$WORK/station.log"; }
    exit 1
}

# ---- the package
cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1 \
    || { cat "$WORK/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^project(kelvo VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
revision=$(sed -n 's/^set(KELVO_DEB_RELEASE \([0-9]*\))/\1/p' "$SRC/CMakeLists.txt")
DEB="$WORK/out/kelvo_${version}-${revision}_$(dpkg --print-architecture).deb"
[ -f "$DEB" ] || { ls "$WORK/out"; fail "no $DEB"; }
echo "ok: $(basename "$DEB") built"

control=$(dpkg-deb -f "$DEB")
grep -qx 'Maintainer: Kelvo developers <kelvo@kelvo-trainer.org>' <<<"$control" || fail "Maintainer: $(grep ^Maintainer <<<"$control")"
for dep in 'libqt6widgets6' 'libgsm1' 'libsoxr0' 'libsndfile1' 'fonts-liberation' 'pulseaudio | pipewire-pulse' 'libnotify-bin'; do
    grep -q "^Depends:.*$dep" <<<"$control" || fail "Depends lacks $dep: $(grep ^Depends <<<"$control")"
done
[ "$(dpkg-deb --ctrl-tarfile "$DEB" | tar -xO ./conffiles)" = /etc/kelvo/radiosim.ini ] || fail "conffiles"

contents=$(dpkg-deb -c "$DEB" | awk '{print $6}')
for f in usr/bin/kelvo-station usr/bin/kelvo-exchange usr/bin/kelvo-exchange-console \
         usr/share/kelvo/cues/{btn1,btn2,alarm1,alarm4,tx}.wav \
         usr/share/kelvo/example/distress_mayday.wav usr/share/kelvo/exercises/01-harbour-watch.txt \
         usr/share/applications/org.kelvo.Station.desktop usr/share/applications/org.kelvo.Exchange.desktop \
         usr/share/metainfo/org.kelvo.Station.metainfo.xml usr/share/icons/hicolor/scalable/apps/kelvo.svg \
         usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/kelvo.png \
         usr/share/man/man1/kelvo-station.1.gz usr/share/man/man1/kelvo-exchange.1.gz \
         etc/kelvo/radiosim.ini lib/systemd/system/kelvo-exchange.service \
         usr/share/doc/kelvo/copyright usr/share/doc/kelvo/changelog.Debian.gz; do
    grep -qx "\./$f" <<<"$contents" || fail "the package lacks /$f"
done
echo "ok: contents"

# What a distribution checks: no error, no warning (the one tag that does not apply is overridden in
# the package, with its reason). This is the Debug build of the tests; the hardening that
# scripts/package.sh gives the Release build is checked there by lintian's information tags.
lintian --fail-on error,warning --tag-display-limit 0 "$DEB" >"$WORK/lintian.log" 2>&1 \
    || { cat "$WORK/lintian.log"; fail "lintian"; }
echo "ok: lintian, no error nor warning"

# ---- unpacked into a throw-away root
ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT" || fail "dpkg-deb -x"
desktop-file-validate "$ROOT"/usr/share/applications/*.desktop || fail "desktop entries"
appstreamcli validate --no-net "$ROOT/usr/share/metainfo/org.kelvo.Station.metainfo.xml" || fail "metainfo"
for e in station exchange; do
    page=$(zcat "$ROOT/usr/share/man/man1/kelvo-$e.1.gz")
    grep -q "^\.TH KELVO-${e^^} 1 .*Kelvo $version" <<<"$page" || fail "manual page of kelvo-$e"
done
for e in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$ROOT"/usr/share/applications/*.desktop); do
    [ -x "$ROOT/usr/bin/$e" ] || fail "a desktop entry starts $e, which is not in /usr/bin"
done
grep -qx 'ExecStart=/usr/bin/kelvo-exchange --network --console 127.0.0.1:8080 --settings /etc/kelvo/radiosim.ini --log /var/log/kelvo/exchange.jsonl --record /var/lib/kelvo/recordings' \
    "$ROOT/lib/systemd/system/kelvo-exchange.service" || fail "the service's command"
if command -v systemd-analyze >/dev/null; then
    sed "s|/usr/bin/kelvo-exchange|$ROOT/usr/bin/kelvo-exchange|" "$ROOT/lib/systemd/system/kelvo-exchange.service" \
        >"$WORK/kelvo-exchange.service"
    systemd-analyze verify --man=no "$WORK/kelvo-exchange.service" || fail "the service's unit"
fi
[ "$("$ROOT/usr/bin/kelvo-exchange" --help | head -c 21)" = "Usage: kelvo-exchange" ] || fail "the installed exchange"
bash -n "$ROOT/usr/bin/kelvo-exchange-console" || fail "the console's starter"
echo "ok: desktop entries, metainfo, manual pages, service"

# ---- the installed station for a user who never ran it
# The administrator's default: the user's first start copies it.
printf '[kelvo]\nmmsi=211000111\n[radio]\nmode=1\nbase_port=%d\n' $((30000 + $$ % 20000)) >"$ROOT/etc/kelvo/radiosim.ini"
USERHOME=$WORK/home
mkdir -p "$USERHOME" && chmod 700 "$USERHOME"
PULSE=$WORK/pulse
mkdir -p "$PULSE"
cat >"$PULSE/default.pa" <<PA
load-module module-native-protocol-unix socket=$PULSE/native auth-anonymous=1
load-module module-null-sink sink_name=speaker rate=44100
set-default-sink speaker
PA
HOME=$PULSE XDG_RUNTIME_DIR=$PULSE PULSE_RUNTIME_PATH=$PULSE pulseaudio --daemonize=no --system=false \
    --exit-idle-time=-1 -n -F "$PULSE/default.pa" --use-pid-file=no --disable-shm=yes >"$PULSE/log" 2>&1 &
pids+=("$!")
for _ in $(seq 300); do [ -S "$PULSE/native" ] && break; sleep 0.1; done
[ -S "$PULSE/native" ] || { cat "$PULSE/log"; fail "pulseaudio did not start"; }
export PULSE_SERVER=unix:$PULSE/native

# Fragments of 300 ms: a shorter one hands the null sink's monitor to the recorder before the sink
# has mixed a starting cue in (the sink renders ahead and rewinds for a new stream, which a monitor
# that has already delivered cannot follow), so the click's start went missing from the recording.
parec -d speaker.monitor --raw --format=s16le --channels=1 --rate=22050 --latency-msec=300 >"$WORK/speaker.raw" &
recorder=$!
pids+=("$recorder")
env HOME="$USERHOME" XDG_CONFIG_HOME="$USERHOME/.config" XDG_DATA_HOME="$USERHOME/.local/share" \
    XDG_RUNTIME_DIR="$USERHOME" QT_QPA_PLATFORM=offscreen KELVO_TEST_CONTROL="$WORK/control.sock" \
    "$ROOT/usr/bin/kelvo-station" >"$WORK/station.log" 2>&1 &
station=$!
pids+=("$station")

ctl() {
    local out
    for _ in $(seq 300); do
        out=$(printf '%s\n' "$1" | socat -t 10 - "UNIX-CONNECT:$WORK/control.sock,shut-none" 2>/dev/null) \
            && { printf '%s' "$out"; return 0; }
        kill -0 "$station" 2>/dev/null || fail "the station ended"
        sleep 0.1
    done
    fail "the station does not answer on its control socket within 30 s"
}
# The idle screen, given up to 30 s on a busy machine; what it shows instead is printed.
for _ in $(seq 150); do
    screen=$(ctl dump)
    grep -q "WATCHING CH-70" <<<"$screen" && break
    sleep 0.2
done
grep -q "WATCHING CH-70" <<<"$screen" || { printf '%s\n' "$screen"; fail "the station does not show its idle screen"; }
USERINI=$USERHOME/.config/kelvo/radiosim.ini
grep -qF "settings file $USERINI, cues in $ROOT/usr/share/kelvo/cues" "$WORK/station.log" \
    || fail "the station does not say where its settings and cues are"
cmp -s "$USERINI" "$ROOT/etc/kelvo/radiosim.ini" || fail "the user's settings are not the administrator's default"
[ "$(ls "$USERHOME/.local/share/kelvo/example" | wc -l)" = 4 ] || fail "the example messages were not copied"

# The routine key clicks: the click must reach the loudspeaker (the null sink is silent, 0, until
# a stream plays). Waited for as it is recorded.
peak_of() { sox -t raw -r 22050 -e signed -b 16 -c 1 "$1" -n stat 2>&1 | sed -n 's/^Maximum amplitude: *//p'; }
ctl "click 360 34" >/dev/null
grep -q "INDIVIDUAL ROUTINE CALL" <<<"$(ctl dump)" || fail "the routine key did not open the call screen"
start=$(date +%s.%N)
peak=
for _ in $(seq 300); do
    peak=$(peak_of "$WORK/speaker.raw")
    awk -v p="$peak" 'BEGIN { exit !(p > 0.01) }' && break
    sleep 0.1
done
awk -v p="$peak" 'BEGIN { exit !(p > 0.01) }' || fail "no cue was heard in 30 s (peak amplitude ${peak:-none})"
heard_after=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
ctl "click 47 267" >/dev/null
ctl close >/dev/null
for _ in $(seq 300); do kill -0 "$station" 2>/dev/null || break; sleep 0.1; done
kill -0 "$station" 2>/dev/null && fail "the station did not close within 30 s"
kill -INT "$recorder" 2>/dev/null; wait "$recorder" 2>/dev/null
echo "ok: the station started, played its click (peak $peak, heard after ${heard_after} s)"

grep -q '^posX=' "$USERINI" && grep -q '^posY=' "$USERINI" || fail "the window position was not written: $(cat "$USERINI")"
grep -q '^mmsi=211000111' "$USERINI" || fail "the user's settings lost their MMSI"
cmp -s "$ROOT/etc/kelvo/radiosim.ini" <(printf '[kelvo]\nmmsi=211000111\n[radio]\nmode=1\nbase_port=%d\n' $((30000 + $$ % 20000))) \
    || fail "the system-wide default was changed"
echo "ok: the user's settings file holds the window position"

# ---- the maintainer scripts on the throw-away root (deb-systemd-helper works on DPKG_ROOT)
UNIT=kelvo-exchange.service
dpkg-deb -e "$DEB" "$WORK/control" || fail "dpkg-deb -e"
links() { find "$ROOT/etc/systemd" -type l 2>/dev/null | grep -F "$UNIT"; }
# A maintainer script run as dpkg runs it.
maint() {
    local script=$1; shift
    env DPKG_ROOT="$ROOT" DPKG_MAINTSCRIPT_PACKAGE=kelvo DPKG_MAINTSCRIPT_NAME="$script" \
        sh "$WORK/control/$script" "$@" || fail "$script $*"
}
maint postinst configure
[ -z "$(links)" ] || fail "the service was enabled by the installation: $(links)"
# The instructor enables the service: the link that systemctl enable makes for its WantedBy.
grep -qx 'WantedBy=multi-user.target' "$ROOT/lib/systemd/system/$UNIT" || fail "the unit is not wanted by multi-user.target"
mkdir -p "$ROOT/etc/systemd/system/multi-user.target.wants"
ln -s "/lib/systemd/system/$UNIT" "$ROOT/etc/systemd/system/multi-user.target.wants/$UNIT"
# Removing the package stops a running service: prerm asks systemd to, where systemd runs (here a
# mount namespace of its own where /run/systemd/system exists, and a deb-systemd-invoke that notes
# what it is asked).
if unshare -m true 2>/dev/null; then
    mkdir -p "$WORK/stub"
    printf '#!/bin/sh\necho "$*" >>"%s"\n' "$WORK/invoked" >"$WORK/stub/deb-systemd-invoke"
    chmod +x "$WORK/stub/deb-systemd-invoke"
    unshare -m sh -c 'mount -t tmpfs none /run && mkdir -p /run/systemd/system && exec "$@"' sh \
        env PATH="$WORK/stub:$PATH" DPKG_ROOT="$ROOT" DPKG_MAINTSCRIPT_PACKAGE=kelvo DPKG_MAINTSCRIPT_NAME=prerm \
        sh "$WORK/control/prerm" remove || fail "prerm remove"
    grep -qx "stop $UNIT" "$WORK/invoked" 2>/dev/null || fail "prerm remove did not stop the service: $(cat "$WORK/invoked" 2>/dev/null)"
    echo "ok: removing the package stops the service"
else
    echo "note: no mount namespace here, the service's stop at removal is not checked"
fi
# dpkg takes the unit away, then runs postrm; a purge leaves no link to the unit behind.
rm "$ROOT/lib/systemd/system/$UNIT"
maint postrm remove
maint postrm purge
[ -z "$(links)" ] || fail "links left after the purge: $(links)"
echo "ok: purging leaves no link to the service"
