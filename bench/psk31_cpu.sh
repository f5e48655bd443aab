#!/usr/bin/env bash
# Cost of PSK31 on the real clock: a headless station on the emulated port
# keys up and sends the RY test text again and again for SECONDS (default 60)
# as PSK31, its audio to a WAV file and again to ALSA's null PCM (which takes
# samples as fast as they come: the station must pace itself), and reports
# the share of one core it used each time. Goal: at most 0.1 %.
#   bench/psk31_cpu.sh [BINARY]   (default build/skedcast)
# SINKS picks the sinks ("wav alsa" by default).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/cpu_share.sh
. "$here/bench/cpu_share.sh"
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
seconds=${SECONDS_TO_SEND:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for sink in ${SINKS:-wav alsa}; do
  case $sink in
    wav) audio=--audio=wav:air.wav label="a WAV file" ;;
    alsa) audio=--audio=alsa:null label="ALSA null" ;;
    *) echo "psk31_cpu.sh: unknown sink $sink (wav or alsa)" >&2; exit 2 ;;
  esac
  rm -rf "$work/station"
  mkdir -p "$work/station/data" "$work/station/log"
  printf 'RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY\n' \
    >"$work/station/data/RYRYRYRY.txt"
  cd "$work/station"
  "$binary" --headless --serial=emulated "$audio" --sound-card=-1 --run-for="$seconds" QZ0XB 2 RTS \
    < <(printf 'mode psk31\nrepeat on\nry\n'; sleep "$((seconds + 5))") >/dev/null 2>"$work/station.err" &
  pid=$!
  cpu_share "$pid" "$seconds"
  cd "$work"
  grep -q "Sending <RYRYRYRY.txt>" station/log/*.log ||
    { cat "$work/station.err" station/log/*.log >&2; echo "psk31_cpu.sh: nothing was sent" >&2; exit 1; }
  echo "station sending PSK31 with audio to $label: $cpu_percent % of one core over $seconds s (goal: at most 0.1 %)"
  awk -v p="$cpu_percent" 'BEGIN { exit !(p <= 0.1) }' || status=1
done
exit "$status"
