#!/usr/bin/env bash
# Runs the sample station on the simulated clock, headless, on the emulated
# serial port: a working folder under build/sample-station with the sample
# data, the day's log, the UART line trace and the on-air audio.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
station=$build/sample-station
start=${START:-2026-01-01T11:59:00}

rm -rf "$station"
mkdir -p "$station/log"
cp -r "$here/sample/data" "$station/data"
cd "$station"
# --enable puts the station on schedule at once; it ends by itself when the
# queue is done (--run-for is only a safety limit).
"$build/skedcast" --headless --simulate="$start" --enable --exit-when-idle --run-for="${RUN_FOR:-3600}" \
  --serial=emulated:uart-trace.tsv --onair=onair.wav ${SKEDCAST_OPTIONS:-} QZ0XB 2 RTS </dev/null

echo
echo "Station folder: $station"
echo "  log:          $(ls "$station"/log/*.log | tr '\n' ' ')"
echo "  line trace:   $station/uart-trace.tsv"
echo "  on-air audio: $station/onair.wav (8000 Hz, mark 2125 Hz, space 2295 Hz)"
echo "Decode the audio with:"
echo "  minimodem --rx -q -f $station/onair.wav -M 2125 -S 2295 --baudot --stopbits 1.5 45.45"
