#!/usr/bin/env bash
# window_xvfb_test.sh SKEDCAST window|editor: Skedcast's windows under Xvfb, closed as a window manager does.
#   window: on the real clock a click is answered within 100 ms while a bulletin goes out; closing cancels it, key up.
#   editor: `skedcast CALL 0` shows the editor alone; Escape keeps it; closing ends with status 0, nothing changed.
#   load: over a year of hourly bulletins the entry due 3 s after the start goes out on time; SIGTERM during the
#         start ends the station within a second.
here=$(dirname "$(readlink -f -- "$0")")
. "$here/common.sh"
begin "$2" "$1" Xvfb xdotool python3
cd "$work"
x11() { python3 "$here/x11_window.py" "$@"; }
# show TITLE OPTION...: the program started, $wid its window once shown.
show() {
  xvfb 1280x800x24
  "$skedcast" "${@:2}" </dev/null >station.out 2>station.err &
  app=$!
  pids+=("$app")
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1" | head -1) && [ -n "$wid" ] ||
    fail "no $1 window appeared"
}
# close: the window closed, the program ends with status 0.
close() {
  x11 close "$wid"
  waitfor 20 gone $app || fail "the program did not end when its window was closed"
  wait $app || fail "the program ended with status $?"
}

if [ "$2" = window ]; then
  for i in $(seq 40); do echo "BULLETIN LINE $i OF THE REAL CLOCK TEST RYRYRYRY"; done >data/long.txt
  # Far enough ahead that a slow start (a loaded machine) does not find the entry expired.
  echo "$(date -d '+10 seconds' '+%m/%d/%Y %H:%M:%S') long.txt" >data/schedule.lst
  show Scheduler --serial=emulated:uart-trace.tsv --audio=null --enable $CALL 2 RTS
  started() { grep -q 'TXFile : Sending file <long.txt>.' log/*.log 2>/dev/null; }
  waitfor 25 started || fail "the bulletin did not start"
  frames() { grep -c $'\tframe\t' uart-trace.tsv || :; }
  on_the_line() { [ "$(frames)" -gt 0 ]; }
  waitfor 10 on_the_line || fail "no character of the bulletin reached the line"
  before=$(frames)
  # A click on the Help menu (the first item of the menu bar) is answered with its menu, twice.
  for round in first second; do
    ms=$(x11 click "$wid" 18 10) || fail "the $round click on the Help menu was not answered"
    echo "$round click answered within $ms ms"
    [ "$ms" -le 100 ] || fail "the $round click took $ms ms (more than 100) while sending"
    xdotool key Escape
    sleep 0.5
  done
  after=$(frames)
  [ "$after" -gt "$before" ] || fail "no characters went out around the clicks ($before, then $after)"
  close
  logged 'CmCancel : Session CANCELED' 'ABORTED sending <long.txt>.'
  cat log/*.log | tail -1 | grep -q 'Skedcast has been TERMINATED' || fail "the shut-down sequence did not end the log"
  mcr=$(grep $'\tmcr\t' uart-trace.tsv | tail -1)
  [[ $mcr == *key=OFF* ]] || fail "the key is left down: $mcr"
  echo "PASS: window shown, responsive while sending, closed through the shut-down sequence with the key up"
elif [ "$2" = load ]; then
  echo "QST DE $CALL" >data/b.txt
  # The station over an entry due in 3 s, then a year of hourly bulletins with one-word follower lines (17 519 lines).
  year() { python3 -c 'import datetime as d; n, f = d.datetime.now(), "%m/%d/%Y %H:%M:%S b.txt"
print((n + d.timedelta(seconds=3)).strftime(f)); [print((n + d.timedelta(1, hours=h)).strftime(f + "\nfooter.txt"))
for h in range(8759)]' >data/schedule.lst
    "$skedcast" --serial=emulated --audio=null --enable $CALL 2 RTS </dev/null >station.out 2>station.err & app=$!
    pids+=("$app"); }
  xvfb 1280x800x24
  year
  due=$(head -c 19 data/schedule.lst | cut -c12-)
  queued() { sent=$(grep -h 'File <b.txt> in TRANSMIT Queue.' log/*.log 2>/dev/null | cut -c1-8); }
  waitfor 10 queued && [ "$sent" = "$due" ] || fail "the entry due at $due went out at '$sent'"
  kill -TERM $app && wait $app && year  # again: SIGTERM once the log tells that the start, the load with it, is under way
  starts() { [ "$(cat log/*.log | grep -c 'has been STARTED')" = 2 ]; }
  waitfor 10 starts && kill -TERM $app && waitfor 1 gone $app || fail "SIGTERM did not end the station within a second"
  [ "$(cat log/*.log | grep -c 'SIGTERM : Shutting down')" = 2 ] && cat log/*.log | tail -1 | grep -q 'has been TERMINATED' ||
    fail "the second SIGTERM did not end the station through its shut-down sequence"
  echo "PASS: the entry due at $due went out at $sent over a year of schedule; SIGTERM during the start ended it at once"
else
  printf '01/01/2099 12:00:00 news.txt   // far ahead\nwx.txt\n' | tee data/schedule.lst >schedule.was
  echo "THE NEWS" >data/news.txt
  # No display: refused with a reason, before any window or log.
  ! env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$skedcast" $CALL 0 </dev/null >station.out 2>station.err ||
    fail "without a display the editor-only run ended with status 0"
  grep -qi display station.err station.out || fail "without a display nothing says that the editor needs one"
  show Editor $CALL 0
  sleep 0.5
  shown=$(xdotool search --onlyvisible --pid $app --name . 2>/dev/null | sort -u)
  [ "$shown" = "$wid" ] ||
    fail "windows other than the editor are shown: $(for w in $shown; do xdotool getwindowname "$w"; done)"
  xdotool windowfocus --sync "$wid" key Escape
  sleep 0.5
  ! gone $app || fail "Escape closed the editor"
  close
  cmp -s data/schedule.lst schedule.was || fail "Cancel changed data/schedule.lst"
  [ -z "$(ls log)" ] || fail "editor-only operation wrote to the log: $(ls log)"
  echo "PASS: the editor alone, Escape kept it open, closing it ended the program with status 0 and no log line"
fi
passed=1
