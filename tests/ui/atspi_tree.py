#!/usr/bin/python3
"""Reads the panel's accessible tree over AT-SPI, as a screen reader would,
finds its controls by name, role and state, and hears a latching panel and a
lamp announce their changes.

    atspi_tree.py PANEL_PROGRAM

Run inside a session bus and an X server (atspi_tree.sh sets both up). Exits
0 when every expected control is found, 1 when one is missing or wrong, 77
when the AT-SPI bindings are not installed.
"""
import os
import subprocess
import sys
import time

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as e:
    print("skipped: no AT-SPI bindings:", e)
    sys.exit(77)

APP = "kestra-a11y-panel"

# name -> (roles accepted, states that must be set, states that must not).
# Lamps carry "lit" or "dark" as their description: DESCRIPTIONS.
# A label may carry the name of the control it captions: any node with the
# name that fits counts.
EXPECTED = {
    "MIC 3 gain": ({"slider"}, {"enabled", "focusable"}, set()),
    "MIC 3 level": ({"progress bar"}, set(), set()),
    "MIC 3 gain in dB": ({"text", "entry"}, {"editable"}, set()),
    "MIC 3 mute": ({"toggle button", "push button"}, {"focusable", "enabled"}, {"checked"}),
    "MIC 3 priority": ({"toggle button", "push button"}, {"focusable"}, set()),
    "MIC 3 ducking lamp": (None, set(), {"focusable"}),
    "Line gain": ({"slider"}, set(), set()),
    "Sub ganged": ({"toggle button", "push button"}, {"focusable"}, set()),
    "Master right level": ({"progress bar"}, set(), set()),
    "Line source Tuner lamp": (None, set(), set()),
    "Threshold": ({"slider"}, set(), set()),
    "Hold time": ({"slider"}, set(), set()),
    "Switch-on as switched off": ({"toggle button", "push button"}, {"checked"}, set()),
    "Manual ducking": ({"toggle button", "push button"}, {"focusable"}, set()),
    "connect": ({"push button"}, set(), set()),
}
# The device starts on the Tuner with nobody speaking.
DESCRIPTIONS = {
    "Line source Tuner lamp": "lit",
    "MIC 3 ducking lamp": "dark",
}


def walk(node, depth=0, out=None):
    if out is None:
        out = []
    if node is None or depth > 40:
        return out
    out.append(node)
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i), depth + 1, out)
    return out


def states(node):
    s = node.get_state_set()
    return {Atspi.StateType(t).value_nick.replace("-", " ")
            for t in range(Atspi.StateType.LAST_DEFINED) if s.contains(Atspi.StateType(t))}


def check(found):
    failures = []
    for name, (roles, must, mustnot) in EXPECTED.items():
        nodes = found.get(name, [])
        if not nodes:
            failures.append("missing: %r" % name)
            continue
        fits = [n for n in nodes if roles is None or n[0] in roles]
        if not fits:
            failures.append("%r: roles %s, expected one of %s" % (name, [n[0] for n in nodes], sorted(roles)))
            continue
        role, st, description = fits[0]
        if name in DESCRIPTIONS and description != DESCRIPTIONS[name]:
            failures.append("%r: described %r, expected %r" % (name, description, DESCRIPTIONS[name]))
        if not must <= st:
            failures.append("%r (%s): lacks states %s (has %s)" % (name, role, sorted(must - st), sorted(st)))
        if mustnot & st:
            failures.append("%r (%s): has states %s" % (name, role, sorted(mustnot & st)))
    return failures


def node_named(app, name):
    for node in walk(app):
        try:
            if node.get_name() == name:
                return node
        except Exception:  # a node that went away while walking
            continue
    return None


def announced(app):
    """A screen reader is told of each change as it happens: a latching
    panel's checked state when it is toggled, a lamp's description when it
    goes between lit and dark. Returns the failures."""
    events = []
    listener = Atspi.EventListener.new(
        lambda e: events.append((e.type, e.source.get_name() if e.source else None, e.detail1)))
    kinds = ("object:state-changed:checked", "object:property-change:accessible-description")
    for kind in kinds:
        listener.register(kind)

    def wait_for(kind, name, seconds=10):
        def heard():
            return any(t == kind and n == name for t, n, _ in events)
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and not heard():
            GLib.MainContext.default().iteration(False)
        return heard()

    failures = []
    mute = node_named(app, "MIC 3 mute")
    cd = node_named(app, "CD")
    if mute is None or cd is None:
        return ["events: MIC 3 mute or the CD button not found"]
    # Toggled as a screen reader user would, through the accessible action.
    mute.get_action_iface().do_action(0)
    if not wait_for("object:state-changed:checked", "MIC 3 mute"):
        failures.append("no checked-state event from MIC 3 mute; heard %s" % events)
    # The CD lamp lights when the device reports the new source.
    cd.get_action_iface().do_action(0)
    if not wait_for("object:property-change:accessible-description", "Line source CD lamp"):
        failures.append("no description event from the CD lamp; heard %s" % events)
    for kind in kinds:
        listener.deregister(kind)
    return failures


def find_app(deadline):
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == APP:
                return app
        time.sleep(0.2)  # polling an external process; no event to wait on
    return None


def main():
    panel = sys.argv[1]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
               QT_QPA_PLATFORM="xcb")
    proc = subprocess.Popen([panel, "60"], env=env)
    try:
        Atspi.init()
        app = find_app(time.monotonic() + 20)
        if app is None:
            print("FAIL: the panel never appeared on the accessibility bus")
            return 1
        # The controls are enabled once the panel has connected to the device.
        deadline = time.monotonic() + 20
        failures = []
        found = {}
        while time.monotonic() < deadline:
            found = {}
            for node in walk(app):
                try:
                    name = node.get_name()
                    if name in EXPECTED:
                        found.setdefault(name, []).append(
                            (node.get_role_name(), states(node), node.get_description()))
                except Exception:  # a node that went away while walking
                    continue
            failures = check(found)
            if not failures:
                break
            time.sleep(0.2)
        for name, nodes in sorted(found.items()):
            print("%-28s %s" % (name, ", ".join("%s %s %s" % (r, sorted(st & {"checked", "enabled"}), d)
                                                 for r, st, d in nodes)))
        if not failures:
            failures = announced(app)
        for f in failures:
            print("FAIL:", f)
        print("%d of %d controls found by name over AT-SPI" % (len(found), len(EXPECTED)))
        return 1 if failures else 0
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()


if __name__ == "__main__":
    sys.exit(main())
