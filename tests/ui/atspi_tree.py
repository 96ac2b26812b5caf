#!/usr/bin/python3
"""Reads the panel's accessible tree over AT-SPI, as a screen reader would,
and finds its controls by name, role and state.

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
    from gi.repository import Atspi
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
