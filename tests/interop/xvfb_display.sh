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
xvfb_pid=""

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
