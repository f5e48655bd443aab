#!/usr/bin/env bash
# editor_xvfb_test.sh SKEDCAST: editor-only operation under a real X server
# (Xvfb). `skedcast QZ0XB 0` opens the schedule editor and no other window;
# Escape does not close it; closed the way a window manager closes a window
# (WM_DELETE_WINDOW, which cancels), the program ends with status 0, the
# schedule as it was and nothing in the log. Without a display it says that
# the editor needs one and ends with a non-zero status.
set -euo pipefail
skedcast=$(realpath "$1")
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/skedcast-editor-xvfb-XXXXXX)
xvfb_pid=""
editor_pid=""
cleanup() {
  [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- stderr"; cat "$work/err.txt" 2>/dev/null || true; echo "--- log"; cat "$work"/log/* 2>/dev/null || true; exit 1; }

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

# A free display: Xvfb writes the number it took once it is ready.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.txt" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.txt")"
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

"$skedcast" QZ0XB 0 </dev/null >out.txt 2>err.txt &
editor_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Editor' | head -1) || fail "no editor appeared"
[ -n "$wid" ] || fail "no editor appeared"
sleep 0.5
visible=$(xdotool search --onlyvisible --pid "$editor_pid" --name '.' 2>/dev/null | sort -u)
[ "$visible" = "$wid" ] || fail "windows other than the editor are shown: $(for w in $visible; do xdotool getwindowname "$w"; done)"

# A real key press (XTEST) to the focused editor; no window manager runs here.
xdotool windowfocus --sync "$wid"
xdotool key Escape
sleep 0.5
kill -0 "$editor_pid" 2>/dev/null || fail "Escape closed the editor"

python3 - "$wid" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.l[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
PY

for _ in $(seq 100); do kill -0 "$editor_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$editor_pid" 2>/dev/null && fail "the program did not end when the editor closed"
status=0
wait "$editor_pid" || status=$?
editor_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ "$(cat data/schedule.lst)" = "$(printf '%s' "$schedule")" ] || fail "Cancel changed data/schedule.lst"
[ -z "$(ls log)" ] || fail "editor-only operation wrote to the log: $(ls log)"
echo "PASS: the editor alone, Escape kept it open, closing it ended the program with status 0 and no log line"
