#!/usr/bin/env bash
# onair_decode_test.sh SKEDCAST CASE [ARGS...]: the station runs headless on the simulated clock in a
# scratch folder with --onair (8000 Hz mono 16-bit: silence unkeyed, mark 2125 Hz / space 2295 Hz
# keyed), and independent decoders (minimodem for RTTY, multimon-ng for Morse) must read back what
# it was asked to send. The cases are those of the `case` below. A missing decoder fails, never
# skips; the scratch folder is kept (its path printed) on failure or with SKEDCAST_KEEP=1.
# shellcheck disable=SC2016  # '$CW' and the like are schedule commands, not shell variables
set -euo pipefail

readonly MARK=2125 SPACE=2295 CALL=QZ0XB
fail() { echo "FAIL: $*" >&2; exit 1; }

[ $# -ge 2 ] || { echo "usage: $0 SKEDCAST rtty ALPHABET SPEED | ascii | cw | cwid | cwid-cw | bells ALPHABET |" \
  "running-line | utf8 ITA2|ASCII | folder | cwid sound | afsk ..." >&2; exit 2; }
skedcast=$1; kind=$2; shift 2
[ -x "$skedcast" ] || fail "no station binary at '$skedcast' (build the skedcast target first)"
skedcast=$(readlink -f -- "$skedcast")   # the station runs in its own folder
for tool in minimodem multimon-ng sox; do
  command -v $tool >/dev/null || fail "decoder '$tool' is not installed (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/skedcast-interop.XXXXXX")
passed=0
trap 'if [ $passed = 1 ] && [ "${SKEDCAST_KEEP:-0}" != 1 ]; then rm -rf "$work"
      else echo "station folder kept: $work" >&2; fi' EXIT
mkdir "$work/data" "$work/log"
: >"$work/data/header.txt"   # no header or footer: the decoded text is the file alone
: >"$work/data/footer.txt"

# schedule LINE...: dated entries, one a second from 12:00:00.
schedule() {
  local s=0 entry
  for entry in "$@"; do printf '01/01/2026 12:00:%02d %s\n' $((s++)) "$entry"; done >"$work/data/schedule.lst"
}

# send NAME TEXT [COMMAND...]: the station sends data/NAME holding TEXT, after the commands.
send() {
  local name=$1 text=$2; shift 2
  printf '%s' "$text" >"$work/data/$name"
  schedule "$@" "$name"
  run_station
  logged "Completed sending <$name>."
}

# run_station [DIR/]: runs the station from 11:59:50 until its queue is empty; it must not complain.
# The options in station_options are added, and station_input is typed on its standard input.
station_options=() station_input=''
run_station() {
  (cd "$work" && printf '%s' "$station_input" | TZ=UTC LC_ALL=C timeout 120 "$skedcast" --headless \
     --simulate=2026-01-01T11:59:50 --run-for=900 --enable --exit-when-idle --serial=emulated:uart-trace.tsv \
     --onair="${1:-onair.wav}" "${station_options[@]}" $CALL 2 RTS >station.out 2>station.err) ||
    { local rc=$?; tail -n 20 "$work/station.err" >&2; fail "skedcast ended with status $rc"; }
  [ ! -s "$work/station.err" ] || { cat "$work/station.err" >&2; fail "skedcast reported problems"; }
  [ -n "${1:-}" ] || wav_format "$work/onair.wav"
}

# wav_format FILE: the audio is 8000 Hz mono 16-bit PCM.
wav_format() {
  [ -s "$1" ] || fail "no on-air audio at $1"
  local format
  format="$(soxi -r "$1") Hz, $(soxi -c "$1") channel, $(soxi -b "$1")-bit $(soxi -e "$1")"
  [ "$format" = "8000 Hz, 1 channel, 16-bit Signed Integer PCM" ] || fail "$1 is $format"
}

