#!/usr/bin/env python3
"""A rig keyed through rigctld (Hamlib's dummy rig) by the station on the simulated clock: the key read back from
the rig over a connection of our own while a bulletin goes out and after the next one, $FREQ= read back, and
rigctld killed in the middle of a bulletin (ABORTED, the release retried until a new rigctld takes it, the station
running on). No wait is timed: the station's output is a pipe, and a station whose output is not read waits for
the test (the bulletin is far longer than a pipe holds), so the test acts at a moment it has seen."""
import os, shutil, socket, subprocess, sys, tempfile, threading

skedcast = os.path.abspath(sys.argv[1])
work = tempfile.mkdtemp(prefix="skedcast-rig.")
os.mkdir(f"{work}/data"), os.mkdir(f"{work}/log")
for name, text in {"header.txt": "", "footer.txt": "", "short.txt": "QST DE QZ0XB\n" * 3,
                   "long.txt": "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n" * 3000,
                   "schedule.lst": "01/01/2026 12:00:05 $FREQ=14085\nlong.txt\n"}.items():
    open(f"{work}/data/{name}", "w").write(text)
rigs, station = [], None

def fail(why):
    print(f"FAIL: {why}\n(station folder kept: {work})", file=sys.stderr)
    for p in rigs + [station]:
        p and p.kill()
    sys.exit(1)

def start_rig(port):
    """rigctld on `port`, and a connection to it once it says it listens (its trace, read to its end)."""
    rig = subprocess.Popen(["rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", str(port), "-vvvvv"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors="replace")
    rigs.append(rig)
    listening = threading.Event()
    def read_trace():
        for line in rig.stderr:
            if "listening on port" in line:
                listening.set()
        listening.set()  # ended: the connection below fails and says so
    threading.Thread(target=read_trace, daemon=True).start()
    listening.wait(30)
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=30).makefile("rw")
    except OSError as e:
        return None

def ask(rig, command):
    rig.write(command + "\n"), rig.flush()
    return rig.readline().strip()

def read_until(text):
    """The station's output up to the line holding `text`; the station waits meanwhile when the pipe is full."""
    for line in station.stdout:
        if text in line:
            return line
    fail(f"the station ended before printing {text!r}")

def log():
    return "".join(open(f"{work}/log/{f}").read() for f in os.listdir(f"{work}/log"))

# A free port raced for by another program: tried again on another one.
for _ in range(3):
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    ours = start_rig(port)
    if ours:
        break
else:
    fail("rigctld did not start")
station = subprocess.Popen([skedcast, "--headless", "--simulate=2026-01-01T12:00:00", "--serial=emulated:trace.tsv",
                            "--enable", f"--ptt=rigctld:127.0.0.1:{port}", "QZ0XB", "2", "RTS"],
                           cwd=work, env=dict(os.environ, TZ="UTC", LC_ALL="C"), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=open(f"{work}/err.txt", "w"), text=True)

# The long bulletin keys the rig: its key reads 1 while the bulletin goes out (a line of it printed as sent), on the
# frequency $FREQ= set.
read_until("THE QUICK BROWN FOX")
if ask(ours, "t") != "1":
    fail("the rig is not keyed while the bulletin goes out")
if ask(ours, "f") != "14085000":
    fail("$FREQ=14085 was not set")

# rigctld killed in the middle of the bulletin: ABORTED with the reason, the release retried and logged.
rigs[0].kill(), rigs[0].wait()
read_until("log: Keying : rig control (rigctld 127.0.0.1:%d): does not answer" % port)
read_until("the key is retried off every 5 seconds.")
read_until("log: SendAbort : <long.txt> not sent whole: rig control")
# The station runs on: a new rigctld takes the release, and the next bulletin goes out on it.
ours = start_rig(port) or fail("rigctld did not start again")
read_until("took the release: the key is off.")
station.stdin.write("add short.txt\nenable\n"), station.stdin.flush()
read_until("transmit: ON")
read_until("transmit: OFF")
if ask(ours, "t") != "0":
    fail("the rig is left keyed after the bulletin")
station.stdin.write("quit\n"), station.stdin.close()
station.stdout.read()
if station.wait(60) != 0 or open(f"{work}/err.txt").read().strip():
    fail(f"the station ended badly: {open(f'{work}/err.txt').read()}")
for line in ("Frequency : 14085.000 kHz set; the rig reports 14085.000 kHz", "ABORTED sending <long.txt>.",
             "Completed sending <short.txt>."):
    if line not in log():
        fail(f"the log has no line {line!r}:\n{log()}")
for rig in rigs:
    rig.kill()
shutil.rmtree(work)
print("PASS: keyed and released through rigctld, $FREQ read back, a lost rig aborted and released on its return")
