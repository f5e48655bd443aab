#!/usr/bin/env python3
"""The web page against the real station on the real clock, sending a bulletin at 300 baud while clients
misbehave: each refusal must be answered, logged with the client's address, and the bulletin's frames must stay
back to back. Every wait is for something the station does, with a time-out."""
import http.client, json, os, re, socket, ssl, subprocess, sys, tempfile, threading, time

skedcast = os.path.abspath(sys.argv[1])
work = tempfile.mkdtemp(prefix="skedcast-web.")
os.mkdir(f"{work}/data"), os.mkdir(f"{work}/log")
for name, text in {"header.txt": "ZCZC\n", "footer.txt": "NNNN\n", "schedule.lst": "",
                   "news.txt": "".join(f"NEWS LINE {n:02d} THE QUICK BROWN FOX\n" for n in range(14))}.items():
    open(f"{work}/data/{name}", "w").write(text)
env = dict(os.environ, TZ="UTC", LC_ALL="C")
station = None

def fail(why):
    print(f"FAIL: {why}\n(station folder kept: {work})", file=sys.stderr)
    if station:
        station.kill()
    sys.exit(1)

# Refused before anything opens: a page reachable from other machines without a password.
for address in ["0.0.0.0:0", "192.0.2.7:8080", "[::]:0"]:
    run = subprocess.run([skedcast, "--headless", f"--http={address}", "QZ0XB"], cwd=work, env=env,
                         capture_output=True, text=True, timeout=30)
    if run.returncode != 2 or "--http-password-file" not in run.stderr:
        fail(f"--http={address} without a password: status {run.returncode}, {run.stderr!r}")

# The same from the kept settings' [web] section.
open(f"{work}/skedcast.conf", "w").write("[web]\naddress = 0.0.0.0:0\n")
run = subprocess.run([skedcast, "--headless", "--serial=emulated", "--audio=null", "QZ0XB"], cwd=work, env=env,
                     capture_output=True, text=True, timeout=30)
if run.returncode != 2 or "skedcast.conf [web]" not in run.stderr or "--http-password-file" not in run.stderr:
    fail(f"[web] address = 0.0.0.0:0 without a password: status {run.returncode}, {run.stderr!r}")
os.remove(f"{work}/skedcast.conf")

password = "correct horse battery"
subprocess.run([skedcast, "passwd", f"{work}/hash"], input=password + "\n", text=True, check=True,
               capture_output=True, timeout=30)
if oct(os.stat(f"{work}/hash").st_mode & 0o777) != "0o600" or not open(f"{work}/hash").read().startswith("$argon2id"):
    fail("skedcast passwd did not write an Argon2id hash, mode 0600")

station = subprocess.Popen([skedcast, "--headless", "--http=127.0.0.1:0", f"--http-password-file={work}/hash",
                            "--serial=emulated:trace.tsv", "--audio=null", "QZ0XB", "2", "RTS"], cwd=work, env=env,
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=open(f"{work}/err.txt", "w"), text=True)
port = None
for line in station.stdout:
    if m := re.search(r"web page at http://127\.0\.0\.1:(\d+)/", line):
        port = int(m.group(1))
        break
if not port:
    fail("the station did not say where its page is")
threading.Thread(target=lambda: [None for _ in station.stdout], daemon=True).start()