# stamps MESSAGE: the times of the log's lines "HH:MM:SS > MESSAGE"; logged MESSAGE: there is one.
stamps() { sed -n "s/^\([0-9:]*\) > $1\$/\1/p" "$work"/log/*.log; }
logged() {
  grep -qxF -- "$1" <(sed 's/^[0-9:]* > //' "$work"/log/*.log) ||
    { cat "$work"/log/*.log >&2; fail "the log has no line '$1'"; }
}

# compare WHAT EXPECTED DECODED: exact string comparison with a readable report.
compare() {
  [ "$2" = "$3" ] && return 0
  local i=0
  while [ "${2:i:1}" = "${3:i:1}" ]; do i=$((i + 1)); done
  echo "$1 differs from what was sent, first at character $i" >&2
  { echo "--- expected:"; printf '%s' "$2" | cat -A; echo; echo "--- decoded:"; printf '%s' "$3" | cat -A; echo; } >&2
  fail "$1"
}

# rtty baudot|ascii BAUD [WAV [MARK SPACE]]: $got is minimodem's text with the station's framing (Baudot 5 data
# bits + 1.5 stop bits, ASCII 8 + 2; mark the lower tone), trailing line feeds kept. Each Baudot
# line end (CR CR LF LTRS on the air) prints as CR CR LF: made LF, so any other CR is a fault.
rtty() {
  local framing=(--baudot --stopbits 1.5)
  [ "$1" = ascii ] && framing=(--ascii --stopbits 2)
  got=$(minimodem --rx -q -f "${3:-$work/onair.wav}" -M "${4:-$MARK}" -S "${5:-$SPACE}" "${framing[@]}" "$2" \
          2>"$work/minimodem.err"
        printf x)
  got=${got%x}
  [ "$1" = ascii ] || got=${got//$'\r\r\n'/$'\n'}
}

# Morse decodes have no line structure: runs of blanks count as one word gap.
words() { printf '%s' "$1" | tr -s ' \t\r\n' '    ' | sed 's/^ //; s/ $//'; }

# morse SOX_EFFECT...: $got is multimon-ng's words, from raw 22050 Hz audio normalised (it squelches
# quiet input) with 2 s of silence after (it prints a character after a word gap). The station's
# 34 ms tick gives dot 2, dash 5, element gap 1, character gap 7, word gap 13 ticks. multimon-ng's
# automatic timing makes every character a word, so dit and gap unit are fixed at one dot (68 ms):
# the text decodes for -d 30..76 and -g 52..90, so a dash a tick short, or word gaps as short as
# character gaps, fail.
morse_wav=onair.wav
morse() {
  got=$(sox -V1 "$work/$morse_wav" -t raw -r 22050 -e signed -b 16 -c 1 - "$@" pad 0.5 2 |
        multimon-ng -q -t raw -a MORSE_CW -y -d 68 -g 68 - 2>"$work/multimon.err")
  got=$(words "$got")
}

# Every letter and digit, the punctuation of every Baudot alphabet, shifts both ways (QZ0XB, 1A2B3C),
# figures after a space (the station unshifts on space), CR LF, a tab, a blank line, lower case.
readonly BULLETIN=$'THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n'\
$'QST DE QZ0XB 1A2B3C: NR 45-6, 7.8/9? (OK)\r\nTAB\tHERE\n\nde qz0xb k\n'

case $kind in
rtty)
  [ $# = 2 ] || fail "rtty needs ALPHABET and SPEED"
  alphabet=$1
  case $2 in B45) baud=45.45 ;; B50) baud=50 ;; B74) baud=74.2 ;; *) fail "unknown speed $2" ;; esac
  # Characters particular to the alphabet. minimodem prints figures by the US table: ITA2's '+'
  # (figures-Z) as '"' and '=' (figures-V) as ';', TELEX's apostrophe (figures-S) as BEL. ITA2
  # and TELEX have no '!' (nor ITA2 ';'), Military no '+' or '=': a space is sent.
  case $alphabet in
    ITA2)     extra='SUM 2+2=4 WOW! OK; END' want_extra='SUM 2"2;4 WOW  OK  END' ;;
    TELEX)    extra="IT'S 5 O'CLOCK WOW! END" want_extra=$'IT\aS 5 O\aCLOCK WOW  END' ;;
    MILITARY) extra="WOW! \"HI\" #1 \$2 &3 IT'S; 2+2=4" want_extra="WOW! \"HI\" #1 \$2 &3 IT'S; 2 2 4" ;;
    *) fail "unknown alphabet $alphabet" ;;
  esac
  send bulletin.txt "$BULLETIN$extra"$'\n' "\$$alphabet" "\$$2"
  # Baudot has one case and no tab (a blank); a CR in the file is not sent by itself.
  want=${BULLETIN^^}
  want=${want//$'\r'/}$want_extra$'\n'
  rtty baudot "$baud"
  compare "$alphabet at $baud baud" "${want//$'\t'/ }" "$got"
  ;;

afsk)
  # The sound card's audio (--audio=wav:FILE, the default device): an alphabet at a speed
  # ($B45 $B50 $B56 $B74 $B100 $B110 $B300), with the tones typed into the mark and space
  # fields if given (then the station's start-up MILITARY B45: a mode entry would show the
  # mode's own tones in the fields again). The generator's blocks are 7.5 bit times long, so a Baudot stop interval
  # alternates between one and two bits: minimodem is told to expect one.
  # "noise DB" instead of the tones: the noise floor only DB below the tones (--noise).
  station_options=(--audio=wav:air.wav --sound-card=-1)
  if [ "${3:-}" = noise ]; then
    station_options+=("--noise=$4")
    set -- "$1" "$2"
  fi
  [ $# = 2 ] || [ $# = 4 ] || fail "afsk needs ALPHABET SPEED [MARK SPACE | noise DB]"
  alphabet=$1 speed=$2 mark=${3:-$MARK} space=${4:-$SPACE}
  case $speed in B45) baud=45.45 ;; B50) baud=50 ;; B56) baud=56.9 ;; B74) baud=74.2 ;;
    B100) baud=100 ;; B110) baud=110 ;; B300) baud=300 ;; *) fail "unknown speed $speed" ;; esac
  text=$'THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\nQST DE QZ0XB 1A2B3C: NR 45-6, 7.8/9? (OK)\n'
  if [ $# = 4 ]; then
    [ "$alphabet $speed" = "MILITARY B45" ] || fail "typed tones go with the start-up MILITARY B45"
    station_input=$'tones mark\nmark '$mark$'\nspace '$space$'\n'
    send bulletin.txt "$text"
  else
    send bulletin.txt "$text" "\$$alphabet" "\$$speed"
  fi
  # minimodem's analysis window at 8000 Hz is too coarse for 300 baud (it misreads its own
  # 300-baud audio there): it listens at 48 kHz.
  wav_format "$work/air.wav"
  sox -V1 "$work/air.wav" -r 48000 "$work/air48.wav"
  framing=--baudot
  [ "$alphabet" = ASCII ] && framing=--ascii
  got=$(minimodem --rx -q -f "$work/air48.wav" -M "$mark" -S "$space" $framing --stopbits 1 "$baud" \
        2>"$work/minimodem.err"; printf x)
  got=${got%x}
  [ "$alphabet" = ASCII ] || got=${got//$'\r\r\n'/$'\n'}
  compare "$alphabet sound at $baud baud, $mark/$space Hz" "$text" "$got"
  ;;

ascii)
  # Every printable character but the caret (a macro) and both cases; the file's bytes as they are.
  extra=$'Mixed Case, and !"#$%&\'*+;<=>@[\\]_`{|}~ as well.\r\n'
  send bulletin.txt "$BULLETIN$extra" '$ASCII' '$B110'
  rtty ascii 110
  compare "ASCII at 110 baud" "$BULLETIN$extra" "$got"
  ;;

cw)
  # The keying line is the Morse key: the mark tone on and off. International punctuation, macros.
  text=$'CQ CQ DE QZ0XB QZ0XB K\nTEST 1234567890 . , ? /\n- : ( ) = + @ \' "\n^W ^L\n'
  send cq.txt "$text" '$CW'
  morse gain -n -3
  # The lead-in carrier (key closed 1.7 s) decodes as one character before the message.
  want=$(words "${text/^W ^L/THURSDAY JANUARY 01, 2026}")
  case "$got" in ?"$want") got=${got:1} ;; esac
  compare "Morse (CW mode)" "$want" "$got"
  ;;

cwid)
  # data/cwid.txt in RTTY, then "de CALL CALL " in Morse by the UART break: key down = space tone.
  # "cwid sound": the same in the sound card's audio (--audio=wav:FILE) instead of the serial line's.
  cwid_text=$'QZ0XB AUTOMATIC TELEPRINTER STATION 24/7\n'
  printf '%s' "$cwid_text" >"$work/data/cwid.txt"
  schedule '$MILITARY' '$B45' '$CWID'
  [ "${1:-}" = sound ] && station_options=(--audio=wav:air.wav --sound-card=-1) morse_wav=air.wav
  run_station
  logged "Cwid : Sending CW Identification."
  # The text first and whole; after it minimodem reads the Morse as stray letters.
  rtty baudot 45.45 "$work/$morse_wav"
  compare "the RTTY text before the identification" "$cwid_text" "${got:0:${#cwid_text}}"
  # Only the space tone (+-50 Hz) is key down; the Morse is its last stretch after 1.7 s without it:
  # reversed, kept up to the first second of silence (not counting bursts under 50 ms), reversed back.
  morse sinc $((SPACE - 50))-$((SPACE + 50)) gain -n -3 reverse silence 1 0.05 10% 1 1.0 10% reverse
  compare "Morse identification (space tone)" "DE $CALL $CALL" "$got"
  ;;

cwid-cw)
  # In CW mode the identification keys the keying line: the text, then "de CALL CALL".
  printf 'VVV\n' >"$work/data/cwid.txt"
  schedule '$CW' '$CWID'
  run_station
  logged "Cwid : Sending CW Identification."
  morse gain -n -3
  want="VVV DE $CALL $CALL"   # after the lead-in carrier's one character
  compare "Morse identification (CW mode)" "$want" "${got: -${#want}}"
  ;;

bells)
  # ^3: figures, three of the alphabet's own bell (ITA2, TELEX figures-J; Military figures-S), letters.
  [ $# = 1 ] || fail "bells needs ALPHABET"
  case $1 in ITA2 | TELEX) bell=0x0B ;; MILITARY) bell=0x05 ;; *) fail "unknown alphabet $1" ;; esac
  send bell.txt $'RING^3 END\n' "\$$1"
  codes=$(awk -F'\t' '$3 == "frame" { split($4, f, " "); printf "%s ", f[1] }' "$work/uart-trace.tsv")
  grep -q "0x1B $bell $bell $bell 0x1F" <<<"$codes" || fail "no three bells ($bell) between the shifts in $1: $codes"
  if [ "$1" = MILITARY ]; then   # the US alphabet, which minimodem prints: the bells as BEL
    rtty baudot 45.45
    compare "bells in Military" $'RING\a\a\a END\n' "$got"
  fi
  ;;

running-line)
  # Every macro: the headless running line ("line:", one per line sent) reads what the receiver prints.
  send macros.txt $'DATE ^D\nLONG ^L AT ^T AND ^U\nDAY ^W BELLS^3 DONE ^X\nLOWER ^w case\n'
  rtty baudot 45.45
  compare "the running line against the air" "$(sed -n 's/^[0-9-]* [0-9:]* line: //p' "$work/station.out")"$'\n' \
    "${got//$'\a'/}"   # bells ring, they do not print
  ;;

utf8)
  # Accents go as their letters, ß as ss, the degree sign is dropped, typographic punctuation plain.
  [ $# = 1 ] || fail "utf8 needs ITA2 or ASCII"
  if [ "$1" = ASCII ]; then commands=('$ASCII' '$B110'); else commands=('$ITA2'); fi
  send utf8.txt $'Café Zürich 25°C – “quoted” naïve Straße\n' "${commands[@]}"
  plain='Cafe Zurich 25C - "quoted" naive Strasse'
  if [ "$1" = ASCII ]; then rtty ascii 110; else rtty baudot 45.45; plain=${plain^^}; fi
  compare "UTF-8 in $1" "$plain"$'\n' "$got"
  ;;

folder)
  # Two bulletins five minutes apart: two files, named by the local time the log shows the key
  # closed, each as long as its transmission (plus a quarter second either side) and decoding to it.
  texts=($'QST DE QZ0XB: THE FIRST BULLETIN, 0123456789.\nde qz0xb k\n' $'SECOND BULLETIN NR 2 DE QZ0XB 73\n')
  printf '%s' "${texts[0]}" >"$work/data/first.txt"
  printf '%s' "${texts[1]}" >"$work/data/second.txt"
  printf '01/01/2026 12:00:00 first.txt\n01/01/2026 12:05:00 second.txt\n' >"$work/data/schedule.lst"
  run_station onair/
  logged "Completed sending <first.txt>."
  logged "Completed sending <second.txt>."
  mapfile -t on < <(stamps "CmTX : Transmitter ON")
  mapfile -t off < <(stamps "CmRX : Transmitter OFF")
  [ ${#on[@]} = 2 ] && [ ${#off[@]} = 2 ] || { cat "$work"/log/*.log >&2; fail "the log shows no two transmissions"; }
  names=$(printf '20260101-%s.wav\n' "${on[@]//:/}")
  [ "$(ls "$work/onair")" = "$names" ] || fail "the folder holds $(ls "$work/onair" | xargs), not $(echo $names)"
  seconds() { local IFS=:; set -- $1; echo $((10#$1 * 3600 + 10#$2 * 60 + 10#$3)); }
  for i in 0 1; do
    wav=$work/onair/20260101-${on[i]//:/}.wav
    wav_format "$wav"
    # The log counts whole seconds: the keyed time, give or take one, plus half a second.
    keyed=$(($(seconds "${off[i]}") - $(seconds "${on[i]}")))
    duration=$(soxi -D "$wav")
    awk -v d="$duration" -v k="$keyed" 'BEGIN { exit !(d >= k - 0.5 && d <= k + 1.5) }' ||
      fail "$wav lasts $duration s for a transmission of about $keyed s"
    rtty baudot 45.45 "$wav"
    compare "transmission $((i + 1)) from its file" "${texts[i]^^}" "$got"
  done
  ;;

*) fail "unknown case '$kind'" ;;
esac

passed=1
echo "PASS: $kind $*"
