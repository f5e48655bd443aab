#!/usr/bin/env bash
# Speed of the AFSK modulator (noise floor on) as a multiple of real time,
# beside minimodem's own transmitter sending the same text at the same speed
# and tones to a WAV file: ITA2 at 45.45 baud and 8-bit ASCII at 110 baud,
# 8000 samples per second, mark 2125 Hz, space 2295 Hz. The modulator is
# timed rendering into memory and again writing a WAV file as minimodem does.
#   bench/afsk_speed.sh [AFSK_SPEED_BINARY]   (default build/bench/afsk_speed)
# CHARACTERS sets the length of the text (default 30000).
# Goal: at least minimodem's multiple.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$here/build/bench/afsk_speed}
characters=${CHARACTERS:-30000}
[ -x "$binary" ] || { echo "afsk_speed.sh: no benchmark binary at $binary (build the afsk_speed target)" >&2; exit 1; }
command -v minimodem >/dev/null || { echo "afsk_speed.sh: minimodem is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "$characters" upper > "$work/text.txt"

multiple_of() {  # "... 123 x real time ..." -> 123
  sed -E 's/.* ([0-9]+) x real time.*/\1/'
}

minimodem_multiple() {  # minimodem arguments...: times it writing the text to a WAV file
  local start end
  start=$(date +%s.%N)
  minimodem --tx --quiet -f "$work/minimodem.wav" -R 8000 -M 2125 -S 2295 "$@" < "$work/text.txt"
  end=$(date +%s.%N)
  python3 - "$work/minimodem.wav" "$start" "$end" <<'PY'
import sys, wave
with wave.open(sys.argv[1]) as w:
    seconds = w.getnframes() / w.getframerate()
print("%.0f" % (seconds / (float(sys.argv[3]) - float(sys.argv[2]))))
PY
}

status=0
for run in "ita2 45.45 baud ITA2:rtty" "ascii 110 baud ASCII:-8 --stopbits 2 110"; do
  label=${run%%:*}
  mode=${label%% *}
  label=${label#* }
  read -r -a minimodem_args <<<"${run#*:}"
  memory=$("$binary" "$work/text.txt" "$mode" | multiple_of)
  to_file=$("$binary" "$work/text.txt" "$mode" "$work/afsk.wav" | multiple_of)
  theirs=$(minimodem_multiple "${minimodem_args[@]}")
  echo "$label: modulator ${memory} x real time (${to_file} x writing a WAV file), minimodem ${theirs} x writing a WAV file"
  [ "$memory" -ge "$theirs" ] || status=1
done
exit "$status"
