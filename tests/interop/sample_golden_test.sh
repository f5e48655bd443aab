#!/usr/bin/env bash
# The sample station's log, line trace and on-air audio, compared byte for
# byte with the record kept in tests/golden/: a change of structure must not
# change what the station does. Only a deliberate change of behaviour updates
# the record (run with UPDATE_GOLDEN=1 and name the change in the commit).
set -euo pipefail
export TZ=UTC LC_ALL=C
binary=$1
source_dir=$2
golden=$source_dir/tests/golden
build=$(mktemp -d /tmp/skedcast-golden.XXXXXX)
trap 'rm -rf "$build"' EXIT
ln -s "$binary" "$build/skedcast"
BUILD_DIR=$build "$source_dir/scripts/run-sample.sh" >"$build/run.txt" 2>&1 || { cat "$build/run.txt"; echo "FAIL: sample run"; exit 1; }
station=$build/sample-station
wav=$(sha256sum <"$station/onair.wav" | cut -d' ' -f1)

if [ "${UPDATE_GOLDEN:-}" = 1 ]; then
  cp "$station/log/20260101.log" "$golden/sample.log"
  cp "$station/uart-trace.tsv" "$golden/sample-trace.tsv"
  echo "$wav" >"$golden/sample-onair.sha256"
  echo "golden record updated in $golden"
  exit 0
fi
status=0
diff -u "$golden/sample.log" "$station/log/20260101.log" || { echo "FAIL: the log differs"; status=1; }
diff -u "$golden/sample-trace.tsv" "$station/uart-trace.tsv" | head -40 || true
cmp -s "$golden/sample-trace.tsv" "$station/uart-trace.tsv" || { echo "FAIL: the line trace differs"; status=1; }
[ "$wav" = "$(cat "$golden/sample-onair.sha256")" ] || { echo "FAIL: the on-air audio differs ($wav)"; status=1; }
[ "$status" -eq 0 ] && echo "sample station: log, line trace and on-air audio as recorded"
exit "$status"
