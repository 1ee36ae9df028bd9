#!/usr/bin/python3
"""dunvel-watch --view in a real browser: Debian's headless Chromium, driven over its DevTools
protocol (raw CDP over python3-websockets), against a headless companion on loopback; raw sockets
and python3-websockets for the viewers a browser would never be. Every wait is bounded.

    BrowserViewTest.py [unittest arguments]      (DUNVEL_WATCH, DUNVEL_HOST, DUNVEL_PREVIEW)
"""
import asyncio
import base64
import io
import json
import os
import random
import re
import shutil
import socket
import string
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

import websockets
from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from child_processes import Process, Xvfb, eventually  # noqa: E402

WATCH = os.environ.get("DUNVEL_WATCH", "build/test/tools/watch/dunvel-watch")
HOST = os.environ.get("DUNVEL_HOST", "build/test/tools/host/dunvel-host")
PREVIEW = os.environ.get("DUNVEL_PREVIEW", "build/test/tools/preview/dunvel-preview")
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "examples")
TOKEN = "view-test-token-0123456789"
UTC = dict(os.environ, TZ="UTC")


def example(name):
    with open(os.path.join(EXAMPLES, name + ".json"), encoding="utf-8") as file:
        return json.load(file)


def board(teams, points=0):
    return {"screen": "board", "gameName": "ليلة الأسئلة",
            "teams": [{"id": "t%d" % i, "name": "فريق %d" % i, "points": points + i}
                      for i in range(teams)]}


class Companion(Process):
    """A headless dunvel-watch with the view, its socket in a folder of its own."""

    def __init__(self, folder, *options, display=None):
        self.socket = os.path.join(folder, "link.sock")
        env = dict(UTC)
        env.pop("WAYLAND_DISPLAY", None)
        if display:
            env["DISPLAY"] = display
        super().__init__([WATCH, *([] if display else ["--headless"]), "--link", self.socket,
                          "--listen", "ws://127.0.0.1:0", "--token", TOKEN, "--view", *options],
                         env=env)
        if not self.wait_for("view on ", 20):
            raise AssertionError("the companion did not start: " + self.output())
        self.view = re.search(r"view on (\S+)", self.output()).group(1)
        self.origin = re.match(r"(http://[^/]+)", self.view).group(1)
        self.socket_url = self.origin.replace("http://", "ws://") + "/view/socket?token=" + TOKEN
        self.link_url = self.origin.replace("http://", "ws://") + "/link?token=" + TOKEN

    def push(self, snapshot):
        """Sends one snapshot as the host does, and lets go of the link."""
        pushed = subprocess.run([HOST, "push", "-", "--link", self.socket], env=UTC,
                                input=json.dumps(snapshot).encode(), capture_output=True,
                                timeout=30)
        if pushed.returncode != 0:
            raise AssertionError(pushed.stderr.decode())

    def memory_kb(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


class Chromium:
    """Headless Chromium with its DevTools port, in a profile of its own."""

    def __init__(self, folder):
        profile = os.path.join(folder, "chromium")
        self.process = Process(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                                "--disable-quic", "--no-first-run",
                                "--disable-background-networking", "--disable-component-update",
                                "--disable-sync", "--remote-debugging-port=0",
                                "--user-data-dir=" + profile, "about:blank"])
        active = os.path.join(profile, "DevToolsActivePort")
        if not eventually(lambda: os.path.exists(active) and open(active).read().split(), 60):
            raise AssertionError("chromium gave no DevTools port: " + self.process.output())
        self.port = int(open(active).read().split()[0])

    def end(self):
        self.process.end()


