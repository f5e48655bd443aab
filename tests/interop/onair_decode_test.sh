#!/usr/bin/env bash
# onair_decode_test.sh SKEDCAST CASE [ARGS...]
#
# Runs the station headless on the simulated clock in a scratch folder, has it
# render what an FSK transmitter keyed by the emulated serial port radiates
# (--onair: 8000 Hz mono 16-bit, silence unkeyed, mark 2125 Hz / space 2295 Hz
# keyed), and decodes that audio with independent, well-known decoders:
# minimodem for RTTY, multimon-ng's MORSE_CW for Morse.
#
# Cases:
#   rtty ITA2|TELEX|MILITARY B45|B50|B74   a bulletin in a Baudot alphabet
#   ascii                                  a bulletin in 8-bit ASCII at 110 baud
#   cw                                     a bulletin in CW mode (on-off keyed Morse)
#   cwid                                   the $CWID identification (RTTY text + FSK Morse)
#   cwid-cw                                the identification in CW mode (on-off keyed Morse)
#   bells ITA2|TELEX|MILITARY              ^3 rings three of the alphabet's own bells
#   running-line                           the headless running line is what the air carries
#   utf8 ITA2|ASCII                        a UTF-8 bulletin goes out as its nearest ASCII
#
# Exit status 0 when the decoded text is what the station was asked to send.
# A missing decoder is a failure, never a skip. The scratch folder is removed
# on success and kept (its path is printed) on failure; SKEDCAST_KEEP=1 keeps
# it always.
# shellcheck disable=SC2016  # '$CW' and the like are schedule commands, not shell variables
set -euo pipefail

readonly MARK=2125 SPACE=2295
readonly START=2026-01-01T11:59:50   # the schedule's entries begin at 12:00:00
readonly CALL=QZ0XB

fail() { echo "FAIL: $*" >&2; exit 1; }

[ $# -ge 2 ] || { echo "usage: $0 SKEDCAST rtty ALPHABET SPEED | ascii | cw | cwid | cwid-cw | bells ALPHABET | running-line | utf8 ITA2|ASCII" >&2; exit 2; }
skedcast=$1; kind=$2; shift 2
[ -x "$skedcast" ] || fail "no station binary at '$skedcast' (build the skedcast target first)"
skedcast=$(readlink -f -- "$skedcast")   # the station runs in its own folder

need() {
  command -v "$1" >/dev/null 2>&1 ||
    fail "decoder tool '$1' is not installed; these tests need minimodem, multimon-ng and sox (scripts/install-deps.sh installs them)"
}

case $kind in
  rtty | ascii | bells | running-line | utf8) need minimodem; need sox ;;
  cw | cwid-cw) need multimon-ng; need sox ;;
  cwid) need minimodem; need multimon-ng; need sox ;;
  *) fail "unknown case '$kind'" ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/skedcast-interop.XXXXXX")
passed=0
cleanup() {
  if [ "$passed" = 1 ] && [ "${SKEDCAST_KEEP:-0}" != 1 ]; then rm -rf "$work"
  else echo "station folder kept: $work" >&2; fi
}
trap cleanup EXIT
mkdir "$work/data" "$work/log"
# No header or footer around the file: the decoded text is the file alone.
: >"$work/data/header.txt"
: >"$work/data/footer.txt"

# schedule LINE...: dated entries, one a second from 12:00:00 (month/day/year).
schedule() {
  local s=0 entry
  for entry in "$@"; do
    printf '01/01/2026 12:00:%02d %s\n' "$s" "$entry"
    s=$((s + 1))
  done >"$work/data/schedule.lst"
}

# Runs the station until its queue is empty, then checks the audio's format.
run_station() {
  local rc=0
  (cd "$work" && TZ=UTC LC_ALL=C timeout 120 "$skedcast" --headless --simulate="$START" --run-for=900 \
     --enable --exit-when-idle --serial=emulated:uart-trace.tsv --onair=onair.wav $CALL 2 RTS \
     </dev/null >station.out 2>station.err) || rc=$?
  [ "$rc" = 0 ] || { tail -n 20 "$work/station.err" >&2; fail "skedcast ended with status $rc"; }
  [ -s "$work/onair.wav" ] || fail "no on-air audio was written"
  local format
  format="$(soxi -r "$work/onair.wav") Hz, $(soxi -c "$work/onair.wav") channel, $(soxi -b "$work/onair.wav")-bit $(soxi -e "$work/onair.wav")"
  [ "$format" = "8000 Hz, 1 channel, 16-bit Signed Integer PCM" ] || fail "on-air audio is $format"
}

