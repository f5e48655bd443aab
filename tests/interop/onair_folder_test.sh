#!/usr/bin/env bash
# onair_folder_test.sh SKEDCAST
#
# --onair=DIR/ writes a WAV file per transmission. The station runs headless
# on the simulated clock with two bulletins five minutes apart; the folder
# must then hold exactly two files, named by the local time each transmission
# keyed the transmitter (the log's "CmTX : Transmitter ON" line), each as long
# as its transmission (plus a quarter second of silence either side, none of
# the five minutes between), and each must decode with minimodem to its
# bulletin. Exit status 0 when all holds; the scratch folder is kept (its path
# printed) on failure or with SKEDCAST_KEEP=1.
set -euo pipefail

readonly START=2026-01-01T11:59:50
fail() { echo "FAIL: $*" >&2; exit 1; }

[ $# = 1 ] || { echo "usage: $0 SKEDCAST" >&2; exit 2; }
[ -x "$1" ] || fail "no station binary at '$1' (build the skedcast target first)"
skedcast=$(readlink -f -- "$1")
for tool in minimodem soxi; do
  command -v "$tool" >/dev/null 2>&1 ||
    fail "'$tool' is not installed (scripts/install-deps.sh installs minimodem and sox)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/skedcast-onair-folder.XXXXXX")
passed=0
cleanup() {
  if [ "$passed" = 1 ] && [ "${SKEDCAST_KEEP:-0}" != 1 ]; then rm -rf "$work"
  else echo "station folder kept: $work" >&2; fi
}
trap cleanup EXIT
mkdir "$work/data" "$work/log"
: >"$work/data/header.txt"
: >"$work/data/footer.txt"

# Lower case goes out in capitals; the station's alphabet at start is Military, 45.45 baud.
texts=($'QST DE QZ0XB: THE FIRST BULLETIN, 0123456789.\nde qz0xb k\n' $'SECOND BULLETIN NR 2 DE QZ0XB 73\n')
printf '%s' "${texts[0]}" >"$work/data/first.txt"
printf '%s' "${texts[1]}" >"$work/data/second.txt"
printf '01/01/2026 12:00:00 first.txt\n01/01/2026 12:05:00 second.txt\n' >"$work/data/schedule.lst"

rc=0
(cd "$work" && TZ=UTC LC_ALL=C timeout 120 "$skedcast" --headless --simulate="$START" --run-for=900 \
   --enable --exit-when-idle --onair=onair/ QZ0XB 2 RTS </dev/null >station.out 2>station.err) || rc=$?
[ "$rc" = 0 ] || { tail -n 20 "$work/station.err" >&2; fail "skedcast ended with status $rc"; }
[ ! -s "$work/station.err" ] || { cat "$work/station.err" >&2; fail "skedcast reported problems"; }
log=$(cat "$work"/log/*.log)
for name in first second; do
  grep -qF "> Completed sending <$name.txt>." <<<"$log" || { echo "$log" >&2; fail "$name.txt was not sent"; }
done

mapfile -t on < <(sed -n 's/^\([0-9:]*\) > CmTX : Transmitter ON$/\1/p' <<<"$log")
mapfile -t off < <(sed -n 's/^\([0-9:]*\) > CmRX : Transmitter OFF$/\1/p' <<<"$log")
[ ${#on[@]} = 2 ] && [ ${#off[@]} = 2 ] || { echo "$log" >&2; fail "the log does not show two transmissions"; }
want_names=$(printf '20260101-%s.wav\n' "${on[0]//:/}" "${on[1]//:/}")
got_names=$(ls "$work/onair")
[ "$got_names" = "$want_names" ] || fail "the folder holds $(echo $got_names), not $(echo $want_names)"

seconds() { local IFS=:; set -- $1; echo $((10#$1 * 3600 + 10#$2 * 60 + 10#$3)); }
for i in 0 1; do
  wav=$work/onair/20260101-${on[i]//:/}.wav
  format="$(soxi -r "$wav") Hz, $(soxi -c "$wav") channel, $(soxi -b "$wav")-bit $(soxi -e "$wav")"
  [ "$format" = "8000 Hz, 1 channel, 16-bit Signed Integer PCM" ] || fail "$wav is $format"
  # The log counts whole seconds: the file lasts the keyed time, give or take one, plus half a second.
  keyed=$(($(seconds "${off[i]}") - $(seconds "${on[i]}")))
  duration=$(soxi -D "$wav")
  awk -v d="$duration" -v k="$keyed" 'BEGIN { exit !(d >= k - 0.5 && d <= k + 1.5) }' ||
    fail "$wav lasts $duration s for a transmission of about $keyed s"

  # minimodem prints each line end (CR CR LF LTRS on the air) as CR CR LF.
  want=${texts[i]^^}
  got=$(minimodem --rx -q -f "$wav" -M 2125 -S 2295 --baudot --stopbits 1.5 45.45 2>"$work/minimodem.err"; printf x)
  got=${got%x}
  got=${got//$'\r\r\n'/$'\n'}
  if [ "$got" != "$want" ]; then
    { echo "--- expected:"; printf '%s' "$want" | cat -A; echo "--- decoded:"; printf '%s' "$got" | cat -A; } >&2
    fail "transmission $((i + 1)) does not decode from its file"
  fi
done

passed=1
echo "PASS: a file per transmission: $(echo $got_names)"
