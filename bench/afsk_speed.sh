#!/usr/bin/env bash
# Speed of the AFSK modulator (noise floor on) beside minimodem's own transmitter sending the same
# text at the same speed and tones: ITA2 at 45.45 baud and 8-bit ASCII at 110 baud, 8000 samples per
# second, mark 2125 Hz, space 2295 Hz. Like for like: both write a WAV file, and both are timed as
# the CPU time (user + system) of the whole process; each is a multiple of real time (seconds of
# audio in its file over its CPU seconds), and ours is given as a ratio of minimodem's.
#   bench/afsk_speed.sh [AFSK_SPEED_BINARY]   (default build/bench/afsk_speed)
# CHARACTERS sets the length of the text (default 30000).
# Goal: a ratio of at least 1 (at least minimodem's multiple).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/process_cpu.sh
. "$here/bench/process_cpu.sh"
binary=$(readlink -f -- "${1:-$here/build/bench/afsk_speed}")
characters=${CHARACTERS:-30000}
[ -x "$binary" ] || { echo "afsk_speed.sh: no benchmark binary at $binary (build the afsk_speed target)" >&2; exit 1; }
command -v minimodem >/dev/null || { echo "afsk_speed.sh: minimodem is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "$characters" upper > "$work/text.txt"

multiple_of() {  # WAV CPU_SECONDS: seconds of audio per CPU second
  awk -v a="$(python3 "$here/bench/wav_seconds.py" "$1")" -v c="$2" 'BEGIN { printf "%.0f", a / c }'
}

status=0
for run in "ita2 45.45 baud ITA2:rtty" "ascii 110 baud ASCII:-8 --stopbits 2 110"; do
  label=${run%%:*}
  mode=${label%% *}
  label=${label#* }
  read -r -a minimodem_args <<<"${run#*:}"
  process_cpu "$binary" "$work/text.txt" "$mode" "$work/afsk.wav" >/dev/null
  ours=$(multiple_of "$work/afsk.wav" "$cpu_seconds")
  process_cpu minimodem --tx --quiet -f "$work/minimodem.wav" -R 8000 -M 2125 -S 2295 "${minimodem_args[@]}" \
    < "$work/text.txt"
  theirs=$(multiple_of "$work/minimodem.wav" "$cpu_seconds")
  ratio=$(awk -v o="$ours" -v t="$theirs" 'BEGIN { printf "%.2f", o / t }')
  echo "$label to a WAV file: modulator $ours x real time, minimodem $theirs x;" \
    "ratio $ratio (goal: at least 1)"
  awk -v r="$ratio" 'BEGIN { exit !(r >= 1) }' || status=1
done
exit "$status"
