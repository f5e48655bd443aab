#!/usr/bin/env bash
# The README's sample station: run with --enable --exit-when-idle it must end
# by itself with the whole day in its log, and its on-air audio must decode
# with minimodem to the bulletins: the noon bulletin and the propagation
# report in Military at 45.45 baud, the notice in ITA2 at 50 baud.
set -euo pipefail
export LC_ALL=C  # English day and month names in the macros
binary=$1
source_dir=$2
for tool in minimodem sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done
build=$(mktemp -d /tmp/skedcast-sample.XXXXXX)
trap 'rm -rf "$build"' EXIT
ln -s "$binary" "$build/skedcast"
BUILD_DIR=$build "$source_dir/scripts/run-sample.sh" >"$build/run.txt" 2>&1 || { cat "$build/run.txt"; echo "FAIL: sample run"; exit 1; }
station=$build/sample-station
log=$(cat "$station"/log/*.log)
fail() { echo "FAIL: $*"; echo "--- log:"; echo "$log"; exit 1; }

for line in "Completed sending <bulletin.txt>." "Completed sending <propagation.txt>." \
            "Cwid : Sending CW Identification." "Completed sending <notice.txt>." \
            "***** Skedcast has been TERMINATED *****"; do
  grep -qF "> $line" <<<"$log" || fail "the log has no \"$line\""
done
# It ended by itself when the queue was done, long before the safety limit.
grep -q "^12:0[0-9]:[0-9][0-9] > \*\*\*\*\* Skedcast has been TERMINATED" <<<"$log" || fail "did not end when idle"

decode() { minimodem --rx -q -f "$station/onair.wav" -M 2125 -S 2295 --baudot --stopbits 1.5 "$1" 2>/dev/null | tr -d '\r'; }
military=$(decode 45.45)
ita2=$(decode 50)
expect_lines() { # decoded file
  while IFS= read -r line; do
    line=${line%$'\r'}
    [ -z "$line" ] && continue
    grep -qxF "$line" <<<"$1" || { echo "--- decoded:"; echo "$1"; fail "\"$line\" of $2 was not decoded"; }
  done <"$station/data/$2"
}
expect_lines "$military" bulletin.txt
expect_lines "$military" propagation.txt
expect_lines "$ita2" notice.txt
grep -q "^ZCZC QST DE QZ0XB$" <<<"$military" || fail "header not decoded"
grep -q "^BULLETIN FOR THURSDAY JANUARY 01, 2026 AT [0-9][0-9]:[0-9][0-9](UTC)$" <<<"$military" || fail "header macros not decoded"
echo "sample station: log complete, bulletins decoded"
