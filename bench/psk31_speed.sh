#!/usr/bin/env bash
# Speed of the PSK31 modem with its BPSK31 waveform as a multiple of real time: a text fed as the
# station feeds it, rendered at 1500 Hz and 8000 samples per second to a WAV file, timed as the CPU
# time (user + system) of the whole process, as bench/afsk_speed.sh times both of its sides. Also
# prints the WAV file's SHA-256, so that two builds can be shown to render the same samples.
#   bench/psk31_speed.sh [PSK31_SPEED_BINARY]   (default build/bench/psk31_speed)
# CHARACTERS sets the length of the text (default 50000, about 40 minutes on the air).
# Goal: at least 10 000 x real time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/process_cpu.sh
. "$here/bench/process_cpu.sh"
binary=$(readlink -f -- "${1:-$here/build/bench/psk31_speed}")
characters=${CHARACTERS:-50000}
goal=10000
[ -x "$binary" ] || { echo "psk31_speed.sh: no benchmark binary at $binary (build the psk31_speed target)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "$characters" mixed > "$work/text.txt"
process_cpu "$binary" "$work/text.txt" "$work/psk31.wav" >/dev/null
audio=$(python3 "$here/bench/wav_seconds.py" "$work/psk31.wav")
multiple=$(awk -v a="$audio" -v c="$cpu_seconds" 'BEGIN { printf "%.0f", a / c }')
echo "PSK31 modem and waveform to a WAV file: $audio s of audio in $cpu_seconds s CPU," \
  "$multiple x real time (goal: at least $goal x); samples $(sha256sum < "$work/psk31.wav" | cut -c1-16)"
[ "$multiple" -ge "$goal" ]
