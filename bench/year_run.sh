#!/usr/bin/env bash
# A simulated year on the emulated port, headless: a bulletin every hour with the
# one-word header and footer around it, each followed by an identification.
# Runs it twice, without sound and with the sound card's audio to a WAV file
# (--audio=wav:), and reports the CPU time (user + system) of each.
#   bench/year_run.sh [BINARY]   (default build/skedcast)
# DAYS sets the length (default 365). KEEP=DIR keeps each run's folder (log,
# line trace, WAV) under DIR to compare two builds; TRACE=1 also writes the
# line trace (a year's is several gigabytes).
# Goals: under 60 s without sound, under 120 s with it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/process_cpu.sh
. "$here/bench/process_cpu.sh"
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
days=${DAYS:-365}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/data"
python3 - > "$work/data/bulletin.txt" <<'PY'
for i in range(8):
    print("QST QST DE QZ0XB BULLETIN LINE %d: THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789" % i)
PY
printf 'QST\r\n' > "$work/data/header.txt"
printf 'END\r\n' > "$work/data/footer.txt"
printf 'QZ0XB\r\n' > "$work/data/cwid.txt"
python3 - "$days" > "$work/data/schedule.lst" <<'PY'
import datetime, sys
t = datetime.datetime(2026, 1, 5, 0, 0, 0)
for h in range(int(sys.argv[1]) * 24):
    s = t + datetime.timedelta(hours=h)
    print(s.strftime("%m/%d/%Y %H:%M:%S") + " bulletin.txt")
    print("$CWID")
PY
entries=$((days * 24))
run_for=$((days * 86400 + 7200))

status=0
run() {  # label goal options...: one run in a folder of its own
  local label=$1 goal=$2 folder
  shift 2
  folder=$work/${label// /-}
  mkdir -p "$folder/log"
  cp -r "$work/data" "$folder/data"
  local trace=()
  [ "${TRACE:-0}" = 1 ] && trace=(--serial=emulated:uart-trace.tsv)
  cd "$folder"
  process_cpu "$binary" --headless --simulate=2026-01-04T23:59:00 --enable --exit-when-idle \
    --run-for="$run_for" "${trace[@]}" "$@" QZ0XB 2 RTS </dev/null >"$folder/stdout.txt" 2>&1 || true
  cd "$work"
  local completed ids seconds=$cpu_seconds
  completed=$(cat "$folder"/log/*.log | grep -c "Completed sending <bulletin.txt>." || true)
  ids=$(cat "$folder"/log/*.log | grep -c "Cwid : Sending CW Identification." || true)
  echo "simulated $days days $label: $completed bulletins, $ids identifications," \
    "$seconds s CPU (goal: under $goal s)"
  [ "$completed" -eq "$entries" ] && [ "$ids" -eq "$entries" ] &&
    awk -v s="$seconds" -v g="$goal" 'BEGIN { exit !(s < g) }' || status=1
  rm -rf "$folder/data"
  if [ -n "${KEEP:-}" ]; then
    mkdir -p "$KEEP"
    rm -rf "${KEEP:?}/${label// /-}"
    mv "$folder" "$KEEP/"
  else
    rm -rf "$folder"
  fi
}

run "without sound" 60
run "with sound" 120 --audio=wav:air.wav --sound-card=-1
exit "$status"
