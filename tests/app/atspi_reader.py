#!/usr/bin/python3
"""Reads a running program's accessible tree as a screen reader does, over
AT-SPI, and toggles check boxes by their accessible names.

Usage: atspi_reader.py PID [NAME_TO_TOGGLE ...]
Prints one line per object: depth, role, name, description and the checked
state, tab-separated; then "toggled" and the name for each toggle."""
import sys
import time

import pyatspi


def program(pid):
    # The program may take a moment to appear on the bus.
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.1)
    raise SystemExit("no accessible application with pid %d" % pid)


def walk(acc, depth, found):
    try:
        role, name, desc = acc.getRoleName(), acc.name, acc.description
        checked = acc.getState().contains(pyatspi.STATE_CHECKED)
    except Exception:
        return
    print("%d\t%s\t%s\t%s\t%s" % (depth, role, name.replace("\n", "\\n"), desc, "checked" if checked else "-"))
    found.setdefault(name, acc)
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, found)


def main():
    app = program(int(sys.argv[1]))
    found = {}
    walk(app, 0, found)
    for name in sys.argv[2:]:
        action = found[name].queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Toggle"))
        print("toggled\t" + name)
    sys.stdout.flush()


main()
