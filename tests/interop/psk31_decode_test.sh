#!/usr/bin/env bash
# psk31_decode_test.sh SKEDCAST HERTZ: a bulletin sent headless in PSK31 on the simulated clock, its
# sound written by the sound card's WAV back end (--audio=wav:FILE --sound-card=-1), must decode
# to its text in fldigi (BPSK31), and the identification after it to "DE <call> <call>" in
# multimon-ng (Morse on the carrier). HERTZ is 1500 (the start-up frequency) or 2100 (chosen with
# the baud button that stands for 2100 Hz in PSK31 mode, $B300).
#
# fldigi has no file input: it runs under a private Xvfb with a private PulseAudio daemon whose
# 8000 Hz null sink paplay feeds, and is driven over XML-RPC. Every process started here is ours
# and is stopped by the trap; the XML-RPC port is taken only once fldigi itself is seen listening
# on it (another program on the port means another try on another port). Decoding runs in real
# time: about a minute. The scratch folder is kept (its path printed) on failure or with
# SKEDCAST_KEEP=1. A missing decoder fails, never skips.
# shellcheck disable=SC2016  # '$PSK31' and the like are schedule commands, not shell variables
set -euo pipefail

readonly CALL=QZ0XB
here=$(dirname "$(readlink -f -- "$0")")
# shellcheck source=SCRIPTDIR/xvfb_display.sh
. "$here/xvfb_display.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }

[ $# = 2 ] || { echo "usage: $0 SKEDCAST 1500|2100" >&2; exit 2; }
skedcast=$(readlink -f -- "$1"); hertz=$2
[ -x "$skedcast" ] || fail "no station binary at '$1' (build the skedcast target first)"
case $hertz in 1500) commands=('$PSK31') ;; 2100) commands=('$PSK31' '$B300') ;; *) fail "unknown frequency $hertz" ;; esac
for tool in fldigi Xvfb pulseaudio paplay pactl sox multimon-ng python3; do
  command -v $tool >/dev/null || fail "'$tool' is not installed (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/skedcast-psk31.XXXXXX")
passed=0 pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$p" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$p" 2>/dev/null || true
  done
  xvfb_stop
  if [ $passed = 1 ] && [ "${SKEDCAST_KEEP:-0}" != 1 ]; then rm -rf "$work"; else echo "scratch folder kept: $work" >&2; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- The station: $PSK31 (and the frequency), the bulletin, the identification.
mkdir "$work/data" "$work/log"
: >"$work/data/header.txt"
: >"$work/data/footer.txt"
bulletin=$'CQ CQ DE QZ0XB: PSK31 bulletin nr 7 at '"$hertz"$' Hz.\n'\
$'The quick brown fox jumps over the lazy dog, 0123456789 times!\n'\
$'Signs: !"#$%&\'()*+,-./:;<=>?@[\\]_`{|}~ end.\n'
printf '%s' "$bulletin" >"$work/data/bulletin.txt"
printf 'VVV\n' >"$work/data/cwid.txt"
s=0
for entry in "${commands[@]}" bulletin.txt '$CWID'; do printf '01/01/2026 12:00:%02d %s\n' $((s++)) "$entry"; done \
  >"$work/data/schedule.lst"
(cd "$work" && TZ=UTC LC_ALL=C timeout 120 "$skedcast" --headless --simulate=2026-01-01T11:59:50 --run-for=900 \
   --enable --exit-when-idle --serial=emulated:uart-trace.tsv --audio=wav:air.wav --sound-card=-1 $CALL 2 RTS \
   >station.out 2>station.err) || { rc=$?; tail -n 20 "$work/station.err" >&2; fail "skedcast ended with status $rc"; }
