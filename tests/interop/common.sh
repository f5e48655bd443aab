# shellcheck shell=bash disable=SC2034,SC2154  # names shared with the scripts that source it
# Sourced by the interop scripts; it starts nothing by itself. A missing tool fails, never skips.
set -euo pipefail
readonly CALL=QZ0XB MARK=2125 SPACE=2295
pids=() passed=0 input=''
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { local t; for t; do command -v "$t" >/dev/null || fail "'$t' is missing (scripts/install-deps.sh)"; done; }
# waitfor SECONDS COMMAND...: asks COMMAND every 0.1 s until it succeeds, for SECONDS at most.
waitfor() { local n=$(($1 * 10)); shift; until "$@"; do ((n-- > 0)) || return 1; sleep 0.1; done; }
gone() { ! kill -0 "$1" 2>/dev/null; }

# begin NAME SKEDCAST TOOL...: $skedcast made absolute, the tools there, the station's folder $work with log/ and
# data/ without header or footer. On exit the pids end; a failure (or SKEDCAST_KEEP=1) keeps the folder.
begin() {
  skedcast=$(readlink -f -- "$2")
  [ -x "$skedcast" ] || fail "no station binary at '$2' (build the skedcast target first)"
  need "${@:3}"
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/skedcast-$1.XXXXXX") && work=$scratch
  trap finish EXIT
  trap 'exit 130' INT TERM
  mkdir "$work/data" "$work/log"
  touch "$work/data/header.txt" "$work/data/footer.txt"
}
finish() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || :; done
  for p in "${pids[@]}"; do waitfor 2 gone "$p" || kill -9 "$p" 2>/dev/null || :; done
  if [ "$passed" = 1 ] && [ "${SKEDCAST_KEEP:-0}" != 1 ]; then rm -rf "$scratch"; return; fi
  tail -n 20 "$work/station.err" "$work"/log/*.log >&2 2>/dev/null || :
  echo "scratch folder kept: $scratch" >&2
}

# schedule ENTRY...: data/schedule.lst with the entries one a second from 12:00:00.
schedule() { local s=0 e; for e; do printf '01/01/2026 12:00:%02d %s\n' $((s++)) "$e"; done >"$work/data/schedule.lst"; }
# station OPTION...: headless on the emulated line from 11:59:50 UTC simulated until idle, $input typed; no complaint.
station() {
  (cd "$work" && printf '%s' "$input" | TZ=UTC LC_ALL=C timeout 120 "$skedcast" --headless --run-for=900 \
     --simulate=2026-01-01T11:59:50 --enable --exit-when-idle --serial=emulated:uart-trace.tsv "$@" $CALL 2 RTS \
     >station.out 2>station.err) || fail "skedcast ended with status $?"
  [ ! -s "$work/station.err" ] || fail "skedcast reported problems"
}
# logged LINE...: the log has each line (after its time stamp).
logged() {
  local l
  for l; do grep -qxF -- "$l" <(sed 's/^[0-9:]* > //' "$work"/log/*.log) || fail "the log has no line '$l'"; done
}
wav_format() {
  [ -s "$1" ] || fail "no audio at $1"
  local f
  f="$(soxi -r "$1") $(soxi -c "$1") $(soxi -b "$1") $(soxi -e "$1")"
  [ "$f" = "8000 1 16 Signed Integer PCM" ] || fail "$1 is not 8000 Hz mono 16-bit PCM but $f"
  # Plain PCM (format 1), which the simplest readers take too.
  python3 -c 'import sys, wave; wave.open(sys.argv[1]).close()' "$1" || fail "$1 is not a plain PCM WAV file"
}

words() { printf '%s' "$1" | tr -s ' \t\r\n' '    ' | sed 's/^ //; s/ $//'; }  # Morse: any run of blanks a word gap
# morse DOT_MS|auto SOX_EFFECT...: $got is multimon-ng's words from $work/$wav through the effects (normalised,
# undithered, 2 s of silence after); with the dot and gap unit fixed, a dash or a gap of the wrong length fails.
# "auto": multimon-ng finds the speed itself, and its spacing is kept (a letter gap read as a word gap shows).
morse() {
  local timing=(-y -d "$1" -g "$1")
  [ "$1" != auto ] || timing=()
  got=$(sox -V1 -D "$work/$wav" -t raw -r 22050 -e signed -b 16 -c 1 - "${@:2}" pad 0.5 2 |
        multimon-ng -q -t raw -a MORSE_CW "${timing[@]}" - 2>"$work/multimon.err")
  if [ "$1" = auto ]; then got=$(printf '%s' "$got" | sed 's/ *$//'); else got=$(words "$got"); fi
}

# xvfb SCREEN: a private Xvfb on a display it picks itself, DISPLAY exported once its socket takes a connection.
# A server that names its display and then dies (a display number raced for) is started again, twice at most.
xvfb() {
  local try n
  for try in 1 2 3; do
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    waitfor 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    n=$(head -1 "$work/display")
    if waitfor 5 python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).connect(sys.argv[1])' \
         "/tmp/.X11-unix/X$n" 2>/dev/null && ! gone "${pids[-1]}"; then
      DISPLAY=":$n"
      export DISPLAY
      unset QT_QPA_PLATFORM WAYLAND_DISPLAY
      return
    fi
    echo "Xvfb on :$n does not answer (try $try): $(cat "$work/xvfb.log")" >&2
    kill "${pids[-1]}" 2>/dev/null || :
  done
  fail "no Xvfb display answered"
}
