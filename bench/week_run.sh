#!/usr/bin/env bash
# A simulated week: a bulletin every hour, each followed by an identification,
# sent on the emulated port. Reports the real time it takes.
# Target: under two minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$here/build/skedcast}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
python3 - > "$work/data/bulletin.txt" <<'PY'
for i in range(8):
    print("QST QST DE QZ0XB BULLETIN LINE %d: THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789" % i)
PY
printf 'QZ0XB\r\n' > "$work/data/cwid.txt"
python3 - > "$work/data/schedule.lst" <<'PY'
import datetime
t = datetime.datetime(2026, 1, 5, 0, 0, 0)
for h in range(7 * 24):
    s = t + datetime.timedelta(hours=h)
    print(s.strftime("%m/%d/%Y %H:%M:%S") + " bulletin.txt")
    print("$CWID")
PY
cd "$work"
start=$(date +%s.%N)
"$binary" --headless --simulate=2026-01-04T23:59:00 --enable --exit-when-idle --run-for=700000 QZ0XB </dev/null >/dev/null 2>&1
end=$(date +%s.%N)
completed=$(cat log/*.log | grep -c "Completed sending <bulletin.txt>." || true)
ids=$(cat log/*.log | grep -c "Cwid : Sending CW Identification." || true)
seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
echo "simulated week: $completed bulletins, $ids identifications, $seconds s real time (target: under 120 s)"
[ "$completed" -eq 168 ] && [ "$ids" -eq 168 ] && awk -v s="$seconds" 'BEGIN { exit !(s < 120) }'
