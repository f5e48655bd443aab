#!/usr/bin/env python3
"""The web page in a real browser (Debian's chromium, headless, driven by selenium) against the real station
on the real clock: a wrong password and a login, a bulletin uploaded and sent with the running text and progress
moving, CANCEL dropping the key, and screenshots of the page at desktop and phone sizes."""
import os, re, subprocess, sys, tempfile, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

skedcast, shots = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
work = tempfile.mkdtemp(prefix="skedcast-browser.")
os.mkdir(f"{work}/data"), os.mkdir(f"{work}/log")
for name, text in {"header.txt": "ZCZC\n", "footer.txt": "NNNN\n", "schedule.lst": "",
                   "wx.txt": "WX\n", "news.txt": "".join(f"NEWS LINE {n:02d} THE QUICK BROWN FOX\n" for n in range(20))}.items():
    open(f"{work}/data/{name}", "w").write(text)
open(f"{work}/upload.txt", "w").write("".join(f"UPLOADED LINE {n} DE QZ0XB\n" for n in range(3)))
password = "correct horse battery"
subprocess.run([skedcast, "passwd", f"{work}/hash"], input=password, text=True, check=True, capture_output=True)
station = subprocess.Popen([skedcast, "--headless", "--http=127.0.0.1:0", f"--http-password-file={work}/hash",
                            "--serial=emulated:trace.tsv", "--audio=null", "QZ0XB", "2", "RTS"], cwd=work,
                           env=dict(os.environ, TZ="UTC", LC_ALL="C"), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
url = next(m.group(0) for line in station.stdout if (m := re.search(r"http://127\.0\.0\.1:\d+/", line)))
subprocess.Popen(["cat"], stdin=station.stdout, stdout=subprocess.DEVNULL)  # the fields it prints, drained

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000", "--lang=en"]:
    options.add_argument(argument)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

def fail(why):
    print(f"FAIL: {why}\n(station folder kept: {work})", file=sys.stderr)
    browser.save_screenshot(f"{work}/failure.png")
    browser.quit(), station.kill()
    sys.exit(1)

def text(id):
    return browser.find_element(By.ID, id).text

def until(what, test, seconds=60):
    try:
        return WebDriverWait(browser, seconds, poll_frequency=0.1).until(lambda _: test())
    except Exception:
        fail(f"no {what} within {seconds} s")

def type_into(id, words):
    field = browser.find_element(By.ID, id)
    field.clear(), field.send_keys(words)

def press(selector):
    browser.find_element(By.CSS_SELECTOR, selector).click()

def run(command):
    type_into("command", command), press("#commandForm button")
    until(f"reply to {command}", lambda: text("reply") and not text("reply").startswith("refused"))
    browser.execute_script("document.getElementById('reply').textContent = ''")

browser.get(url)
type_into("password", "guess"), press("#loginForm button")
until("refusal of a wrong password", lambda: "wrong password" in text("loginError"))
if browser.find_element(By.ID, "station").is_displayed():
    fail("the station showed after a wrong password")
type_into("password", password), press("#loginForm button")
until("the live page", lambda: text("link") == "live" and text("clock"))

# The schedule under the editor's rules: a refusal with its reason, then an entry saved and in the station's queue.
type_into("entryName", "wx.txt"), type_into("entryDate", "13/45/2026"), type_into("entryTime", "10:00:00")
press("[data-schedule=insert]")
until("the editor's refusal", lambda: "do not read as MM/DD/YYYY HH:MM:SS" in text("scheduleError"))
later = time.gmtime(time.time() + 7200)
type_into("entryDate", time.strftime("%m/%d/%Y", later)), type_into("entryTime", time.strftime("%H:%M:%S", later))
press("[data-schedule=insert]")
until("the new line", lambda: "wx.txt" in text("schedule"))
press("[data-schedule=save]")
until("the schedule saved", lambda: "saved" in text("scheduleError"))
until("the entry in the queue", lambda: time.strftime("%H:%M:%S wx.txt", later) in text("queue"))
if time.strftime("%m/%d/%Y %H:%M:%S wx.txt", later) not in " ".join(open(f"{work}/data/schedule.lst").read().split()):
    fail("data/schedule.lst lacks the entry saved")

# A bulletin from the browser's disk into data/, then sent at 300 baud.
browser.find_element(By.ID, "fileUpload").send_keys(f"{work}/upload.txt")
until("the file read", lambda: browser.find_element(By.ID, "fileName").get_attribute("value") == "upload.txt")
press("#fileForm button[type=submit]")
until("the upload saved", lambda: "saved in data/upload.txt" in text("fileStatus"))
if open(f"{work}/data/upload.txt").read() != open(f"{work}/upload.txt").read():
    fail("data/upload.txt is not the file uploaded")
for command in ["mode ascii", "baud 300"]:
    run(command)
type_into("addWhat", "upload.txt"), press("#addForm button")
until("the queue entry", lambda: "upload.txt" in text("queue"))
press("[data-command=enable]"), press("[data-command=send]")
until("the uploaded bulletin on the air", lambda: "UPLOADED LINE 2" in text("lines"), 90)
until("its completion in the log", lambda: "Completed sending <upload.txt>." in text("log"), 60)

# A long one: the running text and the progress move; CANCEL drops the key.
type_into("addWhat", "news.txt"), press("#addForm button"), press("[data-command=enable]"), press("[data-command=send]")
until("the transmitter on", lambda: "ON" in text("f-transmit"), 90)
first = until("a progress", lambda: re.search(r"news\.txt, \d+ %", text("f-progress")) and text("f-progress"))
running = text("running") + text("current")
until("the progress moving", lambda: text("f-progress") != first and re.search(r"\d+ %", text("f-progress")))
until("the running text moving", lambda: text("running") + text("current") != running)
until("a few lines sent", lambda: "NEWS LINE 03" in text("lines"), 60)
browser.save_screenshot(f"{shots}/web-desktop.png")
browser.set_window_size(390, 1400)
until("the phone layout", lambda: browser.execute_script("return window.innerWidth") <= 400)
browser.save_screenshot(f"{shots}/web-phone.png")
browser.set_window_size(1280, 1000)
press("[data-command=cancel]")
until("the transmitter off", lambda: "OFF" in text("f-transmit"))
until("the ABORTED in the log", lambda: "ABORTED sending <news.txt>." in text("log"))
type_into("command", "quit"), press("#commandForm button")
if station.wait(timeout=60) != 0:
    fail(f"the station ended with status {station.returncode}")
browser.quit()

# The line: the uploaded bulletin whole, the key dropped at the cancel and never raised again.
trace = [l.rstrip("\n").split("\t") for l in open(f"{work}/trace.tsv")]
sent = "".join(chr(int(t[3].split()[0], 16) & 0x7F) for t in trace if t[2] == "frame")
if "UPLOADED LINE 2 DE QZ0XB" not in sent or "NEWS LINE 19" in sent:
    fail(f"what went out: {sent[:400]!r}")
if "key=OFF" not in [t[3] for t in trace if t[2] == "mcr"][-1]:
    fail("the key was left down")
print(f"browser: {len(sent)} characters sent, screenshots in {shots}")