class Tab:
    """One page, driven over CDP."""

    def __init__(self, connection):
        self.connection = connection
        self.calls = 0
        self.answers = {}
        self.reader = asyncio.get_running_loop().create_task(self.read())

    @classmethod
    async def open(cls, chromium, url, width=1280, height=900, mobile=False):
        request = urllib.request.Request("http://127.0.0.1:%d/json/new?about:blank" %
                                         chromium.port, method="PUT")
        target = json.load(urllib.request.urlopen(request, timeout=20))
        tab = cls(await websockets.connect(target["webSocketDebuggerUrl"], max_size=None))
        await tab.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                       deviceScaleFactor=1, mobile=mobile)
        if mobile:
            await tab.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        # Every vibration the page asks for, whether or not this browser buzzes.
        await tab.call("Page.addScriptToEvaluateOnNewDocument", source=(
            "window.vibrations = [];"
            "navigator.vibrate = (pattern) => { window.vibrations.push(pattern); return true; };"))
        await tab.call("Page.enable")
        await tab.call("Page.navigate", url=url)
        return tab

    async def read(self):
        async for text in self.connection:
            message = json.loads(text)
            if "id" in message and message["id"] in self.answers:
                self.answers.pop(message["id"]).set_result(message)

    async def call(self, method, **params):
        self.calls += 1
        answer = asyncio.get_running_loop().create_future()
        self.answers[self.calls] = answer
        await self.connection.send(json.dumps({"id": self.calls, "method": method,
                                               "params": params}))
        message = await asyncio.wait_for(answer, 30)
        if "error" in message:
            raise AssertionError("%s: %s" % (method, message["error"]))
        return message["result"]

    async def evaluate(self, expression):
        result = await self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                                 returnByValue=True)
        if "exceptionDetails" in result:
            raise AssertionError(json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    async def until(self, expression, within=20.0):
        """Waits for expression to come true in the page; its last value."""
        deadline = time.monotonic() + within
        while True:
            try:
                value = await self.evaluate(expression)
            except AssertionError:  # the page has not run its script yet
                value = None
            if value or time.monotonic() > deadline:
                return value
            await asyncio.sleep(0.1)

    async def canvas(self):
        """The canvas's pixels as an RGBA image."""
        data = await self.evaluate(
            "(() => { const c = document.getElementById('face');"
            " const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
            " let s = ''; for (let i = 0; i < d.length; i += 8192)"
            " s += String.fromCharCode(...d.subarray(i, i + 8192));"
            " return [c.width, c.height, btoa(s)]; })()")
        return Image.frombytes("RGBA", (data[0], data[1]), base64.b64decode(data[2]))

    async def center_of(self, label):
        """Where the element read as label stands on the page, in CSS pixels."""
        return await self.evaluate(
            "(() => { const e = [...document.querySelectorAll('#elements > *')]"
            ".find((n) => n.textContent === %s); if (!e) return null;"
            " const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2];"
            " })()" % json.dumps(label))

    async def mouse(self, kind, x, y, **more):
        await self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                        clickCount=1, **more)

    async def key(self, key, number):
        text = {"Enter": "\r", " ": " "}.get(key, "")
        for kind in ("keyDown", "keyUp"):
            await self.call("Input.dispatchKeyEvent", type=kind, key=key,
                            code="Space" if key == " " else key, windowsVirtualKeyCode=number,
                            text=text if kind == "keyDown" else "")

    async def screenshot(self, path):
        shot = await self.call("Page.captureScreenshot", format="png")
        with open(path, "wb") as file:
            file.write(base64.b64decode(shot["data"]))

    async def close(self):
        self.reader.cancel()
        await self.connection.close()


def run(coroutine, within=120.0):
    return asyncio.run(asyncio.wait_for(coroutine, within))


class Listener(Process):
    """dunvel-host listen: the commands the companion sends, one JSON line each."""

    def __init__(self, companion):
        super().__init__([HOST, "listen", "--link", companion.socket])

    def commands(self):
        return [json.loads(line) for line in self.output().splitlines() if line.startswith("{")]


class BrowserTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.companion = Companion(self.folder)
        self.chromium = Chromium(self.folder)
        self.started = []

    def tearDown(self):
        for process in self.started:
            process.end()
        self.chromium.end()
        status = self.companion.end()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.assertEqual(status, 0, self.companion.output())

    def listen(self):
        listener = Listener(self.companion)
        self.started.append(listener)
        return listener

    async def until_held(self, tab):
        """Waits until the panel says a host holds the link."""
        self.assertTrue(await tab.until("document.getElementById('link-state').textContent === "
                                        "'a host holds the link'"))


class Page(BrowserTest):
    def test_the_canvas_holds_the_pixels_that_preview_draws(self):
        # The board has no clock: the face and the preview differ only if the minute turns
        # between the two, which a second try rules out.
        self.companion.push(example("board"))

        async def scenario():
            tab = await Tab.open(self.chromium, self.companion.view)
            for _ in range(2):
                self.assertTrue(await tab.until("window.dunvelView && dunvelView.framesDrawn > 0 &&"
                                                " dunvelView.elements.some((e) => e.role === "
                                                "'button' || /ليلة/.test(e.label))"))
                canvas = await tab.canvas()
                now = int(time.time())
                png = os.path.join(self.folder, "board.png")
                subprocess.run([PREVIEW, "png", os.path.join(EXAMPLES, "board.json"), "-o", png,
                                "--now", str(now)], env=UTC, check=True, timeout=60)
                drawn = Image.open(png).convert("RGBA")
                if canvas.tobytes() == drawn.tobytes():
                    break
            self.assertEqual(canvas.size, drawn.size)
            differing = sum(1 for a, b in zip(canvas.getdata(), drawn.getdata()) if a != b)
            self.assertEqual(differing, 0, "pixels of the canvas that differ from the preview")
            await tab.close()
        run(scenario())

    def test_a_click_reveals_and_buzzes_a_slide_off_sends_nothing_the_wheel_scrolls(self):
        question = dict(example("question"), questionOpenedAt=time.time())
        self.companion.push(question)
        listener = self.listen()

        async def scenario():
            tab = await Tab.open(self.chromium, self.companion.view)
            self.assertTrue(await tab.until("dunvelView.framesDrawn > 0 && dunvelView.elements"
                                            ".some((e) => e.role === 'button')"))
            await self.until_held(tab)
            x, y = await tab.center_of("اعرض الإجابة")
            # Pressed, slid off the control and let go: nothing is sent.
            await tab.mouse("mousePressed", x, y)
            await tab.mouse("mouseMoved", x, y + 300, buttons=1)
            await tab.mouse("mouseReleased", x, y + 300)
            # Then a click: the reveal, and the click's buzz.
            await tab.mouse("mousePressed", x, y)
            await tab.mouse("mouseReleased", x, y)
            self.assertTrue(eventually(lambda: listener.commands(), 20), listener.output())
            self.assertTrue(await tab.until("window.vibrations.length > 0"))
            self.assertEqual(await tab.evaluate("window.vibrations"), [[15]])
            self.assertEqual(await tab.evaluate("dunvelView.haptics"), ["click"])

            # A long board: the wheel scrolls it, as the crown does.
            listener.end()
            self.companion.push(board(40))
            top = "dunvelView.elements.find((e) => e.label === 'فريق 0')"
            self.assertTrue(await tab.until(top))
            before = await tab.evaluate(top + ".frame[1]")
            x, y = await tab.center_of("فريق 0")
            await tab.mouse("mouseWheel", x, y, deltaX=0, deltaY=300)
            self.assertTrue(await tab.until("!%s || %s.frame[1] < %f" % (top, top, before - 30)))
            await tab.close()
        run(scenario())
        self.assertEqual(listener.commands(), [{"action": "reveal"}])

    def test_screen_readers_read_the_elements_and_the_keyboard_taps(self):
        # The clock at 0:42, as in the README's pictures.
        self.companion.push(dict(example("answer"), questionOpenedAt=time.time() - 42))
        listener = self.listen()
        expected = json.loads(subprocess.run(
            [PREVIEW, "a11y", os.path.join(EXAMPLES, "answer.json"), "--json"], env=UTC,
            capture_output=True, check=True, timeout=60).stdout)
        labels = [e["label"] for e in expected if e["role"] == "button"]

        async def scenario():
            tab = await Tab.open(self.chromium, self.companion.view)
            await self.until_held(tab)
            self.assertTrue(await tab.until("dunvelView.elements && dunvelView.elements.filter("
                                            "(e) => e.role === 'button').length === %d" %
                                            len(labels)))
            await tab.call("Accessibility.enable")
            tree = (await tab.call("Accessibility.getFullAXTree"))["nodes"]
            buttons = [node["name"]["value"] for node in tree
                       if node.get("role", {}).get("value") == "button" and
                       not node.get("ignored") and node["name"]["value"] in labels]
            self.assertEqual(buttons, labels)
            self.assertEqual(await tab.evaluate(
                "[document.documentElement.lang, document.documentElement.dir]"), ["ar", "rtl"])
            # Tab reaches the first team's control (past the panel's button), Enter awards it.
            for _ in range(6):
                await tab.key("Tab", 9)
                if await tab.evaluate("document.activeElement.textContent") == labels[0]:
                    break
            self.assertEqual(await tab.evaluate("document.activeElement.textContent"), labels[0])
            await tab.key("Enter", 13)
            self.assertTrue(eventually(lambda: listener.commands(), 20), listener.output())
            # The README's picture of the page, when asked for (DUNVEL_VIEW_SCREENSHOT=PATH).
            if os.environ.get("DUNVEL_VIEW_SCREENSHOT"):
                await tab.until("document.getElementById('log').children.length > 3")
                await tab.screenshot(os.environ["DUNVEL_VIEW_SCREENSHOT"])
            await tab.close()
        run(scenario())
        self.assertEqual(listener.commands()[0]["action"], "award")

    def test_on_a_phone_touch_and_the_keyboard_send_all_three_commands(self):
        question = dict(example("question"), questionOpenedAt=time.time())
        answer = dict(example("answer"), questionOpenedAt=time.time())

        async def scenario():
            tab = await Tab.open(self.chromium, self.companion.view + "&face", 390, 844, True)
            async with websockets.connect(self.companion.link_url) as host:
                async def show(snapshot, label):
                    await host.send(json.dumps({"type": "context", "payload": snapshot}))
                    self.assertTrue(await tab.until("dunvelView.elements && dunvelView.elements"
                                                    ".some((e) => e.label === %s)" %
                                                    json.dumps(label)))

                async def command():
                    frame = json.loads(await asyncio.wait_for(host.recv(), 30))
                    return frame["payload"]

                async def touch(label, drag=0):
                    x, y = await tab.center_of(label)
                    await tab.call("Input.dispatchTouchEvent", type="touchStart",
                                   touchPoints=[{"x": x, "y": y}])
                    if drag:
                        for step in range(1, 11):
                            await tab.call("Input.dispatchTouchEvent", type="touchMove",
                                           touchPoints=[{"x": x, "y": y - drag * step / 10}])
                            await asyncio.sleep(0.03)
                    await tab.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

                async def keyboard(label, key, number):
                    for _ in range(12):
                        await tab.key("Tab", 9)
                        if await tab.evaluate("document.activeElement.textContent") == label:
                            break
                    await tab.key(key, number)

                # By touch: the reveal, an award, and nobody answered after a finger's scroll.
                await show(question, "اعرض الإجابة")
                await touch("اعرض الإجابة")
                self.assertEqual(await command(), {"action": "reveal"})
                await show(answer, "الصقور, 40")
                await touch("الصقور, 40")
                self.assertEqual(await command(), {"action": "award", "teamId": "t1"})
                await touch("النجوم, 20", drag=200)
                # Wholly in sight, so that a finger lands on it.
                self.assertTrue(await tab.until("(() => { const e = dunvelView.elements.find("
                                                "(e) => e.label === 'محد جاوب'); return e."
                                                "showing && e.frame[1] + e.frame[3] <= 242; })()",
                                                60))
                await touch("محد جاوب")
                self.assertEqual(await command(), {"action": "noAnswer"})
                # By the keyboard: the same three, Enter or Space.
                await show(dict(question, questionPoints=20), "اعرض الإجابة")
                await keyboard("اعرض الإجابة", "Enter", 13)
                self.assertEqual(await command(), {"action": "reveal"})
                await show(dict(answer, questionPoints=20), "النمور, 35")
                await keyboard("النمور, 35", "Enter", 13)
                self.assertEqual(await command(), {"action": "award", "teamId": "t2"})
                await keyboard("محد جاوب", " ", 32)
                self.assertEqual(await command(), {"action": "noAnswer"})
            # Each command's haptic reaches the page just after the command reaches the host.
            await tab.until("window.vibrations.length >= 6")
            self.assertEqual(await tab.evaluate("window.vibrations"),
                             [[15], [40, 60, 120], [120, 80, 120, 80, 120]] * 2)
            await tab.close()
        run(scenario(), 240)

    def test_a_new_snapshot_reaches_two_viewers_and_one_that_never_reads_holds_no_one_up(self):
        self.companion.push(board(5))

        async def scenario():
            first = await Tab.open(self.chromium, self.companion.view)
            second = await Tab.open(self.chromium, self.companion.view + "&face", 390, 844, True)
            for tab in (first, second):
                self.assertTrue(await tab.until("dunvelView.framesDrawn > 0"))
            # A viewer that reads nothing, with a small window for the face.
            stuck = socket.create_connection(("127.0.0.1", int(self.companion.origin.rsplit(":", 1)[1])))
            stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            stuck.sendall(("GET /view/socket?token=%s HTTP/1.1\r\nHost: x\r\nUpgrade: websocket"
                           "\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ=="
                           "\r\nSec-WebSocket-Version: 13\r\n\r\n" % TOKEN).encode())
            self.assertTrue(eventually(lambda: "(3 watching)" in self.companion.output(), 10))
            memory = self.companion.memory_kb()
            async with websockets.connect(self.companion.link_url) as host:
                for points in range(1, 101):
                    await host.send(json.dumps({"type": "context",
                                                "payload": board(60, points * 100)}))
                last = "10000"
                for tab in (first, second):
                    self.assertTrue(await tab.until(
                        "dunvelView.elements.some((e) => e.label === %s)" % json.dumps(last), 90))
            grown = self.companion.memory_kb() - memory
            # A backlog for the viewer that never reads would be a hundred faces: 75 MB. A
            # sanitizer's shadow memory and quarantine say nothing of the companion's own, so
            # the bound holds in the plain build alone.
            if not ({"ASAN_OPTIONS", "TSAN_OPTIONS"} & set(os.environ)):
                self.assertLess(grown, 40 * 1024, "the companion grew by %d kB" % grown)
            self.assertEqual(await second.evaluate("getComputedStyle(document.getElementById("
                                                   "'panel')).display"), "none")
            stuck.close()
            for tab in (first, second):
                await tab.close()
        run(scenario())
        self.assertIn("view: a viewer joined from 127.0.0.1 (2 watching)", self.companion.output())


