#!/usr/bin/env bash
# Cost of the window while sending: the same bulletin (RTTY at 45.45 baud on
# the emulated port) goes out from a headless station and from one with its
# window under a private Xvfb, on the real clock; each one's share of one core
# is taken over SECONDS (default 60) of sending, start-up left out. Twice:
# with the sound card's AFSK audio to ALSA's null PCM, as a station sends,
# and on the serial line alone, where the headless station does least and
# the window's own cost of a second's repaint shows most.
# Target: the window at most twice the headless station, both ways.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
seconds=${SECONDS_TO_SEND:-60}
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || :; done; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"
# Nanoseconds all threads of PID have run (the first field of each one's
# schedstat): the audio threads, and the window's own, count too.
cpu_ns() {
  local stat task total=0
  for task in /proc/"$1"/task/*/schedstat; do
    read -r -a stat <"$task" && total=$((total + stat[0]))
  done
  echo "$total"
}
percent() { awk -v t="$1" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * t / 1e9 / s }'; }

# share MODE SOUND...: runs the station (headless or window) with the sound
# options SOUND until it has sent for $seconds s; sets $share (%) and $xshare.
share() {
  local mode=$1 dir="$work/$1-$2" app t0 x0
  shift
  local sound=("$@")
  mkdir -p "$dir/data" "$dir/log"
  # Lines as a bulletin has them (the text comes as one line).
  python3 "$here/bench/make_text.py" 4000 upper | fold -s -w 69 >"$dir/data/bulletin.txt"
  : >"$dir/data/header.txt"
  : >"$dir/data/footer.txt"
  date -d '+2 seconds' '+%m/%d/%Y %H:%M:%S bulletin.txt' >"$dir/data/schedule.lst"
  cd "$dir"
  if [ "$mode" = headless ]; then
    "$binary" --headless --serial=emulated "${sound[@]}" --enable QZ0XB 2 RTS </dev/null >/dev/null 2>&1 &
  else
    DISPLAY=$display QT_QPA_PLATFORM='' "$binary" --serial=emulated "${sound[@]}" --enable QZ0XB 2 RTS \
      </dev/null >/dev/null 2>&1 &
  fi
  app=$!
  pids+=("$app")
  for _ in $(seq 300); do grep -q 'TXFile : Sending file' log/*.log 2>/dev/null && break; sleep 0.1; done
  grep -q 'TXFile : Sending file' log/*.log || { echo "$mode: the bulletin did not start" >&2; exit 1; }
  sleep 2  # past the lead-in
  t0=$(cpu_ns "$app") x0=$(cpu_ns "$xvfb")
  sleep "$seconds"
  share=$(percent $(($(cpu_ns "$app") - t0)))
  xshare=$(percent $(($(cpu_ns "$xvfb") - x0)))
  kill -TERM "$app"
  wait "$app" || :
  cd "$work"
}

# compare WHAT SOUND...: prints both shares and their ratio; sets $ratio.
compare() {
  local what=$1 headless
  shift
  share headless "$@"
  headless=$share
  share window "$@"
  ratio=$(awk -v h="$headless" -v w="$share" 'BEGIN { printf "%.2f", w / h }')
  echo "sending RTTY for $seconds s $what: headless $headless %, window $share % of one core" \
    "(Xvfb $xshare %): $ratio times"
}

compare "with AFSK audio to ALSA null" --audio=alsa:null --sound-card=-1
with_sound=$ratio
compare "on the serial line alone" --audio=null
echo "target: the window at most twice the headless station, both ways"
awk -v s="$with_sound" -v l="$ratio" 'BEGIN { exit !(s <= 2 && l <= 2) }'
