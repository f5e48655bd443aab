#!/usr/bin/env bash
# Idle cost of a real-clock station: runs it headless for SECONDS (default 60)
# on the emulated port with an empty schedule and reports the share of one
# core it used. The station must sleep between its one-second ticks: the
# target is under 1 %.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$here/build/skedcast}
seconds=${SECONDS_TO_IDLE:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
cd "$work"

ticks_per_second=$(getconf CLK_TCK)
"$binary" --headless --serial=emulated --run-for="$seconds" QZ0XB 2 RTS </dev/null >/dev/null 2>&1 &
pid=$!
last=0
while kill -0 "$pid" 2>/dev/null; do
  # fields 14 and 15 of /proc/PID/stat: user and system time in clock ticks
  read -r -a stat < "/proc/$pid/stat" || break
  last=$(( stat[13] + stat[14] ))
  sleep 1
done
wait "$pid" || true
percent=$(awk -v t="$last" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
echo "idle station: $percent % of one core over $seconds s (target: under 1 %)"
awk -v p="$percent" 'BEGIN { exit !(p < 1.0) }'
