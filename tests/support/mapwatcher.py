#!/usr/bin/python3
# Prints a line for every top-level window mapped on the display ($DISPLAY), as soon as the
# server tells: "<CLOCK_REALTIME seconds> <window id> <override-redirect 0|1> <WM_CLASS> <title>".
# "ready" comes first, once the watch is in place. Ends when its standard input closes or on a
# signal.
import os
import sys
import threading
import time

from Xlib import X, display


def describe(connection, window):
    try:
        window = connection.create_resource_object("window", window.id)
        wm_class = window.get_wm_class() or ("", "")
        return "%s %s" % (wm_class[-1] or "-", window.get_wm_name() or "")
    except Exception:  # the window went away meanwhile
        return "- "


def main():
    events = display.Display()
    names = display.Display()  # round trips for names never delay the next event
    events.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    events.sync()
    print("ready", flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        event = events.next_event()
        if event.type != X.MapNotify:
            continue
        stamp = time.time()
        print("%.6f 0x%x %d %s" % (stamp, event.window.id, event.override, describe(names, event.window)),
              flush=True)


if __name__ == "__main__":
    main()
