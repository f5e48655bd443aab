#!/usr/bin/env bash
# editor_xvfb_test.sh SKEDCAST: editor-only operation under a real X server
# (Xvfb). `skedcast QZ0XB 0` opens the schedule editor and no other window;
# Escape does not close it; closed the way a window manager closes a window
# (WM_DELETE_WINDOW, which cancels), the program ends with status 0, the
# schedule as it was and nothing in the log. Without a display it says that
# the editor needs one and ends with a non-zero status.
set -euo pipefail
skedcast=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
# shellcheck source=SCRIPTDIR/xvfb_display.sh
. "$here/xvfb_display.sh"
window_test_begin editor-xvfb

mkdir -p "$work/data" "$work/log"
schedule=$'01/01/2099 12:00:00 news.txt   // far ahead\nwx.txt\n'
printf '%s' "$schedule" >"$work/data/schedule.lst"
echo "THE NEWS" >"$work/data/news.txt"
cd "$work"

# No display: refused with a reason, before any window or log.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$skedcast" QZ0XB 0 </dev/null >out.txt 2>err.txt || status=$?
[ "$status" -ne 0 ] || fail "without a display the editor-only run ended with status 0"
grep -qi 'display' err.txt out.txt || fail "without a display nothing says that the editor needs one"

xvfb_start "$work" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"

"$skedcast" QZ0XB 0 </dev/null >out.txt 2>err.txt &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Editor' | head -1) || fail "no editor appeared"
[ -n "$wid" ] || fail "no editor appeared"
sleep 0.5
visible=$(xdotool search --onlyvisible --pid "$app_pid" --name '.' 2>/dev/null | sort -u)
[ "$visible" = "$wid" ] || fail "windows other than the editor are shown: $(for w in $visible; do xdotool getwindowname "$w"; done)"

# A real key press (XTEST) to the focused editor; no window manager runs here.
xdotool windowfocus --sync "$wid"
xdotool key Escape
sleep 0.5
kill -0 "$app_pid" 2>/dev/null || fail "Escape closed the editor"

# Closed the way a window manager closes it (WM_DELETE_WINDOW).
python3 "$here/x11_window.py" close "$wid" || fail "the editor could not be asked to close"

for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end when the editor closed"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ "$(cat data/schedule.lst)" = "$(printf '%s' "$schedule")" ] || fail "Cancel changed data/schedule.lst"
[ -z "$(ls log)" ] || fail "editor-only operation wrote to the log: $(ls log)"
echo "PASS: the editor alone, Escape kept it open, closing it ended the program with status 0 and no log line"
