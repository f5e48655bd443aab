#!/usr/bin/env bash
# onair_decode_test.sh SKEDCAST CASE [ARGS...]: what the station sends through --onair or the sound card's WAV back
# end must be read back by minimodem (RTTY) or multimon-ng (Morse). The cases are those of the `case` below.
# shellcheck disable=SC2016  # '$CW' and the like are schedule commands, not shell variables
. "$(dirname "$(readlink -f -- "$0")")/common.sh"
[ $# -ge 2 ] || { echo "usage: $0 SKEDCAST CASE [ARGS...]" >&2; exit 2; }
kind=$2
begin interop "$1" minimodem multimon-ng sox python3
shift 2
declare -A BAUD=([B45]=45.45 [B50]=50 [B56]=56.9 [B74]=74.2 [B100]=100 [B110]=110 [B300]=300)
wav=onair.wav opts=(--onair=onair.wav) mark=$MARK space=$SPACE stop=
sound() { wav=air.wav opts=(--audio=wav:air.wav --sound-card=-1); }

run() { station "${opts[@]}"; [ -z "$wav" ] || wav_format "$work/$wav"; }
# send NAME TEXT [COMMAND...]: the station sends data/NAME holding TEXT, after the commands.
send() { printf '%s' "$2" >"$work/data/$1"; schedule "${@:3}" "$1"; run; logged "Completed sending <$1>."; }
# ident TEXT COMMAND...: data/cwid.txt holds TEXT; the commands, then the identification.
ident() {
  printf '%s' "$1" >"$work/data/cwid.txt"; schedule "${@:2}" '$CWID'; run; logged "Cwid : Sending CW Identification."
}

# compare WHAT EXPECTED DECODED: exact, with a readable report.
compare() {
  [ "$2" = "$3" ] && return
  local i=0
  while [ "${2:i:1}" = "${3:i:1}" ]; do i=$((i + 1)); done
  printf -- '--- expected:\n%s\n--- decoded:\n%s\n' "$(printf '%s' "$2" | cat -A)" "$(printf '%s' "$3" | cat -A)" >&2
  fail "$1 differs from what was sent, first at character $i"
}

# rtty ascii|baudot BAUD: $got is minimodem's text of $work/$wav with the station's framing (or $stop stop bits),
# trailing line feeds kept; a Baudot line end (CR CR LF) made LF, so any other CR is a fault.
rtty() {
  local framing=(--baudot --stopbits "${stop:-1.5}")
  [ "$1" = ascii ] && framing=(--ascii --stopbits "${stop:-2}")
  got=$(minimodem --rx -q -f "$work/$wav" -M "$mark" -S "$space" "${framing[@]}" "$2" 2>"$work/minimodem.err"
        printf x)
  got=${got%x}
  [ "$1" = ascii ] || got=${got//$'\r\r\n'/$'\n'}
}

# Every letter, digit and Baudot punctuation; shifts both ways, figures after a space, CR LF, tab, blank line, lowercase
readonly BULLETIN=$'THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n'\
$'QST DE QZ0XB 1A2B3C: NR 45-6, 7.8/9? (OK)\r\nTAB\tHERE\n\nde qz0xb k\n'

case $kind in
rtty)  # ALPHABET SPEED
  # minimodem prints figures by the US table: ITA2's '+' as '"', '=' as ';', TELEX's apostrophe as BEL.
  # ITA2 and TELEX have no '!' (nor ITA2 ';'), Military no '+' or '=': a space is sent.
  case $1 in
    ITA2)     extra='SUM 2+2=4 WOW! OK; END' want='SUM 2"2;4 WOW  OK  END' ;;
    TELEX)    extra="IT'S 5 O'CLOCK WOW! END" want=$'IT\aS 5 O\aCLOCK WOW  END' ;;
    MILITARY) extra="WOW! \"HI\" #1 \$2 &3 IT'S; 2+2=4" want="WOW! \"HI\" #1 \$2 &3 IT'S; 2 2 4" ;;
  esac
  send bulletin.txt "$BULLETIN$extra"$'\n' "\$$1" "\$$2"
  # Baudot has one case and no tab (a blank); a CR in the file is not sent by itself.
  want=${BULLETIN^^}$want$'\n'
  want=${want//$'\r'/}
  rtty baudot "${BAUD[$2]}"
  compare "$1 at ${BAUD[$2]} baud" "${want//$'\t'/ }" "$got"
  ;;

afsk)  # ALPHABET SPEED [MARK SPACE | noise DB]
  # Typed tones go with the start-up MILITARY B45 (a mode entry would set the mode's own tones again).
  sound
  commands=("\$$1" "\$$2")
  if [ "${3:-}" = noise ]; then
    opts+=("--noise=$4")
  elif [ $# = 4 ]; then
    [ "$1 $2" = "MILITARY B45" ] || fail "typed tones go with the start-up MILITARY B45"
    mark=$3 space=$4 commands=() input=$'tones mark\nmark '$3$'\nspace '$4$'\n'
  fi
  text=$'THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\nQST DE QZ0XB 1A2B3C: NR 45-6, 7.8/9? (OK)\n'
  send bulletin.txt "$text" "${commands[@]}"
  # minimodem misreads 300 baud at 8000 Hz: it listens at 48 kHz, undithered (the same reading every run).
  sox -V1 -D "$work/air.wav" -r 48000 "$work/air48.wav"
  wav=air48.wav
  rtty "${1,,}" "${BAUD[$2]}"
  compare "$1 sound at ${BAUD[$2]} baud, $mark/$space Hz" "$text" "$got"
  ;;

ascii)
  # Every printable character but the caret (a macro) and both cases; the file's bytes as they are.
  extra=$'Mixed Case, and !"#$%&\'*+;<=>@[\\]_`{|}~ as well.\r\n'
  send bulletin.txt "$BULLETIN$extra" '$ASCII' '$B110'
  rtty ascii 110
  compare "ASCII at 110 baud" "$BULLETIN$extra" "$got"
  ;;

