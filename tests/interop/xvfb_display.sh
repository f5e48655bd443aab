# shellcheck shell=bash
# xvfb_display.sh, sourced by the tests that need a real X server (the main window, the editor,
# fldigi). It starts nothing by being sourced.
#
#   xvfb_start WORK [SCREEN]  starts a private Xvfb (SCREEN defaults to 1280x800x24) on a display
#                             number Xvfb picks itself (-displayfd: no guessing which displays are
#                             free), waits until it serves (10 s at most, less if Xvfb dies), and
#                             exports DISPLAY with no Wayland or Qt platform override left over.
#                             Its process is xvfb_pid and its output goes to WORK/xvfb.log. Returns
#                             non-zero if it did not come up; the caller fails with its own message.
#   xvfb_stop                 stops that Xvfb; harmless when none runs, so an EXIT trap may call it.
#
# For the tests of Skedcast's own windows:
#   window_test_begin NAME    checks that Xvfb, xdotool and python3 are there, makes the scratch
#                             folder `work` (/tmp/skedcast-NAME-...) and sets an EXIT trap that ends
#                             the program under test (`app_pid`, when set), Xvfb and the folder.
#   fail MESSAGE              says why, shows the program's standard error (WORK/err.txt) and its
#                             log (WORK/log/), and exits with status 1.
xvfb_pid=""
app_pid=""
work=""

xvfb_start() {
  local work=$1 screen=${2:-1280x800x24} _
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  # Xvfb writes the display number once it accepts clients.
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$work/display" ] || return 1
  DISPLAY=":$(head -1 "$work/display")"
  export DISPLAY
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}

window_test_begin() {
  local tool
  for tool in Xvfb xdotool python3; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
  done
  work=$(mktemp -d "/tmp/skedcast-$1-XXXXXX")
  trap window_test_end EXIT
}

window_test_end() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  xvfb_stop
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*"
  echo "--- stderr"; cat "$work/err.txt" 2>/dev/null || true
  echo "--- log"; cat "$work"/log/* 2>/dev/null || true
  exit 1
}
