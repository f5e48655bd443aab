#!/usr/bin/env bash
# Time to start a station whose schedule holds 10 000 entries (dated and
# automatic), on the simulated clock, ending right after start-up.
# Target: well under one second.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$here/build/skedcast}
lines=${LINES_IN_SCHEDULE:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
printf 'QST DE QZ0XB\r\n' > "$work/data/b.txt"
python3 - "$lines" > "$work/data/schedule.lst" <<'PY'
import sys
n = int(sys.argv[1])
for i in range(n):
    if i % 2:
        print("b.txt")
    else:
        minutes = 10 + i
        print("01/%02d/2027 %02d:%02d:00 b.txt" % (1 + minutes // 1440, minutes // 60 % 24, minutes % 60))
PY
cd "$work"
start=$(date +%s.%N)
"$binary" --headless --simulate=2026-12-31T00:00:00 --run-for=0 QZ0XB </dev/null >/dev/null 2>&1
end=$(date +%s.%N)
loaded=$(grep -c "" "$work/data/schedule.lst")
seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
echo "start-up with a schedule of $loaded lines: $seconds s (target: under 1 s)"
awk -v s="$seconds" 'BEGIN { exit !(s < 1.0) }'