def request(method, path, body=None, cookie=None, csrf=None, headers=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    h = dict(headers or {})
    if cookie:
        h["Cookie"] = cookie
    if csrf:
        h["X-CSRF-Token"] = csrf
    c.request(method, path, body=body, headers=h)
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, r.getheader("Set-Cookie") or "", data

def refused(status, what, *args, **kwargs):
    got, _, body = request(*args, **kwargs)
    if got != status:
        fail(f"{what}: status {got} ({body[:200]!r}), wanted {status}")

def log_text():
    return "".join(open(f"{work}/log/{f}").read() for f in sorted(os.listdir(f"{work}/log")))

# No cookie, then a wrong and a right password.
refused(403, "a command without a session", "POST", "/api/command", "enable")
refused(403, "events without a session", "GET", "/api/events")
refused(403, "a wrong password", "POST", "/api/login", "guess")
status, cookie_line, body = request("POST", "/api/login", password)
if status != 200 or "HttpOnly" not in cookie_line or "SameSite=Strict" not in cookie_line:
    fail(f"login: {status} {cookie_line!r}")
cookie, csrf = cookie_line.split(";")[0], json.loads(body)["csrf"]
refused(403, "a wrong CSRF token", "POST", "/api/command", "enable", cookie, "0" * 64)
refused(403, "no CSRF token", "POST", "/api/command", "enable", cookie)

# The page's event stream, read as it comes.
events, arrived, ticks = [], threading.Condition(), []  # ticks: when each new clock text arrived
def stream():
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(f"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: {cookie}\r\n\r\n".encode())
    buffer = b""
    while chunk := s.recv(65536):
        buffer += chunk
        for m in re.finditer(rb"data: (\{.*?\})\r?\n", buffer):
            with arrived:
                events.append(json.loads(m.group(1)))
                if events[-1].get("name") == "clock":
                    ticks.append(time.monotonic())
                arrived.notify_all()
        buffer = buffer[buffer.rfind(b"\n") + 1:]
threading.Thread(target=stream, daemon=True).start()

def until(what, test, seconds=60):
    with arrived:
        if not arrived.wait_for(lambda: any(test(e) for e in events), timeout=seconds):
            fail(f"no {what} within {seconds} s on the page's stream")

def command(line):
    status, _, body = request("POST", "/api/command", line, cookie, csrf)
    reply = json.loads(body)
    if status != 200 or not reply["ok"]:
        fail(f"command {line!r}: {status} {reply}")
    return reply

until("clock", lambda e: e.get("name") == "clock")
for line in ["mode ascii", "baud 300", "add news.txt", "enable", "send"]:
    command(line)
until("transmitter on", lambda e: e.get("name") == "transmit" and "ON" in e["text"])
until("running line", lambda e: e.get("t") == "line" and e["text"].startswith("NEWS LINE 01"))
until("progress", lambda e: e.get("name") == "progress" and re.search(r"news\.txt, \d+ %, 0:\d\d left", e["text"]))

# While it sends: uploads out of data/ or too big, many connections, a slow client, guessing passwords.
refused(400, "an upload named ../", "PUT", "/api/file?name=../escape.txt", "x", cookie, csrf)
refused(400, "an upload with an absolute name", "PUT", "/api/file?name=/tmp/escape.txt", "x", cookie, csrf)
big = socket.create_connection(("127.0.0.1", port))
big.sendall(f"PUT /api/file?name=big.txt HTTP/1.1\r\nHost: x\r\nCookie: {cookie}\r\nX-CSRF-Token: {csrf}\r\n"
            f"Content-Length: {100 << 20}\r\n\r\n".encode() + b"A" * 65536)
if b" 413 " not in big.recv(4096).split(b"\r\n")[0] + b" ":
    fail("a 100 MB upload was not refused with 413")
many, cut = [], 0
for _ in range(200):
    many.append(socket.create_connection(("127.0.0.1", port)))
for s in many:
    s.settimeout(10)
    s.sendall(b"GET /api/session HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
for s in many:
    try:
        cut += not s.recv(100).startswith(b"HTTP/1.1 200")
    except (ConnectionResetError, socket.timeout):
        cut += 1
    s.close()
if cut == 0 or cut == 200:
    fail(f"of 200 connections at once, {cut} were refused")
slow = socket.create_connection(("127.0.0.1", port))
slow.settimeout(1)
started, closed = time.monotonic(), False
for byte in b"GET /api/session HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + b"p" * 100:
    try:
        slow.send(bytes([byte]))
        closed = slow.recv(1) == b""
    except socket.timeout:
        continue
    except (BrokenPipeError, ConnectionResetError):
        closed = True
    if closed or time.monotonic() - started > 30:
        break
if not closed or time.monotonic() - started > 20:
    fail(f"a client sending a byte a second was not cut off ({time.monotonic() - started:.0f} s)")
for _ in range(6):
    request("POST", "/api/login", "guess")
refused(429, "the seventh guess in a row", "POST", "/api/login", "guess")
if request("GET", "/api/session")[0] != 200:
    fail("the page stopped answering")

until("later line", lambda e: e.get("t") == "line" and e["text"].startswith("NEWS LINE 10"), 120)
command("cancel")
until("transmitter off", lambda e: e.get("name") == "transmit" and "OFF" in e["text"])
until("the log's ABORTED", lambda e: e.get("t") == "log" and e["text"] == "ABORTED sending <news.txt>.")
# The clock's second reached the page within a second each time, abusive clients or not.
late = max(b - a for a, b in zip(ticks, ticks[1:]))
if len(ticks) < 10 or late > 1.5:
    fail(f"{len(ticks)} clock events, the longest gap {late:.2f} s")
log = log_text()
for refusal in ["refused POST /api/command from 127.0.0.1: not logged in", "from 127.0.0.1: wrong password",
                "from 127.0.0.1: the CSRF token is missing or wrong", "/api/file from 127.0.0.1: the name holds a folder",
                "from 127.0.0.1: the body is larger than", "connections are open", "cut off 127.0.0.1",
                "from 127.0.0.1: too many login attempts"]:
    if refusal not in log:
        fail(f"the log lacks {refusal!r}")
command("quit")
if station.wait(timeout=60) != 0:
    fail(f"the station ended with status {station.returncode}")
if os.path.exists(f"{work}/escape.txt") or os.path.exists("/tmp/escape.txt") or os.path.exists(f"{work}/data/big.txt"):
    fail("a refused upload was written")

# Every frame of the bulletin back to back through all of it (300 baud, 11 bits: 36.67 ms ±1 ms), key up at the end.
trace = [l.split("\t") for l in open(f"{work}/trace.tsv")]
frames = [(time.mktime(time.strptime(t[0][:19], "%Y-%m-%d %H:%M:%S")) + float(t[0][19:])) for t in trace
          if t[2] == "frame"]
gaps = [b - a for a, b in zip(frames, frames[1:])]
if len(frames) < 300 or any(abs(g - 11 / 300) > 0.0011 for g in gaps):
    fail(f"{len(frames)} frames, gaps from {min(gaps):.4f} to {max(gaps):.4f} s")
if "key=OFF" not in [t[3] for t in trace if t[2] == "mcr"][-1]:
    fail("the key was left down")
# HTTPS with a certificate of the test's own: the page's session cookie is then Secure, and a quit ends it.
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{work}/key.pem", "-out",
                f"{work}/cert.pem", "-days", "2", "-subj", "/CN=localhost"], check=True, capture_output=True, timeout=60)