cw)
  # The keying line keys the mark tone: 20 words per minute (60 ms units), international punctuation, macros.
  text=$'CQ CQ DE QZ0XB QZ0XB K\nTEST 1234567890 . , ? /\n- : ( ) = + @ \' "\n^W ^L\n'
  send cq.txt "$text" '$CW'
  morse 60 gain -n -3
  # The lead-in carrier (key closed 1.7 s) decodes as one token before the message.
  want=$(words "${text/^W ^L/THURSDAY JANUARY 01, 2026}")
  lead=${got%"$want"}
  [[ $lead != "$got" && $lead =~ ^[^\ ]*\ ?$ ]] && got=$want
  compare "Morse (CW mode)" "$want" "$got"
  ;;

cwid)  # [sound]
  # data/cwid.txt in RTTY, then "de CALL CALL " in Morse by the UART break (key down: space tone), or in the sound.
  [ "${1:-}" = sound ] && sound
  cwid_text=$'QZ0XB AUTOMATIC TELEPRINTER STATION 24/7\n'
  ident "$cwid_text" '$MILITARY' '$B45'
  # The text first and whole; after it minimodem reads the Morse as stray letters.
  rtty baudot 45.45
  compare "the RTTY text before the identification" "$cwid_text" "${got:0:${#cwid_text}}"
  # The Morse: the space tone's last stretch (reversed, kept up to its first second of silence, reversed back).
  effects=(sinc $((SPACE - 50))-$((SPACE + 50)) gain -n -3 reverse silence 1 0.05 10% 1 1.0 10% reverse)
  morse 60 "${effects[@]}"
  compare "Morse identification (space tone)" "DE $CALL $CALL" "$got"
  # At the ITU proportions a receiver that finds the speed itself reads words, not spaced letters.
  morse auto "${effects[@]}"
  compare "Morse identification at multimon-ng's own speed" "DE $CALL $CALL" "$got"
  ;;