# logged MESSAGE: the day's log has a line "HH:MM:SS > MESSAGE".
logged() {
  grep -qxF -- "$1" <(sed 's/^[0-9:]* > //' "$work"/log/*.log) ||
    { cat "$work"/log/*.log >&2; fail "the log has no line '$1'"; }
}

# compare WHAT EXPECTED DECODED: exact string comparison with a readable report.
compare() {
  local what=$1 want=$2 got=$3
  [ "$want" = "$got" ] && return 0
  local i=0
  while [ "${want:i:1}" = "${got:i:1}" ]; do i=$((i + 1)); done
  {
    echo "$what differs from what was sent, first at character $i"
    echo "--- expected:"; printf '%s' "$want" | cat -A; echo
    echo "--- decoded:";  printf '%s' "$got" | cat -A; echo
  } >&2
  fail "$what"
}

# Reads a command's whole standard output into the variable named $1,
# trailing line feeds included.
capture() {
  local -n into=$1; shift
  into=$("$@"; printf x)
  into=${into%x}
}

# minimodem with the station's framing: Baudot 5 data bits + 1.5 stop bits,
# ASCII 8 data bits + 2 stop bits; mark is the lower tone.
rtty_decode() { # baudot|ascii BAUD
  local framing=(--baudot --stopbits 1.5)
  [ "$1" = ascii ] && framing=(--ascii --stopbits 2)
  minimodem --rx -q -f "$work/onair.wav" -M $MARK -S $SPACE "${framing[@]}" "$2" 2>"$work/minimodem.err"
}

# multimon-ng's Morse decoder reads raw 22050 Hz signed 16-bit mono; it is a
# plain envelope detector, so the level is normalised (it squelches quiet
# input) and 2 s of silence follow (the last character is printed only after a
# word gap).
#
# The station times Morse with a 34 ms tick: dot 2 ticks (68 ms), dash 5,
# gap between elements 1, after a character 7, and a space adds 6 more (word
# gap 13 ticks = 442 ms); about 19.6 WPM by PARIS. The element gap is half a
# dot and the dash 2.5 dots, so multimon-ng's automatic timing (which starts
# from 50 ms and learns the gap from the element gaps) settles on a 45 ms gap
# and prints every character as a word of its own ("C Q D E ..."). Fixed
# timing decodes it: -y (no automatic timing) with -d 68 (dit = the station's
# dot) and -g 68 (gap unit = one dot). Measured on the station's audio (both
# the keyed tone and the band-passed FSK identification), the text decodes
# exactly for -d 30..76 and -g 52..90. That fits multimon-ng calling a tone a
# dash when it is longer than 2 dits and a gap a word gap when it is longer
# than 5 gap units, with its envelope detector making tones about 14 ms
# shorter and gaps 14 ms longer (it sees dot 54, dash 156, character gap 252,
# word gap 456 ms). 68/68 puts the word-gap split (340 ms) in the middle of
# 252..456 and the dot/dash split (136 ms) 20 ms below the dash, so a dash a
# tick short, or word gaps as short as character gaps, fail the decode.
readonly CW_OPTIONS=(-y -d 68 -g 68)

morse_decode() { # SOX_EFFECT...   (filter, level and cut, in that order)
  sox -V1 "$work/onair.wav" -t raw -r 22050 -e signed -b 16 -c 1 - "$@" pad 0.5 2 |
    multimon-ng -q -t raw -a MORSE_CW "${CW_OPTIONS[@]}" - 2>"$work/multimon.err"
}

# Morse decodes have no line structure: runs of blanks count as one word gap.
words() { printf '%s' "$1" | tr -s ' \t\r\n' '   ' | sed 's/^ //; s/ $//'; }

# --- the bulletin ---------------------------------------------------------
# Every letter and digit; the punctuation every Baudot alphabet has
# (. , - ? / ( ) :); shifts in both directions without a space between
# (QZ0XB, 1A2B3C), figures after a space (the station goes back to letters
# after every space, so it must shift to figures again), a line that ends in
# CR LF, a blank line, and a line in lower case.
readonly BULLETIN=$'THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n'\
$'QST DE QZ0XB 1A2B3C: NR 45-6, 7.8/9? (OK)\r\n'\
$'TAB\tHERE\n'\
$'\n'\
$'de qz0xb k\n'

case $kind in
rtty)
  [ $# = 2 ] || fail "rtty needs ALPHABET and SPEED"
  alphabet=$1 speed=$2
  case $speed in
    B45) baud=45.45 ;;
    B50) baud=50 ;;
    B74) baud=74.2 ;;   # the $B74 command gives 74.2 baud
    *) fail "unknown speed $speed" ;;
  esac
  # One more line with characters particular to the alphabet. minimodem
  # prints Baudot figures with the US teleprinter table, so a character that
  # CCITT ITA2 puts in a place where the US table has another one is printed
  # as the US character:
  #   ITA2 (CCITT No. 2): '+' is figures-Z, printed '"'; '=' is figures-V,
  #     printed ';'. ITA2 has no '!' and no ';': the station sends a space.
  #   TELEX: the apostrophe is figures-S (as in ITA2), which the US table has
  #     as the bell: printed as BEL (0x07). No '!': a space.
  #   MILITARY (the US teleprinter alphabet): ! " # $ & ' ; are all in the US
  #     table and print as sent. It has no '+' and no '=': spaces.
  case $alphabet in
    ITA2)     extra='SUM 2+2=4 WOW! OK; END'
              want_extra='SUM 2"2;4 WOW  OK  END' ;;
    TELEX)    extra="IT'S 5 O'CLOCK WOW! END"
              want_extra=$'IT\aS 5 O\aCLOCK WOW  END' ;;
    MILITARY) extra="WOW! \"HI\" #1 \$2 &3 IT'S; 2+2=4"
              want_extra="WOW! \"HI\" #1 \$2 &3 IT'S; 2 2 4" ;;
    *) fail "unknown alphabet $alphabet" ;;
  esac
  printf '%s' "$BULLETIN$extra"$'\n' >"$work/data/bulletin.txt"
  schedule "\$$alphabet" "\$$speed" bulletin.txt
  run_station
  logged "Completed sending <bulletin.txt>."

  # Baudot has one case: lower case goes out in capitals. A CR in the file is
  # not sent by itself; every line end (LF) goes out as CR CR LF LTRS, which
  # minimodem prints as CR CR LF (LTRS prints nothing) -- normalised to LF.
  # Any other CR left in the decode is a fault.
  want=${BULLETIN^^}
  want=${want//$'\r'/}$want_extra$'\n'
  want=${want//$'\t'/ }   # the alphabets have no tab: a blank
  capture got rtty_decode baudot "$baud"
  got=${got//$'\r\r\n'/$'\n'}
  compare "$alphabet at $baud baud" "$want" "$got"
  ;;

ascii)
  # ASCII has every printable character and both cases; the station sends the
  # file's bytes as they are (line ends included). The caret is left out: the
  # station reads it as the start of a macro (^T for the time and so on) and
  # never sends it.
  extra=$'Mixed Case, and !"#$%&\'*+;<=>@[\\]_`{|}~ as well.\r\n'
  printf '%s' "$BULLETIN$extra" >"$work/data/bulletin.txt"
  schedule '$ASCII' '$B110' bulletin.txt
  run_station
  logged "Completed sending <bulletin.txt>."
  capture got rtty_decode ascii 110
  compare "ASCII at 110 baud" "$BULLETIN$extra" "$got"
  ;;

cw)
  # In CW mode the keying line is the Morse key: the audio is the mark tone
  # keyed on and off, so only the level is normalised. A line break is a
  # pause.
  # The punctuation in its international codes, and macros expanded in Morse.
  text=$'CQ CQ DE QZ0XB QZ0XB K\nTEST 1234567890 . , ? /\n- : ( ) = + @ \' "\n^W ^L\n'
  printf '%s' "$text" >"$work/data/cq.txt"
  schedule '$CW' cq.txt
  run_station
  logged "Completed sending <cq.txt>."
  capture got morse_decode gain -n -3
  text=${text/^W ^L/THURSDAY JANUARY 01, 2026}
  # The transmission opens with the lead-in carrier (the key closed for 1.7 s,
  # then a word space): the decoder reads it as one over-long element and
  # prints a single character for it. The message itself must follow whole.
  want_words=$(words "$text")
  got_words=$(words "$got")
  case "$got_words" in
    ?"$want_words") got_words=${got_words:1} ;;
  esac
  compare "Morse (CW mode)" "$want_words" "$got_words"
  ;;

cwid)
  # The identification sends data/cwid.txt in the current mode (RTTY here)
  # and then "de CALL CALL " in Morse by holding the line at space (the UART
  # break): frequency-shift Morse, key down = space tone, key up = mark tone.
  cwid_text=$'QZ0XB AUTOMATIC TELEPRINTER STATION 24/7\n'
  printf '%s' "$cwid_text" >"$work/data/cwid.txt"
  schedule '$MILITARY' '$B45' '$CWID'
  run_station
  logged "Cwid : Sending CW Identification."

  # The text must come first and whole. What follows it is the RTTY
  # receiver's reading of the Morse: every element holds the line at space
  # for several bit times, which minimodem prints as a few stray letters
  # ("MMMMMM"), as any RTTY receiver listening through an FSK identification
  # would.
  capture got rtty_decode baudot 45.45
  got=${got//$'\r\r\n'/$'\n'}
  compare "the RTTY text before the identification" "$cwid_text" "${got:0:${#cwid_text}}"

  # multimon-ng hears loudness only: the space tone is band-passed (+-50 Hz)
  # so that the mark tone reads as key up. The RTTY before the Morse also
  # has space-tone bits; the Morse is the last keyed stretch of the space
  # tone, after at least a second without it (the station pauses 50 ticks
  # = 1.7 s before the Morse), so the audio is cut there: reversed, leading
  # silence dropped, kept up to the first second of silence (stretches of
  # tone shorter than 50 ms, such as the filter's ring when the carrier
  # stops, do not count), and reversed back.
  capture got morse_decode sinc $((SPACE - 50))-$((SPACE + 50)) gain -n -3 \
    reverse silence 1 0.05 10% 1 1.0 10% reverse
  compare "Morse identification (space tone)" "DE $CALL $CALL" "$(words "$got")"
  ;;

cwid-cw)
  # In CW mode the identification keys the keying line, as files do: the
  # pre-identification text and then "de CALL CALL", on-off keyed.
  printf 'VVV\n' >"$work/data/cwid.txt"
  schedule '$CW' '$CWID'
  run_station
  logged "Cwid : Sending CW Identification."
  capture got morse_decode gain -n -3
  # After the lead-in carrier (read as one character), the text whole.
  want_words="VVV DE $CALL $CALL"
  got_words=$(words "$got")
  compare "Morse identification (CW mode)" "$want_words" "${got_words: -${#want_words}}"
  ;;

bells)
  # ^3: figures shift, three of the alphabet's own bell code, letters shift
  # (ITA2 and TELEX ring on figures-J, Military on figures-S), as on the line.
  [ $# = 1 ] || fail "bells needs ALPHABET"
  alphabet=$1
  case $alphabet in
    ITA2 | TELEX) bell=0x0B ;;
    MILITARY) bell=0x05 ;;
    *) fail "unknown alphabet $alphabet" ;;
  esac
  printf 'RING^3 END\n' >"$work/data/bell.txt"
  schedule "\$$alphabet" bell.txt
  run_station
  logged "Completed sending <bell.txt>."
  codes=$(awk -F'\t' '$3 == "frame" { split($4, f, " "); printf "%s ", f[1] }' "$work/uart-trace.tsv")
  grep -q "0x1B $bell $bell $bell 0x1F" <<<"$codes" || fail "no three bells ($bell) between the shifts in $alphabet: $codes"
  # Military is the US alphabet, which minimodem prints: the bells as BEL.
  if [ "$alphabet" = MILITARY ]; then
    capture got rtty_decode baudot 45.45
    compare "bells in Military" $'RING\a\a\a END\r\r\n' "$got"
  fi
  ;;

running-line)
  # Every macro in one bulletin: the headless running line (the "line:"
  # field, one per line sent) must read exactly what the receiver prints.
  printf 'DATE ^D\nLONG ^L AT ^T AND ^U\nDAY ^W BELLS^3 DONE ^X\nLOWER ^w case\n' >"$work/data/macros.txt"
  schedule macros.txt
  run_station
  logged "Completed sending <macros.txt>."
  shown=$(sed -n 's/^[0-9-]* [0-9:]* line: //p' "$work/station.out")
  capture got rtty_decode baudot 45.45
  got=${got//$'\a'/}   # bells ring, they do not print
  got=${got//$'\r\r\n'/$'\n'}
  compare "the running line against the air" "$shown"$'\n' "$got"
  ;;

utf8)
  # Written today, in UTF-8: accents go as their letters, ß as ss, the
  # degree sign is dropped, typographic quotes and dashes become plain ones.
  [ $# = 1 ] || fail "utf8 needs ITA2 or ASCII"
  printf 'Café Zürich 25°C – “quoted” naïve Straße\n' >"$work/data/utf8.txt"
  plain='Cafe Zurich 25C - "quoted" naive Strasse'
  if [ "$1" = ASCII ]; then
    schedule '$ASCII' '$B110' utf8.txt
    run_station
    capture got rtty_decode ascii 110
    compare "UTF-8 in ASCII" "$plain"$'\n' "$got"
  else
    schedule '$ITA2' utf8.txt
    run_station
    capture got rtty_decode baudot 45.45
    got=${got//$'\r\r\n'/$'\n'}
    compare "UTF-8 in ITA2" "${plain^^}"$'\n' "$got"
  fi
  logged "Completed sending <utf8.txt>."
  ;;

esac

passed=1
echo "PASS: $kind $*"
