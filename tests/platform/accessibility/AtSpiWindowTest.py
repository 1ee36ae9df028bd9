#!/usr/bin/python3
"""dunvel-watch's window as a screen reader meets it: on a private Xvfb display, under a private
D-Bus session whose accessibility bus (Debian's at-spi2-core) the companion's ATK bridge joins,
read and driven with Debian's python3-pyatspi, a client nobody here wrote. The tree it reads is
compared with what dunvel-preview a11y --json says of the same snapshot. Every wait is bounded.

    AtSpiWindowTest.py [unittest arguments]      (DUNVEL_WATCH, DUNVEL_HOST, DUNVEL_PREVIEW)

It runs itself again under dbus-run-session, without DISPLAY and with a runtime folder of its
own: nothing here reaches the accessibility bus of a desktop it runs on, nor that of another
test's session (whose bus launcher would otherwise share ~/.cache/at-spi with it).
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings

if os.environ.get("DUNVEL_ATSPI_SESSION") != "1":
    runtime = tempfile.mkdtemp()
    session = {name: value for name, value in os.environ.items()
               if name not in ("DISPLAY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS",
                               "DBUS_SESSION_BUS_ADDRESS")}
    session.update(DUNVEL_ATSPI_SESSION="1", XDG_RUNTIME_DIR=runtime)
    try:
        ran = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=session,
                             timeout=600)
    finally:
        shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(ran.returncode)

WATCH = os.environ.get("DUNVEL_WATCH", "build/test/tools/watch/dunvel-watch")
HOST = os.environ.get("DUNVEL_HOST", "build/test/tools/host/dunvel-host")
PREVIEW = os.environ.get("DUNVEL_PREVIEW", "build/test/tools/preview/dunvel-preview")
SCALE = 2.0

# A clock or the time: the window reads its own clock, the preview the time it is given, so
# such labels are compared by their form.
CLOCK = re.compile(r"^\d+:\d\d$")

TEAMS = [{"id": "t1", "name": "الصقور", "points": 40}, {"id": "t2", "name": "النمور", "points": 35},
         {"id": "t3", "name": "النجوم", "points": 20}]
REVEAL = "اعرض الإجابة"


def eventually(check, within=15.0, every=0.1):
    """A window on a private display answers more slowly than a socket: a longer bound."""
    return shared_eventually(check, within, every)


def companion_env(display, **changes):
    env = dict(os.environ)
    env["DISPLAY"] = display
    env.pop("WAYLAND_DISPLAY", None)
    env.update(changes)
    # A sanitizer build lists the suppressions it used on standard error, which is no output
    # of the companion's.
    if "LSAN_OPTIONS" in env:
        env["LSAN_OPTIONS"] += ":print_suppressions=0"
    return {name: value for name, value in env.items() if value is not None}


def preview_elements(snapshot):
    """What dunvel-preview a11y --json reads on the snapshot's screen."""
    printed = subprocess.run([PREVIEW, "a11y", snapshot, "--json"], capture_output=True,
                             timeout=60)
    if printed.returncode != 0:
        raise AssertionError("dunvel-preview a11y: " + printed.stderr.decode())
    return json.loads(printed.stdout)


