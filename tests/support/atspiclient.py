#!/usr/bin/python3
"""A screen reader's view of one program over the AT-SPI bus, for the tests.

Started with the program's process id; reads commands on its input, one a line, and answers each
with one JSON line on its output:
  walk                 every focusable object (not a list's cells) of every window without a name:
                       {"windows": {"<window name>": [[role, x, y, w, h], ...]}}
  press <name>         does the first action of the push button so named: {"done": true|false}
  name <role> <name>   whether an object of that role ("*": any; "_" for a space) and name is
                       there: {"found": true|false}
Events a reader speaks without a change of focus come unasked, as they happen:
  {"event": "showing", "role": ..., "name": ..., "description": ...}   (a notification shown)
It says {"ready": true} once it listens, and ends when its input closes.
"""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

PID = int(sys.argv[1])


def say(value):
    sys.stdout.write(json.dumps(value, ensure_ascii=False) + "\n")
    sys.stdout.flush()


def program():
    """The program's application object; it joins the registry a moment after it starts."""
    deadline = time.monotonic() + 10
    while True:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            try:
                if app is not None and app.get_process_id() == PID and app.childCount > 0:
                    return app
            except GLib.GError:
                continue
        if time.monotonic() > deadline:
            return None
        time.sleep(0.1)


def unnamed_control(node, origin):
    """[role, x, y, w, h] of a focusable object without a name, or None."""
    try:
        # A list's cells hold content (an empty one is read as blank), not controls to name.
        if not node.getState().contains(pyatspi.STATE_FOCUSABLE) or (node.name or "").strip() \
                or node.getRole() == pyatspi.ROLE_TABLE_CELL:
            return None
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    except Exception:  # an object gone while walked
        return None
    return [node.getRoleName(), extents.x - origin[0], extents.y - origin[1], extents.width, extents.height]


def each_object(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            continue
        yield from each_object(child, depth + 1)


def walk():
    app = program()
    if app is None:
        say({"error": "process %d is not on the accessibility bus" % PID})
        return
    windows = {}
    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        corner = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        found = [unnamed_control(node, (corner.x, corner.y)) for node in each_object(window)]
        windows[window.name or "(unnamed window %d)" % index] = [control for control in found if control]
    say({"windows": windows})


def find(role, name):
    app = program()
    if app is None:
        return None
    for node in each_object(app):
        try:
            if role in ("*", node.getRoleName()) and node.name == name:
                return node
        except Exception:
            continue
    return None


def press(name):
    button = find("push button", name)
    done = False
    if button is not None:
        action = button.queryAction()
        done = action.nActions > 0 and action.doAction(0)
    say({"done": bool(done)})


def on_showing(event):
    try:
        if event.detail1 != 1 or event.source.getRole() != pyatspi.ROLE_NOTIFICATION:
            return
        if event.source.get_process_id() != PID:
            return
        say({"event": "showing", "role": event.source.getRoleName(), "name": event.source.name,
             "description": event.source.description})
    except Exception:
        return


def on_input(channel, condition):
    line = channel.readline()
    if not line:
        pyatspi.Registry.stop()
        return False
    words = line.strip().split(" ", 2)
    try:
        if words[0] == "walk":
            walk()
        elif words[0] == "press":
            press(" ".join(words[1:]))
        elif words[0] == "name":
            roles = [node.getRoleName() for node in each_object(program()) if node.name == words[2]]
            say({"found": words[1].replace("_", " ") in roles + (["*"] if roles else []), "roles": roles})
        else:
            say({"error": "unknown command " + words[0]})
    except Exception as error:  # the test reads the failure, the client keeps listening
        say({"error": str(error)})
    return True


def main():
    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    # As a reader does: names that change are sent, and what this side keeps of them stays true.
    pyatspi.Registry.registerEventListener(lambda event: None, "object:property-change:accessible-name")
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, on_input)
    GLib.idle_add(lambda: say({"ready": True}) and False)
    pyatspi.Registry.start()


main()
