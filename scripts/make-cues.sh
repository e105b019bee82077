#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the five panel cues (short 16-bit mono WAV files) into assets/cues with sox.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/assets/cues
mkdir -p "$out"
fmt=(-r 22050 -c 1 -b 16)
sox -n "${fmt[@]}" "$out/btn1.wav" synth 0.025 sine 2200 fade 0 0.025 0.02 gain -6              # key click
sox -n "${fmt[@]}" "$out/btn2.wav" synth 0.15 square 440 gain -14 fade 0 0.15 0.03             # refuse: lower, duller
sox -n "${fmt[@]}" "$out/alarm1.wav" synth 0.18 sine 1300 : synth 0.18 sine 2100 : synth 0.18 sine 1300 : synth 0.18 sine 2100 gain -6  # call alarm
sox -n "${fmt[@]}" "$out/alarm4.wav" synth 0.12 square 880 : synth 0.08 sine 0 : synth 0.12 square 880 : synth 0.08 sine 0 : synth 0.12 square 880 gain -12  # entry error
sox -n "${fmt[@]}" "$out/tx.wav" synth 0.6 sine 1800 fade 0.02 0.6 0.05 gain -8              # transmit tone
rm -f "$out/.gitkeep"
ls -l "$out"
