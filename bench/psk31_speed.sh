#!/usr/bin/env bash
# Speed of the PSK31 modem with its BPSK31 waveform as a multiple of real time: a text fed as the
# station feeds it, rendered at 1500 Hz and 8000 samples per second, into memory and again to a
# WAV file.
#   bench/psk31_speed.sh [PSK31_SPEED_BINARY]   (default build/bench/psk31_speed)
# CHARACTERS sets the length of the text (default 5000, about four minutes on the air).
# Goal: at least 1 000 x real time (the station's loop renders while it sends).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$here/build/bench/psk31_speed}
characters=${CHARACTERS:-5000}
[ -x "$binary" ] || { echo "psk31_speed.sh: no benchmark binary at $binary (build the psk31_speed target)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "$characters" mixed > "$work/text.txt"

echo "into memory: $("$binary" "$work/text.txt")"
echo "to a WAV file: $("$binary" "$work/text.txt" "$work/psk31.wav")"