class Window(unittest.TestCase):
    """The view beside the window on a private Xvfb display: both show one face, and a click in
    the window reaches the page as its haptic."""

    def test_the_window_and_the_page_show_one_face(self):
        folder = tempfile.mkdtemp()
        xvfb = Xvfb()
        companion = chromium = None
        try:
            display = xvfb.name
            companion = Companion(folder, display=display)
            chromium = Chromium(folder)
            companion.push(example("board"))

            async def scenario():
                tab = await Tab.open(chromium, companion.view)
                for _ in range(2):
                    self.assertTrue(await tab.until("dunvelView.elements && dunvelView.elements"
                                                    ".some((e) => e.label === 'الصقور')"))
                    canvas = await tab.canvas()
                    png = os.path.join(folder, "board.png")
                    subprocess.run([PREVIEW, "png", os.path.join(EXAMPLES, "board.json"), "-o",
                                    png, "--now", str(int(time.time()))], env=UTC, check=True,
                                   timeout=60)
                    if canvas.tobytes() == Image.open(png).convert("RGBA").tobytes():
                        break
                self.assertEqual(canvas.tobytes(), Image.open(png).convert("RGBA").tobytes())
                companion.push(dict(example("question"), questionOpenedAt=time.time()))
                self.assertTrue(await tab.until("dunvelView.elements.some((e) => e.label === "
                                                "'اعرض الإجابة')"))
                env = dict(os.environ, DISPLAY=display)
                window = subprocess.run(["xdotool", "search", "--name", "^Dunvel$"], env=env,
                                        capture_output=True, text=True, timeout=10)
                window = window.stdout.split()[0]
                # Face point (99, 112) at 2 pixels a point: the reveal control.
                subprocess.run(["xdotool", "mousemove", "--window", window, "198", "224",
                                "click", "1"], env=env, check=True, timeout=10)
                self.assertTrue(await tab.until("dunvelView.haptics.includes('click')"))
                await tab.close()
            run(scenario())
        finally:
            if chromium:
                chromium.end()
            status = companion.end() if companion else 0
            xvfb.end()
            shutil.rmtree(folder, ignore_errors=True)
        self.assertEqual(status, 0, companion.output() if companion else "")


