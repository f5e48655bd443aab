#!/usr/bin/env python3
"""What the window tests ask of the X server (no window manager runs):
  click WINDOW X Y: presses the mouse at X,Y and prints the ms until a window is mapped in answer (5 s at most)
  close WINDOW: asks WINDOW to close as a window manager does (WM_DELETE_WINDOW)
"""
import ctypes
import signal
import subprocess
import sys
import time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = x11.XInternAtom.restype = ctypes.c_ulong
CLIENT_MESSAGE, MAP_NOTIFY, SUBSTRUCTURE_NOTIFY_MASK = 33, 19, 1 << 19


class Event(ctypes.Structure):  # an XEvent, laid out as its XClientMessageEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


display = ctypes.c_void_p(x11.XOpenDisplay(None))
if not display.value:
    sys.exit("cannot open the display")
command, window, event = sys.argv[1], ctypes.c_ulong(int(sys.argv[2])), Event()
if command == "click":
    subprocess.run(["xdotool", "mousemove", "--window", sys.argv[2], sys.argv[3], sys.argv[4]], check=True)
    root = ctypes.c_ulong(x11.XDefaultRootWindow(display))
    x11.XSelectInput(display, root, ctypes.c_long(SUBSTRUCTURE_NOTIFY_MASK))
    x11.XSync(display, 0)
    started = time.monotonic()
    subprocess.run(["xdotool", "mousedown", "1"], check=True)
    signal.alarm(5)  # no window mapped in answer: ended by the alarm, no time printed
    while x11.XNextEvent(display, ctypes.byref(event)) == 0 and event.type != MAP_NOTIFY:
        pass
    print(round((time.monotonic() - started) * 1000))
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
elif command == "close":
    event.type, event.window, event.format = CLIENT_MESSAGE, window, 32
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.l[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, ctypes.c_long(0), ctypes.byref(event))
    x11.XFlush(display)
else:
    sys.exit("unknown command " + command)
