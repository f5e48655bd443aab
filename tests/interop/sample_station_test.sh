#!/usr/bin/env bash
# sample_station_test.sh SKEDCAST SOURCE_DIR [golden]: the README's sample station (scripts/run-sample.sh) must end
# by itself with the whole day logged, its audio decoding with minimodem to the bulletins (Military 45.45, ITA2 50).
# "golden": its log, line trace and audio byte for byte as in tests/golden/ (UPDATE_GOLDEN=1 for a deliberate change).
. "$(dirname "$(readlink -f -- "$0")")/common.sh"
begin sample "$1" minimodem sox sha256sum
ln -s "$skedcast" "$work/skedcast"
TZ=UTC LC_ALL=C BUILD_DIR=$work "$2/scripts/run-sample.sh" >"$work/run.txt" 2>&1 ||
  { cat "$work/run.txt"; fail "the sample run"; }
work=$work/sample-station
golden=$2/tests/golden wav=$(sha256sum <"$work/onair.wav" | cut -d' ' -f1)

if [ "${3:-}" = golden ] && [ "${UPDATE_GOLDEN:-}" = 1 ]; then
  cp "$work/log/20260101.log" "$golden/sample.log" && cp "$work/uart-trace.tsv" "$golden/sample-trace.tsv"
  echo "$wav" >"$golden/sample-onair.sha256"
  echo "golden record updated in $golden"
elif [ "${3:-}" = golden ]; then
  status=0
  diff -u "$golden/sample.log" "$work/log/20260101.log" || { echo "FAIL: the log differs"; status=1; }
  { diff -u "$golden/sample-trace.tsv" "$work/uart-trace.tsv" || :; } | head -40
  cmp -s "$golden/sample-trace.tsv" "$work/uart-trace.tsv" || { echo "FAIL: the line trace differs"; status=1; }
  [ "$wav" = "$(cat "$golden/sample-onair.sha256")" ] || { echo "FAIL: the on-air audio differs ($wav)"; status=1; }
  [ $status = 0 ] || exit 1
  echo "sample station: log, line trace and on-air audio as recorded"
else
  logged "Completed sending <bulletin.txt>." "Completed sending <propagation.txt>." \
    "Cwid : Sending CW Identification." "Completed sending <notice.txt>."
  tail -1 "$work"/log/*.log | grep -q '^12:0[0-9]:[0-9][0-9] > \*\*\*\*\* Skedcast has been TERMINATED \*\*\*\*\*$' ||
    fail "did not end by itself when idle"
  decode() {
    minimodem --rx -q -f "$work/onair.wav" -M $MARK -S $SPACE --baudot --stopbits 1.5 "$1" 2>/dev/null | tr -d '\r'
  }
  # decoded TEXT FILE: every line of the data file is a line of the decoded text.
  decoded() {
    local line
    while IFS= read -r line; do
      line=${line%$'\r'}
      [ -z "$line" ] || grep -qxF -- "$line" <<<"$1" || fail "\"$line\" of $2 was not decoded from:"$'\n'"$1"
    done <"$work/data/$2"
  }
  military=$(decode 45.45)
  decoded "$military" bulletin.txt
  decoded "$military" propagation.txt
  decoded "$(decode 50)" notice.txt
  grep -qx "ZCZC QST DE $CALL" <<<"$military" || fail "header not decoded"
  grep -qx "BULLETIN FOR THURSDAY JANUARY 01, 2026 AT [0-9][0-9]:[0-9][0-9](UTC)" <<<"$military" ||
    fail "header macros not decoded"
  echo "sample station: log complete, bulletins decoded"
fi
passed=1
