#!/usr/bin/env bash
# The station's signal beside minimodem's own transmitter, as a receiver hears them.
#   bench/onair_quality.sh [SKEDCAST]   (default build/skedcast)
# For ITA2 at 45.45 and 50 baud and ASCII at 110 baud, the same text goes out three ways: the station's
# AFSK sound plain and with --fsk-shaping=on (headless, simulated clock, --audio=wav:), and minimodem's
# transmitter (the same tones, 8000 Hz, 1.5 stop bits in Baudot, 2 in ASCII). Each is cut to its text (the
# station's idle lead-in and tail left out, as minimodem sends none), decoded by minimodem at those standard
# settings after white noise is added at a given SNR in 3 kHz (fixed seeds), and the character error rate
# against its own noiseless decode is printed side by side, with each signal's 99 % bandwidth.
# Then the key edges: the power more than 400 Hz from the carrier in the 40 ms around each key-down and key-up
# (Hann window), against the whole window's, for the sound, the --onair rendering, CW keying and PSK31.
# SEEDS (default 3), CHARACTERS (default 600) and SNRS (default "-6 -3 0 3 6 10 20") set the run.
# Goals: every station column no worse than minimodem's at every SNR; every edge at -40 dB or better.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
skedcast=$(readlink -f -- "${1:-$here/build/skedcast}")
python=/usr/bin/python3   # Debian's, with python3-numpy
[ -x "$skedcast" ] || { echo "onair_quality.sh: no station binary at $skedcast" >&2; exit 1; }
command -v minimodem >/dev/null || { echo "onair_quality.sh: minimodem is not installed" >&2; exit 1; }
"$python" -c 'import numpy' 2>/dev/null || { echo "onair_quality.sh: python3-numpy is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "${CHARACTERS:-600}" upper | fold -s -w 60 > "$work/text.txt"

# station NAME OPTION... -- ENTRY...: runs the station on the schedule's entries (one a second from 12:00:00),
# data/bulletin.txt holding the text, in folder NAME.
station() {
  local dir=$work/$1 s=0 e
  shift
  mkdir -p "$dir/data" "$dir/log"
  touch "$dir/data/header.txt" "$dir/data/footer.txt"
  cp "$work/text.txt" "$dir/data/bulletin.txt"
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  for e; do printf '01/01/2026 12:00:%02d %s\n' $((s++)) "$e"; done > "$dir/data/schedule.lst"
  (cd "$dir" && TZ=UTC LC_ALL=C "$skedcast" --headless --simulate=2026-01-01T11:59:50 --enable "${ending[@]}" \
     --serial=emulated:trace.tsv "${options[@]}" QZ0XB 2 RTS > station.out 2> station.err) ||
    { echo "onair_quality.sh: the station failed in $dir" >&2; cat "$dir/station.err" >&2; exit 1; }
}

sound=(--audio=wav:air.wav --sound-card=-1) ending=(--exit-when-idle --run-for=3600)
cases=("ITA2 B45 45.45 baudot 1.5" "ITA2 B50 50 baudot 1.5" "ASCII B110 110 ascii 2")
for c in "${cases[@]}"; do
  read -r mode button baud alphabet stop <<<"$c"
  for shaping in off on; do
    station "$button-$shaping" "${sound[@]}" "--fsk-shaping=$shaping" -- "\$$mode" "\$$button" bulletin.txt
  done
  minimodem --tx -q -f "$work/$button-minimodem.wav" -R 8000 -M 2125 -S 2295 "--$alphabet" --stopbits "$stop" \
    "$baud" < "$work/text.txt"
done
# The edges of the other keyings: the line's own rendering in RTTY and CW, and PSK31 in the sound.
station onair --onair=onair.wav -- '$ITA2' '$B45' bulletin.txt
station cw --onair=onair.wav -- '$CW' '$CWID'
station idsound "${sound[@]}" --onair=onair.wav -- '$ITA2' '$CWID'
# PSK31's sound runs a second behind its symbols: a run that ended as soon as the station fell idle would cut
# the carrier's fade-out off (after the key is up), so this one runs on.
ending=(--run-for=60)
station psk31 "${sound[@]}" -- '$PSK31' '$CWID'

"$python" - "$work" "${SEEDS:-3}" "${SNRS:--6 -3 0 3 6 10 20}" "${cases[@]}" <<'PY'
import subprocess, sys, wave
import numpy as np

work, seeds, snrs, cases = sys.argv[1], int(sys.argv[2]), [float(s) for s in sys.argv[3].split()], sys.argv[4:]
RATE = 8000

def read(path):
    with wave.open(path) as w:
        assert w.getframerate() == RATE and w.getsampwidth() == 2 and w.getnchannels() == 1, path
        return np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(float) / 32768.0

def write(path, x):
    with wave.open(path, "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(RATE)
        w.writeframes((np.clip(x, -1, 32767 / 32768) * 32768).astype("<i2").tobytes())

def keyed(x):  # the samples of the signal itself: 20 ms stretches at more than a tenth of the loudest's power
    frames = x[: len(x) // 160 * 160].reshape(-1, 160)
    power = (frames ** 2).mean(axis=1)
    return frames[power > power.max() / 10].ravel()

def text_span(x, trace=None):
    """The text alone: the station keys an idle fill (LTRS in Baudot) before and after it, which noise turns into
    stray characters; minimodem sends none. The line trace says when the first and last printing characters
    went to the line after the key closed; the sound follows them within a few blocks."""
    if trace is None:
        return x
    keyed, printing = None, []
    for line in open(trace):
        stamp, _, kind, what = line.rstrip("\n").split("\t")[:4]
        seconds = sum(float(p) * m for p, m in zip(stamp.split()[1].split(":"), (3600, 60, 1)))
        if kind == "mcr" and "key=ON" in what and keyed is None:
            keyed = seconds
        code = int(what.split()[0], 16) if kind == "frame" else None
        if code is not None and code not in (0x00, 0x1F, 0x1B):  # idle, letters, figures
            printing.append(seconds)
    return x[max(int((printing[0] - keyed - 0.25) * RATE), 0): int((printing[-1] - keyed + 1.0) * RATE)]

def decode(path, alphabet, stop, baud):
    out = subprocess.run(["minimodem", "--rx", "-q", "-f", path, "-M", "2125", "-S", "2295", "--" + alphabet,
                          "--stopbits", stop, baud], capture_output=True, text=True, errors="replace")
    return out.stdout.replace("\r", "")

def distance(a, b):  # Levenshtein, one row at a time
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        prev, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (ca != cb))
    return row[-1]

def bandwidth(x):  # 99 %: between the 0.5 % and 99.5 % points of the averaged spectrum
    n = 2048
    frames = [x[i:i + n] * np.hanning(n) for i in range(0, len(x) - n, n // 2)]
    psd = np.mean([np.abs(np.fft.rfft(f)) ** 2 for f in frames], axis=0)
    cumulative = np.cumsum(psd) / psd.sum()
    hz = np.fft.rfftfreq(n, 1 / RATE)
    return hz[np.searchsorted(cumulative, 0.995)] - hz[np.searchsorted(cumulative, 0.005)]

print("Character error rate, decoded by minimodem at its standard framing, %d seeds per SNR (in 3 kHz)" % seeds)
for case in cases:
    mode, button, baud, alphabet, stop = case.split()
    signals = [("station", f"{button}-off/air.wav"), ("shaped", f"{button}-on/air.wav"),
               ("minimodem", f"{button}-minimodem.wav")]
    print(f"\n{mode} {baud} baud ({stop} stop bits)   " + "".join(f"{name:>12}" for name, _ in signals))
    rows = {snr: [] for snr in snrs}
    widths, lengths = [], []
    for name, path in signals:
        trace = f"{work}/{path.split('/')[0]}/trace.tsv" if "/" in path else None
        x = text_span(read(f"{work}/{path}"), trace)
        write(f"{work}/clean.wav", x)
        clean = decode(f"{work}/clean.wav", alphabet, stop, baud)
        lengths.append(len(clean))
        signal = keyed(x)
        widths.append(bandwidth(signal))
        x = x / np.sqrt((signal ** 2).mean()) * 0.05  # RMS 0.05 of full scale while keyed
        for snr in snrs:
            errors = 0
            for seed in range(1, seeds + 1):
                sigma = 0.05 * np.sqrt(10 ** (-snr / 10) * (RATE / 2) / 3000)
                noisy = x + np.random.default_rng(seed).normal(0, sigma, len(x))
                write(f"{work}/noisy.wav", noisy)
                errors += distance(decode(f"{work}/noisy.wav", alphabet, stop, baud), clean)
            rows[snr].append(100.0 * errors / (seeds * max(len(clean), 1)))
    for snr in snrs:
        print(f"  {snr:+5.0f} dB" + " " * 24 + "".join(f"{cer:11.2f}%" for cer in rows[snr]))
    print("  99 % bandwidth" + " " * 17 + "".join(f"{w:10.0f}Hz" for w in widths))
    print("  characters decoded without noise" + "".join(f"{n:12d}" for n in lengths))

def splatter(x, at, centre):  # power beyond 400 Hz of the carrier in the 40 ms around sample `at`, in dB
    half = 160
    window = np.zeros(2 * half)
    lo, hi = max(at - half, 0), min(at + half, len(x))
    window[lo - (at - half): hi - (at - half)] = x[lo:hi]
    spectrum = np.abs(np.fft.rfft(window * np.hanning(2 * half), 8192)) ** 2
    hz = np.fft.rfftfreq(8192, 1 / RATE)
    return 10 * np.log10(spectrum[np.abs(hz - centre) > 400].sum() / spectrum.sum())

def edges(x):  # the first sample of each keyed stretch and the first silent one after it
    loud = np.sqrt(np.convolve(x ** 2, np.ones(8) / 8, "same")) > 1e-3  # louder than the noise floor
    change = np.flatnonzero(np.diff(loud.astype(int)))
    ups = [0] if loud[0] else []
    return ups + [i + 1 for i in change if loud[i + 1]], [i + 1 for i in change if not loud[i + 1]] + (
        [len(x)] if loud[-1] else [])

print("\nKey edges: power more than 400 Hz from the carrier in the 40 ms around the edge (goal -40 dB or better)")
for name, path, centre in [("RTTY sound (45.45 baud)", "B45-off/air.wav", 2210),
                           ("RTTY sound, shaped", "B45-on/air.wav", 2210),
                           ("RTTY --onair", "onair/onair.wav", 2210), ("CW --onair", "cw/onair.wav", 2125),
                           ("PSK31 sound", "psk31/air.wav", None), ("minimodem (45.45 baud)", "B45-minimodem.wav", 2210)]:
    x = read(f"{work}/{path}")
    if centre is None:  # the carrier where the spectrum peaks
        centre = np.fft.rfftfreq(len(x), 1 / RATE)[np.argmax(np.abs(np.fft.rfft(x)))]
    downs, ups = edges(x)
    worst = lambda points: max(splatter(x, p, centre) for p in points) if points else float("nan")
    print(f"  {name:26} key-down {worst(downs):6.1f} dB   key-up {worst(ups):6.1f} dB   ({len(downs)} keyings, worst shown)")

def morse_shifts(x):  # where the space tone starts or ends a run of at least 50 ms (the LTRS idle has 22 ms ones)
    n = 40
    frames = x[: len(x) // n * n].reshape(-1, n)
    tone = lambda hz: np.abs(frames @ np.exp(-2j * np.pi * hz * np.arange(n) / RATE))
    space = tone(2295) > tone(2125)
    edges, start = [], None
    for i in range(1, len(space)):
        if space[i] and not space[i - 1]:
            start = i
        elif start is not None and not space[i] and space[i - 1]:
            if i - start >= 10:
                edges += [start * n, i * n]
            start = None
    return edges

print("\nThe identification's Morse by frequency shift (RTTY mode): the same measure at each shift")
for name, path in [("Morse shifts, sound", "idsound/air.wav"), ("Morse shifts, --onair", "idsound/onair.wav")]:
    x = read(f"{work}/{path}")
    shifts = morse_shifts(x)
    print(f"  {name:26} worst {max(splatter(x, p, 2210) for p in shifts):6.1f} dB   ({len(shifts)} shifts)")
PY
