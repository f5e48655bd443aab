#!/usr/bin/env bash
# psk31_decode_test.sh SKEDCAST 1500|2100: a PSK31 bulletin in the sound card's WAV file must decode to its text in
# fldigi, and the identification after it to "DE <call> <call>" in multimon-ng. 2100 Hz is chosen by $B300.
# fldigi has no file input: under a private Xvfb and PulseAudio, fed by paplay, driven over XML-RPC, in real time.
# shellcheck disable=SC2016  # '$PSK31' and the like are schedule commands, not shell variables
. "$(dirname "$(readlink -f -- "$0")")/common.sh"
[ $# = 2 ] || { echo "usage: $0 SKEDCAST 1500|2100" >&2; exit 2; }
hertz=$2
case $hertz in 1500) commands=('$PSK31') ;; 2100) commands=('$PSK31' '$B300') ;; *) fail "unknown frequency $hertz" ;; esac
begin psk31 "$1" fldigi Xvfb pulseaudio paplay pactl sox multimon-ng python3 ss

bulletin=$'CQ CQ DE QZ0XB: PSK31 bulletin nr 7 at '"$hertz"$' Hz.\n'\
$'The quick brown fox jumps over the lazy dog, 0123456789 times!\n'\
$'Signs: !"#$%&\'()*+,-./:;<=>?@[\\]_`{|}~ end.\n'
printf '%s' "$bulletin" >"$work/data/bulletin.txt"
printf 'VVV\n' >"$work/data/cwid.txt"
schedule "${commands[@]}" bulletin.txt '$CWID'
wav=air.wav
station --audio=wav:air.wav --sound-card=-1
logged "Completed sending <bulletin.txt>." "Cwid : Sending CW Identification."
wav_format "$work/air.wav"
! grep -q $'\tframe\t' "$work/uart-trace.tsv" || fail "characters went out on the serial line in PSK31 mode"
# The identification: Morse on the carrier, band-passed, the dot at 64 ms.
morse 64 sinc $((hertz - 50))-$((hertz + 50)) gain -n -3
[[ " $got " == *" DE $CALL $CALL "* ]] || fail "the identification reads '$got', not 'DE $CALL $CALL'"

export HOME=$work XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/.config PULSE_SERVER=unix:$work/pulse.sock
xvfb 1024x768x24
pulseaudio --daemonize=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit -n --log-target=file:"$work/pa.log" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" \
  -L "module-null-sink sink_name=vcable rate=8000 channels=1" >/dev/null 2>&1 &
pids+=($!)
waitfor 10 test -S "$work/pulse.sock" || fail "pulseaudio did not start (see $work/pa.log)"
pactl set-default-source vcable.monitor
# Without a configuration fldigi opens its first-run wizard and never serves XML-RPC.
mkdir "$work/fl"
printf '%s\n' '<?xml version="1.0"?>' '<FLDIGI_DEFS>' '<MYCALL>N0CALL</MYCALL>' '<AUDIOIO>2</AUDIOIO>' \
  "<PULSESERVER>$PULSE_SERVER</PULSESERVER>" '<CHECK_FOR_UPDATES>0</CHECK_FOR_UPDATES>' '</FLDIGI_DEFS>' \
  >"$work/fl/fldigi_def.xml"
# The XML-RPC port counts once fldigi itself listens on it; another program there, or fldigi ending, means a retry.
serving() { [[ $(ss -Hltnp "sport = :$port") == *"pid=$fl,"* ]] || gone "$fl"; }
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM))
  fldigi --config-dir "$work/fl" --home-dir "$work/fl" --xmlrpc-server-address 127.0.0.1 --xmlrpc-server-port $port \
    --arq-server-port $((port + 1)) >"$work/fldigi.$attempt.log" 2>&1 &
  fl=$!
  pids+=("$fl")
  waitfor 60 serving && ! gone $fl && break
  kill $fl 2>/dev/null || :
  port=
done
[ -n "$port" ] || fail "fldigi did not serve XML-RPC (see $work/fldigi.*.log)"

# The sound, padded with silence, played in real time: fldigi's decoder runs at the pace of the sound it hears, so
# every wait is on the sound server or on fldigi's own answer, never a pause of our own; each step fails with its name.
sox -V1 "$work/air.wav" -r 8000 -c 1 -b 16 "$work/in.wav" pad 1 2
sox -V1 -n -r 8000 -c 1 -b 16 "$work/silence.wav" trim 0 1
timeout 600 python3 - "$port" "$hertz" "$work/in.wav" "$work/silence.wav" "$work/data/bulletin.txt" <<'PY' || fail "fldigi did not read the bulletin"
import select, subprocess, sys, time, xmlrpc.client
port, hertz, wav, silence, want = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], open(sys.argv[5], 'rb').read()
fl = xmlrpc.client.ServerProxy('http://127.0.0.1:%s' % port)


def expect(what, read, wanted):
    """fldigi serves its XML-RPC calls in order, so a setting reads back as set at once, or never."""
    state = read()
    if state != wanted:
        sys.exit('fldigi: %s is %r, not %r' % (what, state, wanted))


def recording():  # a stream records from the private sound server: fldigi's, its only client
    return bool(subprocess.run(['pactl', 'list', 'short', 'source-outputs'], capture_output=True).stdout.strip())


def await_recording(seconds=30):
    """True once fldigi records, woken by the sound server's own events, for SECONDS at most."""
    events = subprocess.Popen(['pactl', 'subscribe'], stdout=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + seconds
        while not recording():
            if not select.select([events.stdout], [], [], max(deadline - time.monotonic(), 0))[0]:
                return False
            events.stdout.readline()
        return True
    finally:
        events.kill()


def play(name):
    subprocess.run(['paplay', '-d', 'vcable', name], check=True)


expect('answering over XML-RPC', lambda: isinstance(fl.fldigi.name_version(), str), True)
fl.modem.set_by_name('BPSK31')
expect('the modem', fl.modem.get_name, 'BPSK31')
fl.modem.set_carrier(hertz)
expect('the carrier', fl.modem.get_carrier, hertz)
for name, on in (('afc', True), ('squelch', True), ('reverse', False)):
    getattr(fl.main, 'set_' + name)(on)
    expect('the ' + name, getattr(fl.main, 'get_' + name), on)
fl.main.rx()
expect('the transmit/receive state', fl.main.get_trx_state, 'RX')
expect('whether it records from the sound server', await_recording, True)
# What fldigi made of the silence before the sound is taken away (its text pane is cleared later, on its own thread).
fl.rx.get_data()
play(wav)
# fldigi decodes a little behind the sound: a second more of silence at a time, 10 at most, until it is out whole.
received = bytearray(fl.rx.get_data().data)
for _ in range(10):
    if want in received.replace(b'\r', b''):
        break
    play(silence)
    received.extend(fl.rx.get_data().data)
got = bytes(received).replace(b'\r', b'')
if want not in got:  # the Morse reads as noise in PSK31, so the bulletin is looked for within
    best = max(n for n in range(len(want) + 1) if want[:n] in got)
    sys.exit('fldigi read:\n%s\n--- the bulletin is read up to character %d: %r'
             % (got.decode('latin-1'), best, want[best:best + 20]))
PY
passed=1
echo "PASS: PSK31 at $hertz Hz, and its identification"
