#!/usr/bin/env bash
# Cost of the sound on the real clock: a headless station on the emulated port
# keys up and sends the RY test text again and again for SECONDS (default 60)
# as RTTY with AFSK audio to ALSA's null PCM (which takes samples as fast as
# they come: the station must pace itself), and reports the share of one core
# it used. Target: under 0.5 %.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
seconds=${SECONDS_TO_SEND:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
printf 'RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY\n' >"$work/data/RYRYRYRY.txt"
cd "$work"

ticks_per_second=$(getconf CLK_TCK)
"$binary" --headless --serial=emulated --audio=alsa:null --sound-card=-1 --run-for="$seconds" QZ0XB 2 RTS \
  < <(printf 'repeat on\nry\n'; sleep "$((seconds + 5))") >/dev/null 2>"$work/station.err" &
pid=$!
last=0
while kill -0 "$pid" 2>/dev/null; do
  read -r -a stat < "/proc/$pid/stat" || break   # fields 14 and 15: user and system ticks
  last=$(( stat[13] + stat[14] ))
  sleep 1
done
grep -q "Sending <RYRYRYRY.txt>" log/*.log || { cat "$work/station.err" log/*.log >&2; echo "audio_cpu.sh: nothing was sent" >&2; exit 1; }
percent=$(awk -v t="$last" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
echo "station sending RTTY with AFSK audio to ALSA null: $percent % of one core over $seconds s (target: under 0.5 %)"
awk -v p="$percent" 'BEGIN { exit !(p < 0.5) }'
