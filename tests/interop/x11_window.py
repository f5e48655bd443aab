#!/usr/bin/env python3
"""What the window test asks of the X server, through libX11 and xdotool:

  x11_window.py click WINDOW X Y   presses the button at X,Y of WINDOW (a click's press) and prints how many
                                   milliseconds pass (from the click, the
                                   xdotool start included) until the program maps a
                                   new window in answer (a menu, a box)
  x11_window.py close WINDOW       asks WINDOW to close, as a window manager
                                   does (WM_DELETE_WINDOW)
"""
import ctypes
import select
import subprocess
import sys
import time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]

CLIENT_MESSAGE, MAP_NOTIFY = 33, 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def click(display, window, x, y):
    root = x11.XDefaultRootWindow(display)
    rx, ry, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
    x11.XTranslateCoordinates(display, window, root, x, y, ctypes.byref(rx), ctypes.byref(ry), ctypes.byref(child))
    subprocess.run(["xdotool", "mousemove", str(rx.value), str(ry.value)], check=True)
    x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
    x11.XSync(display, 0)
    started = time.monotonic()
    subprocess.run(["xdotool", "mousedown", "1"], check=True)
    event = Event()
    deadline = started + 5.0
    while time.monotonic() < deadline:
        while x11.XPending(display):
            x11.XNextEvent(display, ctypes.byref(event))
            if event.type == MAP_NOTIFY:
                print(round((time.monotonic() - started) * 1000))
                subprocess.run(["xdotool", "mouseup", "1"], check=True)
                return 0
        select.select([x11.XConnectionNumber(display)], [], [], max(0.0, deadline - time.monotonic()))
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
    print("none")
    return 1


def close(display, window):
    event = Event()
    event.xclient.type = CLIENT_MESSAGE
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.l[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    return 0


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        print("cannot open the display", file=sys.stderr)
        return 2
    command, window = sys.argv[1], int(sys.argv[2])
    if command == "click":
        return click(display, window, int(sys.argv[3]), int(sys.argv[4]))
    if command == "close":
        return close(display, window)
    print("unknown command " + command, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
