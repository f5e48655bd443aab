#!/usr/bin/env bash
# Cost of the web page on the real clock: a headless station on the emulated port serves its page
# (--http) to headless chromium, which keeps it open with its live events, for SECONDS (default 60,
# SECONDS_TO_MEASURE) idle and again for SECONDS sending a long bulletin (ITA2, 45.45 baud). Reports
# the share of one core the station used in each. Target: under 0.5 % each. Needs chromium,
# chromium-driver and python3-selenium (Debian's, run with /usr/bin/python3).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/cpu_share.sh
. "$here/bench/cpu_share.sh"
binary=$(readlink -f -- "${1:-$here/build/skedcast}")
seconds=${SECONDS_TO_MEASURE:-60}
work=$(mktemp -d)
browser=""
trap '[ -n "$browser" ] && kill "$browser" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/log"
python3 "$here/bench/make_text.py" 20000 upper >"$work/data/long.txt"
cd "$work"

# The page open in a browser until the station's port closes.
open_page='
import sys, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"]:
    options.add_argument(argument)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
browser.get(sys.argv[1])
while browser.find_element("id", "link").text != "live":
    time.sleep(0.1)
print("live", flush=True)
try:
    while True:
        time.sleep(1)
finally:
    browser.quit()
'

for phase in idle sending; do
  commands=""
  [ "$phase" = sending ] && commands=$'add long.txt\nenable\nsend\n'
  : >"$work/station.out"
  "$binary" --headless --serial=emulated --audio=null --http=127.0.0.1:0 --run-for="$seconds" QZ0XB 2 RTS \
    < <(printf '%s' "$commands"; sleep "$((seconds + 5))") >"$work/station.out" 2>"$work/station.err" &
  pid=$!
  until url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$work/station.out"); do sleep 0.1; done
  /usr/bin/python3 -c "$open_page" "$url" >"$work/browser.out" 2>&1 &
  browser=$!
  cpu_share "$pid" "$seconds"
  kill "$browser" 2>/dev/null || true
  wait "$browser" 2>/dev/null || true
  browser=""
  grep -q live "$work/browser.out" || { cat "$work/browser.out" >&2; echo "web_cpu.sh: the page never went live" >&2; exit 1; }
  if [ "$phase" = sending ]; then
    grep -q "Sending file <long.txt>" log/*.log || { cat "$work/station.err" >&2; echo "web_cpu.sh: nothing was sent" >&2; exit 1; }
  fi
  echo "station with its page open, $phase: $cpu_percent % of one core over $seconds s (target: under 0.5 %)"
  awk -v p="$cpu_percent" 'BEGIN { exit !(p < 0.5) }' || status=1
  rm -f log/*.log
done
exit "${status:-0}"
