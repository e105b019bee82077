# SPDX-License-Identifier: GPL-3.0-or-later
# A private PulseAudio server for a classroom of programs in network namespaces (its socket is a
# file, so every namespace reaches it), as tests/support/private_pulse.h starts one in a test:
# the loudspeaker is a null sink, kelvo_sink, that plays into nothing or a recording; the microphone
# is another null sink's monitor, kelvo_mic_in, heard from whatever is played into kelvo_mic.
# Source this file, then `private_pulse DIR`: it sets PULSE_PID and exports PULSE_SERVER, or returns
# 1 with the server's log in DIR/server.log when the server did not come up within 30 s.
private_pulse() {
    local dir=$1
    mkdir -p "$dir"
    cat >"$dir/default.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=kelvo_mic
load-module module-null-sink sink_name=kelvo_sink
load-module module-remap-source master=kelvo_mic.monitor source_name=kelvo_mic_in
set-default-sink kelvo_sink
set-default-source kelvo_mic_in
PA
    HOME=$dir XDG_RUNTIME_DIR=$dir PULSE_RUNTIME_PATH=$dir pulseaudio --daemonize=no --system=false \
        --exit-idle-time=-1 -n -F "$dir/default.pa" --use-pid-file=no --disable-shm=yes >"$dir/server.log" 2>&1 &
    PULSE_PID=$!
    for _ in $(seq 300); do [ -S "$dir/native" ] && break; sleep 0.1; done
    if [ ! -S "$dir/native" ]; then
        kill "$PULSE_PID" 2>/dev/null
        PULSE_PID=""
        return 1
    fi
    export PULSE_SERVER=unix:$dir/native
}
