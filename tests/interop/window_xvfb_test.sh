#!/usr/bin/env bash
# window_xvfb_test.sh SKEDCAST: the main window under a real X server (Xvfb).
# The station runs on the real clock with the emulated serial port and sends a
# bulletin; meanwhile a mouse click on the window's Help menu must be handled
# within 100 ms while characters keep going out. Then the window is closed the
# way a window manager closes it (WM_DELETE_WINDOW): the station cancels the
# bulletin, runs its shut-down sequence and ends with the key up.
set -euo pipefail
skedcast=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
helper="$here/x11_window.py"
# shellcheck source=SCRIPTDIR/xvfb_display.sh
. "$here/xvfb_display.sh"
window_test_begin xvfb
now_ms() { date +%s%3N; }

xvfb_start "$work" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"

mkdir -p "$work/data" "$work/log"
for i in $(seq 40); do echo "BULLETIN LINE $i OF THE REAL CLOCK TEST RYRYRYRY"; done >"$work/data/long.txt"
echo "$(date -d '+3 seconds' '+%m/%d/%Y %H:%M:%S') long.txt" >"$work/data/schedule.lst"
cd "$work"
"$skedcast" --serial=emulated:trace.tsv --audio=null --enable QZ0XB 2 RTS </dev/null >out.txt 2>err.txt &
app_pid=$!

# The window appears, titled by the station.
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Scheduler' | head -1) || fail "no window appeared"
[ -n "$wid" ] || fail "no window appeared"

# The bulletin goes out on the real clock.
for _ in $(seq 300); do grep -q 'TXFile : Sending file <long.txt>.' log/*.log 2>/dev/null && break; sleep 0.05; done
grep -q 'TXFile : Sending file <long.txt>.' log/*.log || fail "the bulletin did not start"
frames() { grep -c $'\tframe\t' trace.tsv 2>/dev/null || true; }
sleep 1
before=$(frames)

# A click on the Help menu (the first item of the menu bar) is answered with
# its menu, twice (the times include starting xdotool).
for round in first second; do
  limit=100
  latency=$(python3 "$helper" click "$wid" 18 10) || fail "the $round click on the Help menu was not handled"
  echo "$round click handled within ${latency} ms"
  [ "$latency" -le "$limit" ] || fail "the $round click took ${latency} ms (more than $limit) while sending"
  xdotool key Escape
  sleep 0.5
done
after=$(frames)
[ "$after" -gt "$before" ] || fail "no characters went out around the clicks ($before, then $after)"

# Closed as a window manager closes a window.
python3 "$helper" close "$wid"

status=0
for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the station did not end after its window was closed"
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the station ended with status $status"
grep -q 'CmCancel : Session CANCELED' log/*.log || fail "closing did not cancel the bulletin"
grep -q 'ABORTED sending <long.txt>.' log/*.log || fail "the bulletin was not reported aborted"
tail -1 log/*.log | grep -q 'Skedcast has been TERMINATED' || fail "the shut-down sequence did not end the log"
last_mcr=$(grep $'\tmcr\t' trace.tsv | tail -1)
case "$last_mcr" in *key=OFF*) ;; *) fail "the key is left up: $last_mcr" ;; esac
echo "PASS: window shown, responsive while sending, closed through the shut-down sequence with the key up"
