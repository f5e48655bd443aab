#!/usr/bin/env python3
"""A rig keyed through rigctld (Hamlib's dummy rig) on the real clock: the key read back from the rig over a
connection of our own while a bulletin goes out and after it, $FREQ= read back, and rigctld killed in the
middle of a bulletin (ABORTED, the release retried until a new rigctld takes it, the station running on)."""
import os, re, shutil, socket, subprocess, sys, tempfile, time

skedcast = os.path.abspath(sys.argv[1])
work = tempfile.mkdtemp(prefix="skedcast-rig.")
os.mkdir(f"{work}/data"), os.mkdir(f"{work}/log")
for name, text in {"header.txt": "", "footer.txt": "", "short.txt": "QST DE QZ0XB\n" * 3,
                   "long.txt": "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n" * 40}.items():
    open(f"{work}/data/{name}", "w").write(text)
rigs, station = [], None

def fail(why):
    print(f"FAIL: {why}\n(station folder kept: {work})", file=sys.stderr)
    for p in rigs + [station]:
        p and p.kill()
    sys.exit(1)

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]

def start_rig(port):
    rig = subprocess.Popen(["rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", str(port)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rigs.append(rig)
    for _ in range(100):
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=5).makefile("rw")
        except OSError:
            if rig.poll() is not None:
                return None
            time.sleep(0.05)
    return None

def ask(rig, command):
    rig.write(command + "\n"), rig.flush()
    return rig.readline().strip()

def log():
    return "".join(open(f"{work}/log/{f}").read() for f in os.listdir(f"{work}/log"))

def until(what, test, seconds=60):
    end = time.monotonic() + seconds
    while not test():
        if time.monotonic() > end or station.poll() is not None:
            fail(f"no {what} within {seconds} s:\n{log()}")
        time.sleep(0.05)

# A free port raced for by another program: tried again on another one.
for _ in range(3):
    port = free_port()
    ours = start_rig(port)
    if ours:
        break
else:
    fail("rigctld did not start")
ours_two = None
when = time.strftime("%m/%d/%Y %H:%M:%S", time.gmtime(time.time() + 3))  # the station runs on UTC
open(f"{work}/data/schedule.lst", "w").write(f"{when} $FREQ=14085\nshort.txt\n")
station = subprocess.Popen([skedcast, "--headless", "--serial=emulated:trace.tsv", "--audio=null", "--enable",
                            f"--ptt=rigctld:127.0.0.1:{port}", f"--control={work}/control", "QZ0XB", "2", "RTS"],
                           cwd=work, env=dict(os.environ, TZ="UTC", LC_ALL="C"), stdin=subprocess.PIPE,
                           stdout=subprocess.DEVNULL, stderr=open(f"{work}/err.txt", "w"))

# The bulletin keys the rig: its key reads 1 while it goes out, 0 once it has.
until("keying", lambda: "TXFile : Sending file <short.txt>." in log())
if ask(ours, "t") != "1":
    fail("the rig is not keyed while the bulletin goes out")
until("the end of the bulletin", lambda: "Completed sending <short.txt>." in log())
if ask(ours, "t") != "0":
    fail("the rig is left keyed after the bulletin")
if ask(ours, "f") != "14085000" or "the rig reports 14085.000 kHz" not in log():
    fail(f"$FREQ=14085 was not set and reported back:\n{log()}")

# rigctld killed in the middle of a bulletin: ABORTED with the reason, the release retried and logged.
def ctl(*args):
    return subprocess.run([skedcast, "ctl", f"--control={work}/control", *args], capture_output=True, text=True)
ctl("add", "long.txt"), ctl("enable")
until("the long bulletin", lambda: "TXFile : Sending file <long.txt>." in log())
rigs[0].kill(), rigs[0].wait()
until("the abort", lambda: "ABORTED sending <long.txt>." in log(), 15)
until("the retried release", lambda: "the key is retried off every 5 seconds." in log(), 15)
if not re.search(r"Keying : rig control \(rigctld 127\.0\.0\.1:\d+\): does not answer", log()):
    fail(f"the log does not say the rig stopped answering:\n{log()}")
# The station runs on: a new rigctld takes the release, and the next bulletin goes out on it.
ours_two = start_rig(port) or fail("rigctld did not start again")
until("the release taken", lambda: "took the release: the key is off." in log(), 15)
if ctl("status").returncode != 0:
    fail("the station does not answer after the rig was lost")
ctl("add", "short.txt"), ctl("enable")
until("the next bulletin", lambda: log().count("Completed sending <short.txt>.") == 2, 60)
if ask(ours_two, "t") != "0":
    fail("the new rig is left keyed")
station.stdin.close()
station.terminate()
if station.wait(20) != 0 or open(f"{work}/err.txt").read().strip():
    fail(f"the station ended badly: {open(f'{work}/err.txt').read()}")
for rig in rigs:
    rig.kill()
shutil.rmtree(work)
print("PASS: keyed and released through rigctld, $FREQ read back, a lost rig aborted and released on its return")
