#!/usr/bin/python3
"""Reads Vorlinq's front panel through the accessibility bus, as a screen
reader does, and presses one key through its accessible action.

Usage: read_panel.py START_TEXT_FILE AFTER_TEXT_FILE

Finds the running Vorlinq among the applications on the bus; waits until its
display's text equals START_TEXT_FILE; reads the ON lamp and the link-state
panel of the status bar; presses the ANT button through its "Press" action;
waits until the display's text equals AFTER_TEXT_FILE (the amplifier's screen
after the ANT key); presses TUNE and waits for the tune message. The reading
caret, put on the PWR row, keeps its row and column through both screen
changes, and no caret event says otherwise. Prints what it found, one line per step, and exits 0 when
every step held, 1 otherwise. Every wait is bounded.
"""

import sys
import time

import pyatspi
from gi.repository import GLib

WAIT_S = 30.0
PWR_CELL = (4, 2)  # on the output power meter's row, below the row the tune message takes
MAX_NODES = 2000


def log(*args):
    print(*args, flush=True)


def nodes(root):
    """Every accessible under root, breadth first, bounded in number."""
    queue = [root]
    seen = 0
    while queue and seen < MAX_NODES:
        node = queue.pop(0)
        seen += 1
        yield node
        try:
            queue.extend(node[i] for i in range(node.childCount))
        except Exception:  # a node that went away while we looked
            pass


def until(what, probe):
    """probe() until it returns something true or WAIT_S has passed."""
    deadline = time.monotonic() + WAIT_S
    while True:
        try:
            found = probe()
        except Exception:  # the tree is still being built
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            log("TIMEOUT waiting for", what)
            return None
        while GLib.MainContext.default().iteration(False):  # deliver the events that came meanwhile
            pass
        time.sleep(0.2)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop[i]
        if app is not None and (app.name or "").lower() == "vorlinq":
            return app
    return None


def find(app, match):
    for node in nodes(app):
        try:
            if match(node):
                return node
        except Exception:
            continue
    return None


def named(prefix, role=None):
    return lambda n: (n.name or "").startswith(prefix) and (role is None or n.getRole() == role)


def text_of(node):
    text = node.queryText()
    rows = text.getText(0, text.characterCount).split("\n")
    return "\n".join(row.rstrip() for row in rows)


def cell_of(node, offset):
    text = node.queryText()
    before = text.getText(0, offset)
    return before.count("\n"), len(before) - before.rfind("\n") - 1


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        start = f.read()
    with open(sys.argv[2], encoding="utf-8") as f:
        after = f.read()
    ok = True

    app = until("the application on the accessibility bus", application)
    if app is None:
        return 1
    log("application:", app.name)

    display = until("the display", lambda: find(app, named("Amplifier display")))
    if display is None:
        return 1
    shown = until("the start screen", lambda: text_of(display) == start and text_of(display))
    log("display name:", display.name)
    log("display text:\n" + (text_of(display)))
    if shown is None:
        log("FAIL the display's text is not the amplifier's start screen:\n" + start)
        ok = False

    lamp = until("the ON lamp", lambda: find(app, named("ON lamp")))
    log("lamp:", lamp.name if lamp else None)
    if lamp is None or lamp.name != "ON lamp, on":
        log("FAIL the ON lamp does not read as lit")
        ok = False

    panel = find(app, lambda n: n.getRole() == pyatspi.ROLE_STATUS_BAR)
    state = panel and find(panel, lambda n: n.name == "ON-LINE")
    log("status bar link state:", state.name if state else None)
    if not state:
        log("FAIL no status panel reads ON-LINE")
        ok = False

    ant = find(app, named("ANT", pyatspi.ROLE_PUSH_BUTTON))
    if ant is None:
        log("FAIL no button named ANT")
        return 1
    action = ant.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    log("ANT actions:", names, "description:", ant.description)
    if "Press" not in names:
        log("FAIL the ANT button has no Press action")
        return 1
    reading = display.queryText()
    reading.setCaretOffset(PWR_CELL[0] * 41 + PWR_CELL[1])  # rows of 40 and a line feed
    moves = []
    pyatspi.Registry.registerEventListener(
        lambda e: moves.append(e.detail1) if e.source == display else None, "object:text-caret-moved")
    action.doAction(names.index("Press"))
    pressed = until("the screen after ANT", lambda: text_of(display) == after)
    log("display text after ANT:\n" + text_of(display))
    if pressed is None:
        log("FAIL the display did not change to the amplifier's screen after ANT:\n" + after)
        ok = False
    tune = find(app, named("TUNE", pyatspi.ROLE_PUSH_BUTTON))
    tune.queryAction().doAction(0)
    if until("the tune message", lambda: "TUNE IN PROGRESS" in text_of(display)) is None:
        ok = False
    if cell_of(display, reading.caretOffset) != PWR_CELL or any(cell_of(display, o) != PWR_CELL for o in moves):
        log("FAIL the caret left its cell:", cell_of(display, reading.caretOffset), "caret events at:", moves)
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
