#!/usr/bin/env bash
# Idle cost of a real-clock station: runs it headless for SECONDS (default 60)
# on the emulated port with an empty schedule and reports the share of one
# core it used. The station must sleep between its one-second ticks: the
# target is under 1 %.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/cpu_share.sh
. "$here/bench/cpu_share.sh"
binary=${1:-$here/build/skedcast}
seconds=${SECONDS_TO_IDLE:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
cd "$work"

"$binary" --headless --serial=emulated --run-for="$seconds" QZ0XB 2 RTS </dev/null >/dev/null 2>&1 &
pid=$!
cpu_share "$pid" "$seconds"
wait "$pid" || true
echo "idle station: $cpu_percent % of one core over $seconds s (target: under 1 %)"
awk -v p="$cpu_percent" 'BEGIN { exit !(p < 1.0) }'