def window_geometry(display):
    """The companion's window on the display, in pixels, as the X server has it."""
    shown = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Dunvel$",
                            "getwindowgeometry", "--shell"], capture_output=True, timeout=30,
                           env=companion_env(display))
    fields = dict(line.split("=", 1) for line in shown.stdout.decode().split())
    return tuple(int(fields[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


# pyatspi 2.46 calls functions of libatspi that libatspi's own bindings call deprecated: a
# warning on every call, about pyatspi rather than about what is tested.
warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
import pyatspi  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from child_processes import Process, Xvfb  # noqa: E402
from child_processes import eventually as shared_eventually  # noqa: E402

ROLES = {pyatspi.ROLE_PUSH_BUTTON: "button", pyatspi.ROLE_LABEL: "text",
         pyatspi.ROLE_IMAGE: "image"}


def application(pid):
    """The companion's application on the accessibility bus, once it is there; None if not."""
    found = []

    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() == pid:
                found.append(app)
                return True
        return False

    eventually(look, within=20)
    return found[0] if found else None


def read(frame):
    """The frame's elements as the client reads them: role, name, extents on the screen,
    whether it is showing."""
    frame.clearCache()
    elements = []
    for index in range(frame.childCount):
        child = frame.getChildAtIndex(index)
        box = child.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        elements.append({"role": ROLES.get(child.getRole(), child.getRoleName()),
                         "label": child.name, "extents": (box.x, box.y, box.width, box.height),
                         "showing": child.getState().contains(pyatspi.STATE_SHOWING),
                         "index": child.getIndexInParent()})
    return elements


def expected(preview, origin):
    """The preview's elements as the window should show them: each frame in points mapped to
    the edges of pixels of the window at its place on the screen."""
    elements = []
    for element in preview:
        x, y, width, height = element["frame"]
        edges = (x * SCALE + origin[0], y * SCALE + origin[1], (x + width) * SCALE + origin[0],
                 (y + height) * SCALE + origin[1])
        elements.append({"role": element["role"], "label": element["label"], "edges": edges})
    return elements


def edges(extents):
    x, y, width, height = extents
    return (x, y, x + width, y + height)


def comparable(elements):
    """Role and label of each element, a clock's label reduced to its form."""
    return [(e["role"], "<clock>" if CLOCK.match(e["label"]) else e["label"]) for e in elements]


def same_place(read, wanted):
    """Whether each edge the client reads is the preview's, rounded to a whole pixel: the
    preview prints frames to a hundredth of a point, so an edge may round either way."""
    return len(read) == len(wanted) and all(
        abs(seen - want) <= 1.0 for r, w in zip(read, wanted)
        for seen, want in zip(edges(r["extents"]), w["edges"]))


class AtSpiWindow(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.link = os.path.join(self.folder, "link.sock")
        self.x = Xvfb()
        self.addCleanup(self.x.end)
        self.addCleanup(shutil.rmtree, self.folder, True)

    def write(self, name, snapshot):
        path = os.path.join(self.folder, name)
        with open(path, "w", encoding="utf-8") as file:
            json.dump(snapshot, file, ensure_ascii=False)
        return path

    def start(self, **env):
        watch = Process([WATCH, "--link", self.link], env=companion_env(self.x.name, **env))
        self.assertTrue(watch.wait_for("listening on"), watch.output())
        self.addCleanup(lambda: watch.end() if watch.process.poll() is None else None)
        return watch

    def push(self, path):
        pushed = subprocess.run([HOST, "push", path, "--link", self.link], capture_output=True,
                                timeout=60)
        self.assertEqual(pushed.returncode, 0, pushed.stderr.decode())

    def assert_shows(self, frame, snapshot, origin):
        """Waits until the window's tree is the preview's for the snapshot."""
        want = expected(preview_elements(snapshot), origin)
        seen = []

        def matches():
            seen[:] = [read(frame)]
            return comparable(seen[0]) == comparable(want) and same_place(seen[0], want)

        self.assertTrue(eventually(matches), "window: %s\npreview: %s" % (
            json.dumps([(e["role"], e["label"], e["extents"]) for e in seen[0]],
                       ensure_ascii=False),
            json.dumps([(e["role"], e["label"], e["edges"]) for e in want], ensure_ascii=False)))
        return seen[0]

    def test_the_tree_a_click_on_reveal_and_the_tree_of_the_next_snapshot(self):
        now = time.time()
        question = self.write("question.json", {
            "screen": "question", "gameName": "ليلة الأسئلة", "teams": TEAMS, "turnTeamId": "t2",
            "questionPoints": 10, "questionMode": "سؤال سرعة", "questionOpenedAt": now})
        answer = self.write("answer.json", {
            "screen": "answer", "gameName": "ليلة الأسئلة", "teams": TEAMS, "turnTeamId": "t2",
            "questionPoints": 10, "questionMode": "سؤال سرعة", "questionOpenedAt": now})
        watch = self.start()
        self.push(question)

        app = application(watch.process.pid)
        self.assertIsNotNone(app, "the companion is not on the accessibility bus: " +
                             watch.output())
        self.assertEqual(app.getRole(), pyatspi.ROLE_APPLICATION)
        self.assertEqual(app.childCount, 1)
        frame = app.getChildAtIndex(0)
        self.assertEqual((frame.getRole(), frame.name), (pyatspi.ROLE_FRAME, "Dunvel"))
        # The frame is where the X server has the window: the whole face, 2 px a point.
        box = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        geometry = window_geometry(self.x.name)
        self.assertEqual((box.x, box.y, box.width, box.height), geometry)
        self.assertEqual(geometry[2:], (396, 484))
        origin = geometry[:2]

        elements = self.assert_shows(frame, question, origin)
        # In order, each knowing its place, in sight; the time in the band is read first.
        self.assertEqual([e["index"] for e in elements], list(range(len(elements))))
        self.assertTrue(all(e["showing"] for e in elements), elements)
        self.assertRegex(elements[0]["label"], CLOCK)
        buttons = [e["label"] for e in elements if e["role"] == "button"]
        self.assertEqual(len(buttons), 1, elements)
        self.assertIn(REVEAL, buttons[0])

        # The reveal control clicked through AT-SPI: the command reaches the host, then the
        # haptic plays, as for a click of the pointer.
        listen = Process([HOST, "listen", "--link", self.link])
        self.addCleanup(lambda: listen.end(signal.SIGINT) if listen.process.poll() is None
                        else None)
        # Once the listener holds the link the companion counts the host reachable and sends.
        self.assertTrue(eventually(self.connected), listen.output())
        reveal = [frame.getChildAtIndex(i) for i in range(frame.childCount)
                  if frame.getChildAtIndex(i).getRole() == pyatspi.ROLE_PUSH_BUTTON][0]
        action = reveal.queryAction()
        self.assertEqual((action.nActions, action.getName(0)), (1, "click"))
        self.assertTrue(action.doAction(0))
        self.assertTrue(listen.wait_for('{"action":"reveal"}\n'), listen.output())
        self.assertTrue(watch.wait_for("haptic: click (8)"), watch.output())
        self.assertEqual(listen.end(signal.SIGINT), 0)
        self.assertEqual(listen.out, '{"action":"reveal"}\n')

        # The host's answer: a new screen, a new tree.
        self.push(answer)
        elements = self.assert_shows(frame, answer, origin)
        names = [e["label"] for e in elements if e["role"] == "button"]
        self.assertEqual(len(names), 4, elements)
        for team, name in zip(TEAMS, names):
            self.assertIn(team["name"], name)
        self.assertEqual(watch.end(), 0, watch.output())

    def connected(self):
        """Whether a host holds the companion's link (the kernel's table of Unix sockets)."""
        with open("/proc/net/unix", encoding="utf-8") as table:
            return any(line.split()[-1] == self.link and line.split()[5] == "03"
                       for line in table if len(line.split()) >= 8)

    def test_without_an_accessibility_bus_nothing_changes_and_nothing_is_printed(self):
        for env in ({"DBUS_SESSION_BUS_ADDRESS": None},
                    {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + self.folder + "/no-bus"},
                    {"NO_AT_BRIDGE": "1"}):
            with self.subTest(env=env):
                watch = self.start(**env)
                self.push(self.write("idle.json", {"screen": "idle"}))
                self.assertTrue(watch.wait_for("screen idle"), watch.output())
                # The window is there, the application is not on the bus.
                self.assertEqual(window_geometry(self.x.name)[2:], (396, 484))
                self.assertIsNone(application_now(watch.process.pid))
                self.assertEqual(watch.end(), 0, watch.output())
                self.assertEqual([line for line in watch.err.splitlines()
                                  if not line.startswith(("dunvel-watch: listening on",
                                                          "dunvel-watch: stopped"))], [])


def application_now(pid):
    """The application of that process on the bus now, or None."""
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


if __name__ == "__main__":
    unittest.main()
