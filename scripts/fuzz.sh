#!/usr/bin/env bash
# Runs one fuzz target for a while: scripts/fuzz.sh NAME SECONDS
#   NAME     fuzz/NAME_fuzz.cpp, built as fuzz_NAME (schedule, console, ...)
#   SECONDS  how long to fuzz
# Builds with clang in build-fuzz (FUZZ_BUILD_DIR), starts from the seeds in
# fuzz/corpus/NAME/ copied to a scratch corpus (the repository's seeds are
# never written), and exits non-zero when the fuzzer finds a crash, a
# sanitizer report, a time-out or runaway memory; the input that did it is
# kept under build-fuzz/findings/NAME/.
set -euo pipefail
if [[ $# -ne 2 || ! $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 NAME SECONDS" >&2
  exit 2
fi
name=$1
seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$here/build-fuzz}
if [[ ! -f $here/fuzz/${name}_fuzz.cpp ]]; then
  echo "$0: no fuzz target $here/fuzz/${name}_fuzz.cpp" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSKEDCAST_FUZZ=ON -DSKEDCAST_TESTS=OFF -DSKEDCAST_WERROR=ON >/dev/null
cmake --build "$build" -j1 --target "fuzz_$name"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/run"
if [[ -d $here/fuzz/corpus/$name ]]; then
  cp -R "$here/fuzz/corpus/$name/." "$work/corpus/"
fi
findings=$build/findings/$name
mkdir -p "$findings"

# Run in a scratch folder: a target that touches files touches only that.
status=0
(cd "$work/run" && "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$work/corpus") || status=$?
if [[ $status -ne 0 ]]; then
  echo "fuzz_$name: FOUND a failure (exit $status); inputs in $findings:" >&2
  ls -l "$findings" >&2
  exit 1
fi
echo "fuzz_$name: nothing found in $seconds s"