[ ! -s "$work/station.err" ] || { cat "$work/station.err" >&2; fail "skedcast reported problems"; }
logged() {
  grep -qxF -- "$1" <(sed 's/^[0-9:]* > //' "$work"/log/*.log) || { cat "$work"/log/*.log >&2; fail "the log has no line '$1'"; }
}
logged "Completed sending <bulletin.txt>."
logged "Cwid : Sending CW Identification."
[ -s "$work/air.wav" ] || fail "no sound at $work/air.wav"
format="$(soxi -r "$work/air.wav") Hz, $(soxi -c "$work/air.wav") channel, $(soxi -b "$work/air.wav")-bit"
[ "$format" = "8000 Hz, 1 channel, 16-bit" ] || fail "air.wav is $format"
# Nothing went out on the serial line: PSK31 is the sound card's alone.
! grep -q $'\tframe\t' "$work/uart-trace.tsv" || fail "characters went out on the serial line in PSK31 mode"

# ---- The identification: Morse on the carrier, band-passed, read with the dot at 64 ms.
morse=$(sox -V1 "$work/air.wav" -t raw -r 22050 -e signed -b 16 -c 1 - sinc $((hertz - 50))-$((hertz + 50)) \
          gain -n -3 pad 0.5 2 | multimon-ng -q -t raw -a MORSE_CW -y -d 64 -g 64 - 2>"$work/multimon.err")
words=" $(printf '%s' "$morse" | tr -s ' \t\r\n' '    ') "
case "$words" in *" DE $CALL $CALL "*) ;; *) fail "the identification reads '$words', not 'DE $CALL $CALL'" ;; esac

# ---- fldigi under a private display and sound server.
export HOME="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/.config"
xvfb_start "$work" 1024x768x24 || fail "Xvfb did not start (see $work/xvfb.log)"

sock="$work/pulse.sock"
cat >"$work/pa.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$sock
load-module module-null-sink sink_name=vcable rate=8000 channels=1
set-default-sink vcable
set-default-source vcable.monitor
EOF
pulseaudio --daemonize=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit -n -F "$work/pa.pa" \
  --log-target=file:"$work/pa.log" >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$sock"
for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.1; done
[ -S "$sock" ] || fail "pulseaudio did not start (see $work/pa.log)"

# Without a configuration fldigi opens its first-run wizard and never serves XML-RPC.
mkdir -p "$work/fl"
cat >"$work/fl/fldigi_def.xml" <<EOF
<?xml version="1.0"?>
<FLDIGI_DEFS>
<MYCALL>N0CALL</MYCALL>
<AUDIOIO>2</AUDIOIO>
<PULSESERVER>unix:$sock</PULSESERVER>
<CHECK_FOR_UPDATES>0</CHECK_FOR_UPDATES>
</FLDIGI_DEFS>
EOF

# listening PID PORT: process PID itself listens on TCP PORT of 127.0.0.1.
listening() {
  python3 - "$1" "$2" <<'PY'
import os, sys
pid, port = sys.argv[1], int(sys.argv[2])
inodes = set()
for line in open('/proc/net/tcp').read().splitlines()[1:]:
    f = line.split()
    if f[3] == '0A' and int(f[1].split(':')[1], 16) == port:
        inodes.add(f[9])
try:
    fds = os.listdir('/proc/%s/fd' % pid)
except OSError:
    sys.exit(1)
for fd in fds:
    try:
        link = os.readlink('/proc/%s/fd/%s' % (pid, fd))
    except OSError:
        continue
    if link.startswith('socket:[') and link[8:-1] in inodes:
        sys.exit(0)
sys.exit(1)
PY
}
xmlrpc=
for attempt in 1 2 3 4 5; do
  port=$(python3 -c 'import random; print(random.randrange(20000, 60000))')
  arq=$((port + 1))
  fldigi --config-dir "$work/fl" --home-dir "$work/fl" --xmlrpc-server-address 127.0.0.1 \
    --xmlrpc-server-port "$port" --arq-server-port "$arq" >"$work/fldigi.$attempt.log" 2>&1 &
  fl=$!
  pids+=("$fl")
  for _ in $(seq 240); do   # fldigi takes a few seconds to come up; a minute at most
    kill -0 $fl 2>/dev/null || break
    if listening $fl "$port"; then xmlrpc=$port; break; fi
    sleep 0.25
  done
  [ -n "$xmlrpc" ] && break
  kill $fl 2>/dev/null || true   # the port was someone else's, or fldigi died: another port
  wait $fl 2>/dev/null || true
done
[ -n "$xmlrpc" ] || fail "fldigi did not serve XML-RPC (see $work/fldigi.*.log)"

# The sound at 8000 Hz with a second of silence before and two after; paplay plays it in real time.
# Every step waits on fldigi's own state (asked over XML-RPC, or of the sound server) rather than
# for a set time, and fails naming the state fldigi did not reach.
sox -V1 "$work/air.wav" -r 8000 -c 1 -b 16 "$work/in.wav" pad 1 2
not_ready() { cat "$work/driver.err" >&2; fail "fldigi did not get ready to decode (see $work/fldigi.*.log)"; }
timeout 600 python3 - "$xmlrpc" "$hertz" "$work/in.wav" "$PULSE_SERVER" "$work/data/bulletin.txt" \
  >"$work/fldigi.txt" 2>"$work/driver.err" <<'PY' || not_ready
import subprocess, sys, time, xmlrpc.client
port, hertz, wav, server, bulletin = sys.argv[1:6]
want = open(bulletin, 'rb').read()
fl = xmlrpc.client.ServerProxy('http://127.0.0.1:%s' % port)
POLL_SECONDS = 0.1


def poll(seconds, read, done):
    """Reads a state with read() every POLL_SECONDS until done(state), SECONDS at most: (done, state)."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            state = read()
        except (OSError, xmlrpc.client.ProtocolError) as error:  # fldigi not serving (yet)
            state = error
        if done(state) or time.monotonic() >= deadline:
            return done(state), state
        time.sleep(POLL_SECONDS)  # the poll interval between two questions, not a wait for fldigi


def expect(what, read, wanted, seconds=10):
    reached, state = poll(seconds, read, lambda state: state == wanted)
    if not reached:
        sys.exit('fldigi: %s is %r, not %r, after %g s' % (what, state, wanted, seconds))


def recording():
    """Whether a stream records from the private sound server: fldigi's, the only client there."""
    listed = subprocess.run(['pactl', '--server', server, 'list', 'short', 'source-outputs'],
                            capture_output=True, text=True)
    return listed.returncode == 0 and bool(listed.stdout.strip())


answering, state = poll(60, fl.fldigi.name_version, lambda state: isinstance(state, str))
if not answering:
    sys.exit('fldigi did not answer over XML-RPC within 60 s: %s' % state)
fl.modem.set_by_name('BPSK31')
expect('the modem', fl.modem.get_name, 'BPSK31')
fl.modem.set_carrier(int(hertz))
expect('the carrier', fl.modem.get_carrier, int(hertz))
for name, on in (('afc', True), ('squelch', True), ('reverse', False)):
    getattr(fl.main, 'set_' + name)(on)
    expect('the ' + name, getattr(fl.main, 'get_' + name), on)
fl.main.rx()
expect('the transmit/receive state', fl.main.get_trx_state, 'RX')
expect('whether it records from the sound server', recording, True)
fl.text.clear_rx()
expect('the length of the received text', fl.text.get_rx_length, 0)
fl.rx.get_data()  # what came before the sound
played = subprocess.run(['paplay', '--server', server, '-d', 'vcable', wav]).returncode
if played != 0:
    sys.exit('paplay could not play %s to the private sound server (status %d)' % (wav, played))

# fldigi decodes a little behind the sound: read until the bulletin has come out whole, or give up
# after a while and let the comparison below say how far it got.
received = bytearray()


def read_more():
    data = fl.rx.get_data()
    received.extend(data.data if hasattr(data, 'data') else str(data).encode())
    return bytes(received).replace(b'\r', b'')


AFTER_SOUND = 10
whole, _ = poll(AFTER_SOUND, read_more, lambda text: isinstance(text, bytes) and want in text)
if not whole:
    sys.stderr.write('fldigi had not read the whole bulletin %d s after the sound ended\n' % AFTER_SOUND)
sys.stdout.buffer.write(bytes(received))
PY
[ ! -s "$work/driver.err" ] || cat "$work/driver.err" >&2
# The bulletin whole and in order somewhere in what fldigi read (the Morse reads as noise in PSK31).
python3 - "$work/fldigi.txt" "$work/data/bulletin.txt" <<'PY' || fail "fldigi did not read the bulletin at $hertz Hz"
import sys
got = open(sys.argv[1], 'rb').read().replace(b'\r', b'')
want = open(sys.argv[2], 'rb').read()
if want in got:
    sys.exit(0)
best = max(range(len(want) + 1), key=lambda n: (want[:n] in got) * n)
sys.stderr.write('fldigi read:\n%s\n--- the bulletin is read up to character %d: %r\n'
                 % (got.decode('latin-1'), best, want[best:best + 20]))
sys.exit(1)
PY

passed=1
echo "PASS: PSK31 at $hertz Hz, and its identification"