class Refusals(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.companion = Companion(self.folder)

    def tearDown(self):
        status = self.companion.end()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.assertEqual(status, 0, self.companion.output())

    def status_of(self, url, **options):
        async def attempt():
            try:
                async with websockets.connect(url, open_timeout=10, **options):
                    return "open"
            except websockets.exceptions.InvalidStatusCode as refused:
                return refused.status_code
        return run(attempt(), 30)

    def test_the_page_its_headers_and_who_may_watch(self):
        page = urllib.request.urlopen(self.companion.origin + "/view", timeout=10)
        policy = page.headers["Content-Security-Policy"]
        self.assertIn("script-src 'self'", policy)
        self.assertNotIn("unsafe-inline", policy)
        self.assertEqual(page.headers["X-Content-Type-Options"], "nosniff")
        self.assertNotIn("<script>", page.read().decode())
        for path in ("/view/../fonts.conf", "/view.js/x", "/fonts.conf", "/view/view.js"):
            with self.assertRaises(urllib.error.HTTPError) as refused:
                urllib.request.urlopen(self.companion.origin + path, timeout=10)
            self.assertEqual(refused.exception.code, 404, path)

        socket_url = self.companion.socket_url
        self.assertEqual(self.status_of(socket_url.replace(TOKEN, "wrong-token-0123456789")), 401)
        self.assertEqual(self.status_of(socket_url, origin="http://evil.example"), 403)
        self.assertEqual(self.status_of(socket_url, origin=self.companion.origin), "open")
        # Its place is free again once the companion has seen it go.
        self.assertTrue(self.companion.wait_for("a viewer left (0 watching)"))

        async def nine():
            viewers = [await websockets.connect(socket_url) for _ in range(8)]
            try:
                await websockets.connect(socket_url, open_timeout=10)
                return "open"
            except websockets.exceptions.InvalidStatusCode as refused:
                return refused.status_code
            finally:
                for viewer in viewers:
                    await viewer.close()
        self.assertEqual(run(nine()), 503)
        self.assertTrue(self.companion.wait_for("was refused: 8 are watching (503)"))

    def test_the_command_line_needs_the_endpoint_and_the_page(self):
        alone = subprocess.run([WATCH, "--headless", "--view"], capture_output=True, text=True,
                               timeout=30)
        self.assertEqual(alone.returncode, 2)
        self.assertEqual(alone.stderr, "dunvel-watch: --view needs --listen ws://ADDRESS:PORT "
                                       "(or wss://) (see --help)\n")
        data = os.path.join(self.folder, "data")
        os.makedirs(os.path.join(data, "view"))
        shutil.copy(os.path.join(EXAMPLES, "..", "data", "fonts.conf"), data)
        os.mkfifo(os.path.join(data, "view", "view.html"))
        started = subprocess.run([WATCH, "--headless", "--link", os.path.join(self.folder, "s"),
                                  "--listen", "ws://127.0.0.1:0", "--view"],
                                 env=dict(os.environ, DUNVEL_DATA_DIR=data),
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(started.returncode, 1)
        self.assertEqual(started.stderr.splitlines(), [
            "dunvel-watch: --view: cannot use the view's page %s/view/view.html: is a FIFO, not "
            "a regular file" % data])

    def test_bad_input_is_closed_with_its_code_and_never_reaches_the_host(self):
        self.companion.push(example("question"))
        listener = Listener(self.companion)
        noise = "".join(random.choice(string.ascii_letters) for _ in range(6000))
        cases = [
            (noise, 1009),
            (b"\x01\x02", 1003),
            ("not json", 1007),
            (json.dumps({"kind": "shake"}), 1008),
            # Past any double: not a number JSON can carry.
            ('{"kind": "press", "x": 1e999, "y": 10}', 1007),
            (json.dumps({"kind": "press", "x": -5, "y": 10}), 1008),
            (json.dumps({"kind": "press", "x": 10, "y": 4000}), 1008),
            (json.dumps({"kind": "scroll", "x": 10, "y": 10, "amount": 1e9}), 1008),
            (json.dumps({"kind": "tap"}), 1008),
        ]

        async def closed_by(messages):
            async with websockets.connect(self.companion.socket_url, max_size=None) as viewer:
                for message in messages:
                    await viewer.send(message)
                try:
                    while True:
                        await asyncio.wait_for(viewer.recv(), 10)
                except websockets.exceptions.ConnectionClosed:
                    return viewer.close_code

        async def reveal_by_id():
            async with websockets.connect(self.companion.socket_url, max_size=None) as viewer:
                while True:
                    message = await asyncio.wait_for(viewer.recv(), 10)
                    if isinstance(message, str) and json.loads(message)["kind"] == "elements":
                        button = [e for e in json.loads(message)["elements"]
                                  if e["role"] == "button"][0]
                        await viewer.send(json.dumps({"kind": "tap", "id": button["id"]}))
                        return

        try:
            self.assertTrue(eventually(lambda: "view: " not in self.companion.output() and
                                       os.path.exists(self.companion.socket), 5))
            for message, code in cases:
                self.assertEqual(run(closed_by([message]), 30), code, message[:40])
            # The first command the host hears is the tap sent after all of them.
            run(reveal_by_id(), 30)
            self.assertTrue(eventually(lambda: listener.commands(), 20), listener.output())
            self.assertEqual(listener.commands(), [{"action": "reveal"}])
            # Taps faster than a person taps: the connection is closed within a second's share.
            presses = [json.dumps({"kind": kind, "x": 99, "y": 110})
                       for _ in range(30) for kind in ("press", "release")]
            self.assertEqual(run(closed_by(presses), 30), 1008)
            self.assertTrue(self.companion.wait_for("taps faster than a person taps (1008)"))
            self.assertIn("was closed: a point outside the face (1008)", self.companion.output())
            self.assertLessEqual(len(listener.commands()), 1 + 12, listener.output())
        finally:
            listener.end()


if __name__ == "__main__":
    unittest.main(verbosity=2)
