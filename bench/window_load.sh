#!/usr/bin/env bash
# Start-up of the main window and of the schedule editor against the length
# of the schedule, under a private Xvfb on the real clock: a year of hourly
# bulletins is some 17 500 lines (a dated entry and a one-word follower each
# hour). Each figure is the time from launch until the window is shown and
# its loop answers (the window: the Help menu opens on a click).
# Target: under 2 s for each, at every length.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=$(readlink -f "${1:-$here/build/skedcast}")
sizes=${SCHEDULE_LINES:-0 3000 10000 17520}
goal=2.0
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || :; done; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

now() { date +%s.%N; }
# shown TITLE: waits (60 s at most) until a window of that title is visible; prints its id.
shown() {
  local wid
  for _ in $(seq 3000); do
    wid=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -1) && [ -n "$wid" ] && { echo "$wid"; return; }
    sleep 0.02
  done
  return 1
}
# report WHAT LINES START END
report() {
  awk -v w="$1" -v n="$2" -v a="$3" -v b="$4" -v g="$goal" 'BEGIN {
    s = b - a; printf "%-7s %6d lines: %6.2f s (goal: under %.0f s) %s\n", w, n, s, g, (s < g ? "ok" : "OVER") }'
}
# endit PID: SIGTERM, then waits for the end.
endit() { kill -TERM "$1" 2>/dev/null || :; wait "$1" 2>/dev/null || :; }

for lines in $sizes; do
  dir="$work/run$lines"
  mkdir -p "$dir/data" "$dir/log"
  printf 'QST DE QZ0XB\r\n' >"$dir/data/b.txt"
  printf 'DE QZ0XB\r\n' >"$dir/data/footer.txt"
  : >"$dir/data/header.txt"
  # From tomorrow on, so that nothing falls due during the measurement.
  python3 - "$lines" >"$dir/data/schedule.lst" <<'PY'
import datetime, sys
start = datetime.datetime.now().replace(minute=0, second=0, microsecond=0) + datetime.timedelta(days=1)
for i in range(int(sys.argv[1])):
    if i % 2:
        print("footer.txt")
    else:
        print((start + datetime.timedelta(hours=i // 2)).strftime("%m/%d/%Y %H:%M:%S") + " b.txt")
PY
  cd "$dir"
  t0=$(now)
  "$binary" --serial=emulated:uart-trace.tsv --audio=null QZ0XB 2 RTS </dev/null >station.out 2>&1 &
  app=$!
  pids+=("$app")
  wid=$(shown Scheduler) || { echo "window: no window after 60 s"; cat station.out; exit 1; }
  # The loop answers: the Help menu opens on a click.
  python3 "$here/tests/interop/x11_window.py" click "$wid" 18 10 >/dev/null || { echo "window: the click was not answered"; exit 1; }
  t1=$(now)
  report window "$lines" "$t0" "$t1"
  xdotool key Escape
  endit "$app"
  t0=$(now)
  "$binary" QZ0XB 0 </dev/null >editor.out 2>&1 &
  app=$!
  pids+=("$app")
  shown Editor >/dev/null || { echo "editor: no window after 60 s"; cat editor.out; exit 1; }
  t1=$(now)
  report editor "$lines" "$t0" "$t1"
  endit "$app"
  cd "$work"
done
