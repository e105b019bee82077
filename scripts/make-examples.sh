#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Speaks the example messages of a GMDSS course into assets/example as GSM 6.10 WAV files
# (22050 Hz mono, about a tenth of the size of PCM). Needs espeak-ng and sox.
set -eu
out="$(cd "$(dirname "$0")/.." && pwd)/assets/example"
mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

speak() { # name text
    espeak-ng -v en-gb -s 140 -w "$tmp/$1.raw.wav" "$2"
    sox "$tmp/$1.raw.wav" -r 22050 -c 1 -e gsm-full-rate "$out/$1.wav"
}

speak distress_mayday "Mayday, Mayday, Mayday. This is motor vessel Blue Heron, Blue Heron, Blue Heron. \
Call sign Mike Bravo Charlie Delta four. M M S I two three five, zero one two, three four five. \
Mayday, Blue Heron. M M S I two three five, zero one two, three four five. \
My position is five zero degrees one two minutes north, zero zero one degrees three four minutes west. \
I am on fire in the engine room and require immediate assistance. Five persons on board. \
Abandoning to life raft. Over."

speak urgency_panpan "Pan Pan, Pan Pan, Pan Pan. All stations, all stations, all stations. \
This is sailing yacht Westwind, Westwind, Westwind. M M S I two three five, six seven eight, nine zero zero. \
Position five zero degrees four five minutes north, zero zero one degrees one zero minutes west. \
Engine failure, drifting towards the shore. Require a tow. Two persons on board. Over."

speak safety_securite "Securite, Securite, Securite. All stations, all stations, all stations. \
This is Solent Coastguard, Solent Coastguard, Solent Coastguard. Navigational warning. \
A large container adrift and partly submerged, in position five zero degrees four zero minutes north, \
zero zero one degrees two zero minutes west. Vessels are requested to keep a sharp lookout \
and navigate with caution. Out."

speak routine_call "Harbour Control, Harbour Control, this is fishing vessel Morning Star, Morning Star. \
Request a berth for tonight, and fuel on arrival. Estimated time of arrival one eight hundred. \
Switching to channel six eight. Over."

rm -f "$out/.gitkeep"
ls -l "$out"
