#!/usr/bin/env bash
# Cost of the sound on the real clock: a headless station on the emulated port
# keys up and sends the RY test text again and again for SECONDS (default 60)
# as RTTY with AFSK audio to ALSA's null PCM (which takes samples as fast as
# they come: the station must pace itself), and reports the share of one core
# it used. Target: under 0.5 %.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/cpu_share.sh
. "$here/bench/cpu_share.sh"
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
seconds=${SECONDS_TO_SEND:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
printf 'RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY\n' >"$work/data/RYRYRYRY.txt"
cd "$work"

"$binary" --headless --serial=emulated --audio=alsa:null --sound-card=-1 --run-for="$seconds" QZ0XB 2 RTS \
  < <(printf 'repeat on\nry\n'; sleep "$((seconds + 5))") >/dev/null 2>"$work/station.err" &
pid=$!
cpu_share "$pid" "$seconds"
grep -q "Sending <RYRYRYRY.txt>" log/*.log || { cat "$work/station.err" log/*.log >&2; echo "audio_cpu.sh: nothing was sent" >&2; exit 1; }
echo "station sending RTTY with AFSK audio to ALSA null: $cpu_percent % of one core over $seconds s" \
  "(target: under 0.5 %)"
awk -v p="$cpu_percent" 'BEGIN { exit !(p < 0.5) }'
