#!/usr/bin/env python3
"""The station as a service, steered and watched from outside: the real binary on the real clock with a
control socket, `skedcast ctl` against it, and a service manager's notify socket of our own. Every wait is
for something the station does, with a time-out; none is a fixed pause."""
import json, os, re, socket, subprocess, sys, tempfile, threading, time

skedcast = os.path.abspath(sys.argv[1])
work = tempfile.mkdtemp(prefix="skedcast-control.")
os.mkdir(f"{work}/data"), os.mkdir(f"{work}/log")
for name, text in {"header.txt": "ZCZC\n", "footer.txt": "NNNN\n",
                   "news.txt": "".join(f"NEWS LINE {n:02d} THE QUICK BROWN FOX\n" for n in range(12))}.items():
    open(f"{work}/data/{name}", "w").write(text)
open(f"{work}/data/schedule.lst", "w").write("")
control, notify_path = f"{work}/control", f"{work}/notify"
notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
notify.bind(notify_path)
notes = []  # every message the station sent to its service manager, read at once as a manager would
arrived = threading.Condition()

def read_notes():
    while True:
        note = notify.recv(4096).decode()
        with arrived:
            notes.append(note)
            arrived.notify_all()

threading.Thread(target=read_notes, daemon=True).start()

def fail(why):
    print(f"FAIL: {why}\n(station folder kept: {work})", file=sys.stderr)
    station.kill()
    sys.exit(1)

def ctl(*args, ok=True):
    run = subprocess.run([skedcast, "ctl", f"--control={control}", *args], capture_output=True, text=True, timeout=60)
    if ok is not None and (run.returncode == 0) != ok:
        fail(f"ctl {' '.join(args)}: status {run.returncode}, {run.stdout!r} {run.stderr!r}")
    return run

def until(what, test, seconds=60):
    """Waits for the notification that makes `test` true, woken by each one as it arrives."""
    with arrived:
        if not arrived.wait_for(test, timeout=seconds):
            fail(f"no {what} within {seconds} s")

class Client:
    """A raw connection speaking the protocol: one request line, JSON lines back."""
    def __init__(self):
        self.sock, self.buffer = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM), b""
        self.sock.connect(control)
    def send(self, data):
        self.sock.sendall(data)
    def line(self, seconds=30):
        self.sock.settimeout(seconds)
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                fail("the station closed a client's connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)
    def event(self, test, seconds=60):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            e = self.line(max(end - time.monotonic(), 0.01))
            if test(e):
                return e
        fail("the watched event did not come")

# No WATCHDOG_PID: the station would take its own pid for it; a manager sets it to the station's.
env = dict(os.environ, NOTIFY_SOCKET=notify_path, WATCHDOG_USEC="400000", TZ="UTC", LC_ALL="C")
station = subprocess.Popen([skedcast, "--headless", f"--control={control}", "--serial=emulated:trace.tsv",
                            "--audio=null", "QZ0XB", "2", "RTS"], cwd=work, env=env,
                           stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=open(f"{work}/err.txt", "w"))
until("READY=1", lambda: any("READY=1" in n for n in notes))
if oct(os.stat(control).st_mode & 0o777) != "0o660":
    fail(f"the control socket has mode {oct(os.stat(control).st_mode & 0o777)}")

# Idle: the status for a person and as JSON, and a refusal.
if "Auto Send DISABLED" not in ctl("status").stdout:
    fail("status while idle does not show the fields")
idle = json.loads(ctl("--json", "status").stdout)
if not idle["ok"] or idle["fields"]["autosend"] != "DISABLED":
    fail(f"status as JSON: {idle}")
if "unknown command" not in ctl("frobnicate", ok=False).stderr:
    fail("a refused command does not say why")
if ctl("--control=" + work + "/nobody", "status", ok=None).returncode != 3:
    fail("ctl without a station does not end with status 3")

# Two clients at once: one watches, one never reads a byte; a third sends a 1 MB line.
watcher, stuck, big = Client(), Client(), Client()
watcher.send(b"watch\n")
if not watcher.line().get("watching"):
    fail("watch was not acknowledged")
stuck.send(b"watch\n")
big.send(b"x" * (1 << 20) + b"\nstatus\n")
refusal, after = big.line(), big.line()
if refusal["ok"] or "longer than" not in refusal["error"] or not after["ok"]:
    fail(f"1 MB request line: {refusal} then {after}")

ctl("mode", "ascii"), ctl("baud", "300"), ctl("add", "news.txt"), ctl("enable"), ctl("send")
watcher.event(lambda e: e.get("field") == "transmit" and "ON" in e["text"])
watcher.event(lambda e: e.get("event") == "line" and e["text"].startswith("NEWS LINE 01"))
stuck.send(b"help\n" * 1000)  # far more replies than its socket holds, never read: it is dropped
sending = ctl("status").stdout
if not re.search(r"Transmit\s+ON", sending):
    fail(f"status while sending: {sending}")
until("a STATUS= while sending", lambda: any(re.search(r"STATUS=Sending news.txt, \d+ %, 0:\d\d left", n) for n in notes))
pings_before = sum("WATCHDOG=1" in n for n in notes)
watcher.event(lambda e: e.get("event") == "line" and e["text"].startswith("NEWS LINE 08"))
until("watchdog pings while sending", lambda: sum("WATCHDOG=1" in n for n in notes) >= pings_before + 3)
ctl("cancel")
# The key up, and the log's verdict: both reach the watcher, in whichever order the station makes them.
seen = set()
watcher.event(lambda e: seen.add("off" if e.get("field") == "transmit" and "OFF" in e["text"] else
                                 "log" if e.get("event") == "log" and e["text"] == "ABORTED sending <news.txt>." else
                                 "") or {"off", "log"} <= seen)
if "key=OFF" not in [t.split("\t")[3] for t in open(f"{work}/trace.tsv") if "\tmcr\t" in t][-1]:
    fail("the cancel left the key down")
ctl("reload")
until("the idle STATUS= after the cancel", lambda: "Idle" in [n for n in notes if "STATUS=" in n][-1])
ctl("quit")
if station.wait(timeout=60) != 0:
    fail(f"the station ended with status {station.returncode}")
if os.path.exists(control):
    fail("the control socket outlived the station")

# The line: the key dropped after the cancel, and every frame of the bulletin back to back while a
# client sat on its unread replies (300 baud, 11 bits: 36.67 ms, ±1 ms of the trace's resolution).
trace = [l.split("\t") for l in open(f"{work}/trace.tsv")]
frames = [(time.mktime(time.strptime(t[0][:19], "%Y-%m-%d %H:%M:%S")) + float(t[0][19:])) for t in trace
          if t[2] == "frame"]
gaps = [b - a for a, b in zip(frames, frames[1:])]
if len(frames) < 100 or any(abs(g - 11 / 300) > 0.0011 for g in gaps):
    fail(f"{len(frames)} frames, gaps from {min(gaps):.4f} to {max(gaps):.4f} s")
if "key=OFF" not in [t[3] for t in trace if t[2] == "mcr"][-1]:
    fail("the key was left down")
if not any("a client was dropped, it does not read" in open(f"{work}/log/{n}").read() for n in os.listdir(f"{work}/log")):
    fail("the client that never read was not dropped")
print(f"control socket: {len(frames)} frames back to back, {len(notes)} notifications")