station = subprocess.Popen([skedcast, "--headless", "--http=0", f"--http-cert={work}/cert.pem",
                            f"--http-key={work}/key.pem", "--serial=emulated", "--audio=null", "QZ0XB"], cwd=work,
                           env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
port = next(int(m.group(1)) for line in station.stdout if (m := re.search(r"at https://127\.0\.0\.1:(\d+)/", line)))
tls = ssl.create_default_context(cafile=f"{work}/cert.pem")
tls.check_hostname = False
def secure(method, path, body=None, headers={}):
    c = http.client.HTTPSConnection("127.0.0.1", port, context=tls, timeout=30)
    c.request(method, path, body=body, headers=dict({"Host": "localhost"}, **headers))
    r = c.getresponse()
    return r.status, r.getheader("Set-Cookie") or "", r.read()
status, cookie_line, body = secure("GET", "/api/session")
if status != 200 or "; Secure" not in cookie_line:
    fail(f"over HTTPS: {status} {cookie_line!r}")
# Without a password only this machine's names are answered: not one a web site points at 127.0.0.1.
if secure("GET", "/api/session", headers={"Host": "rebound.example:80"})[0] != 403:
    fail("a page without a password answered a foreign Host")
secure("POST", "/api/command", "quit", {"Cookie": cookie_line.split(";")[0], "X-CSRF-Token": json.loads(body)["csrf"]})
if station.wait(timeout=60) != 0:
    fail(f"the HTTPS station ended with status {station.returncode}")
print(f"web page: {len(frames)} frames back to back, {cut} of 200 connections refused, {len(events)} events, "
      f"clock events at most {late:.2f} s apart")