cwid-cw)
  # In CW mode the identification keys the keying line: the text, then "de CALL CALL".
  ident $'VVV\n' '$CW'
  morse 60 gain -n -3
  want="VVV DE $CALL $CALL"   # after the lead-in carrier's one token
  compare "Morse identification (CW mode)" "$want" "${got: -${#want}}"
  ;;

bells)  # ALPHABET
  # ^3: figures, three of the alphabet's own bell (ITA2, TELEX figures-J; Military figures-S), letters.
  bell=0x0B
  [ "$1" = MILITARY ] && bell=0x05
  send bell.txt $'RING^3 END\n' "\$$1"
  codes=$(awk -F'\t' '$3 == "frame" { split($4, f, " "); printf "%s ", f[1] }' "$work/uart-trace.tsv")
  [[ $codes == *"0x1B $bell $bell $bell 0x1F"* ]] || fail "no three bells ($bell) between the shifts in $1: $codes"
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

utf8)  # ITA2|ASCII
  # Accents go as their letters, ß as ss, the degree sign is dropped, typographic punctuation plain.
  plain='Cafe Zurich 25C - "quoted" naive Strasse'
  if [ "$1" = ASCII ]; then commands=('$ASCII' '$B110') baud=110; else commands=('$ITA2') baud=45.45 plain=${plain^^}; fi
  send utf8.txt $'Café Zürich 25°C – “quoted” naïve Straße\n' "${commands[@]}"
  rtty "${1,,}" $baud
  compare "UTF-8 in $1" "$plain"$'\n' "$got"
  ;;

folder)
  # Two bulletins 5 min apart: a file each, named by the key-down time logged, as long as its transmission, decoded.
  texts=($'QST DE QZ0XB: THE FIRST BULLETIN, 0123456789.\nde qz0xb k\n' $'SECOND BULLETIN NR 2 DE QZ0XB 73\n')
  printf '%s' "${texts[0]}" >"$work/data/first.txt" && printf '%s' "${texts[1]}" >"$work/data/second.txt"
  printf '01/01/2026 12:00:00 first.txt\n01/01/2026 12:05:00 second.txt\n' >"$work/data/schedule.lst"
  wav='' opts=(--onair=onair/)
  run
  logged "Completed sending <first.txt>." "Completed sending <second.txt>."
  stamps() { sed -n "s/^\([0-9:]*\) > $1\$/\1/p" "$work"/log/*.log; }
  mapfile -t on < <(stamps "CmTX : Transmitter ON")
  mapfile -t off < <(stamps "CmRX : Transmitter OFF")
  [ ${#on[@]} = 2 ] && [ ${#off[@]} = 2 ] || fail "the log shows no two transmissions"
  names=$(printf '20260101-%s.wav\n' "${on[@]//:/}")
  [ "$(ls "$work/onair")" = "$names" ] || fail "the folder holds $(ls "$work/onair" | tr '\n' ' '), not ${names//$'\n'/ }"
  seconds() { date -ud "1970-01-01 $1" +%s; }
  for i in 0 1; do
    wav=onair/20260101-${on[i]//:/}.wav
    wav_format "$work/$wav"
    # The log counts whole seconds: the keyed time, give or take one, plus half a second.
    keyed=$(($(seconds "${off[i]}") - $(seconds "${on[i]}"))) duration=$(soxi -D "$work/$wav")
    awk -v d="$duration" -v k="$keyed" 'BEGIN { exit !(d >= k - 0.5 && d <= k + 1.5) }' ||
      fail "$wav lasts $duration s for a transmission of about $keyed s"
    rtty baudot 45.45
    compare "transmission $((i + 1)) from its file" "${texts[i]^^}" "$got"
  done
  ;;

*) fail "unknown case '$kind'" ;;
esac

passed=1
echo "PASS: $kind $*"
