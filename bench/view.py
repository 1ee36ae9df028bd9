#!/usr/bin/python3
"""The browser view's costs, measured from outside: a headless dunvel-watch --view on loopback,
headless Chromium over its DevTools protocol, and a counting proxy in front of one viewer.

    bench/view.py BUILD_DIR [--pushes N] [--window SECONDS] [--out FILE]

Figures (JSON, as the other measuring programs write them):
- push_to_canvas/p99_ms and push_to_log/p99_ms: from a host's push (over the WebSocket link) to
  the pixels on the page's canvas, and to the screen's line in the companion's log, in one run;
- tick_bytes: what one viewer receives for a tick of the question clock, on the wire (deflated),
  and tick_png_bytes: the same pixels as a PNG, the other encoding there was to choose;
- full_face_bytes: what a viewer receives when it joins;
- cpu_per_tick_none_ms and cpu_per_tick_one_viewer_ms: the companion's CPU per second of the
  question screen without a viewer and with one, headless (where no viewer means no frame is
  painted at all), and window_cpu_per_tick_*: the same for a companion in a window on a private
  Xvfb display, which paints each tick either way, so the difference is the view's own.
Everything is on 127.0.0.1 and ends by itself.
"""
import argparse
import asyncio
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
import zlib

import websockets
from PIL import Image

TOKEN = "bench-view-token-0123456789"


def find(build, name):
    for root, _, files in os.walk(build):
        if "CMakeFiles" not in root and name in files:
            return os.path.join(root, name)
    raise SystemExit("bench/view.py: no %s in %s" % (name, build))


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def cpu_seconds(pid):
    """The process's CPU time so far, every thread's, in nanoseconds' resolution (schedstat)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as stat:
                total += int(stat.read().split()[0])
        except FileNotFoundError:  # a thread that ended meanwhile
            pass
    return total / 1e9


class Companion:
    def __init__(self, watch, folder, display=None):
        self.log = []
        self.lock = threading.Lock()
        env = dict(os.environ, TZ="UTC")
        env.pop("WAYLAND_DISPLAY", None)
        if display:
            env["DISPLAY"] = display
        self.process = subprocess.Popen(
            [watch, *([] if display else ["--headless"]), "--link",
             os.path.join(folder, "link.sock"), "--listen", "ws://127.0.0.1:0", "--token", TOKEN,
             "--view"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        threading.Thread(target=self.read, daemon=True).start()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not self.find(r"view on (\S+)"):
            time.sleep(0.05)
        self.view = self.find(r"view on (\S+)")
        if not self.view:
            raise SystemExit("bench/view.py: the companion did not start")
        self.origin = re.match(r"http://([^/]+)", self.view).group(1)

    def read(self):
        for line in iter(self.process.stdout.readline, b""):
            with self.lock:
                self.log.append((time.time() * 1000.0, line.decode("utf-8", "replace")))

    def find(self, pattern):
        with self.lock:
            for _, line in self.log:
                found = re.search(pattern, line)
                if found:
                    return found.group(1)
        return None

    def logged_after(self, text, since):
        with self.lock:
            for moment, line in self.log:
                if moment >= since and text in line:
                    return moment
        return None

    def end(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(15)


class Chromium:
    def __init__(self, folder):
        profile = os.path.join(folder, "chromium")
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--remote-debugging-port=0", "--user-data-dir=" + profile,
             "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        active = os.path.join(profile, "DevToolsActivePort")
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not (os.path.exists(active) and
                                                   open(active).read().split()):
            time.sleep(0.1)
        self.port = int(open(active).read().split()[0])

    async def tab(self, url):
        request = urllib.request.Request("http://127.0.0.1:%d/json/new?about:blank" % self.port,
                                         method="PUT")
        target = json.load(urllib.request.urlopen(request, timeout=20))
        connection = await websockets.connect(target["webSocketDebuggerUrl"], max_size=None)
        calls = [0]

        async def evaluate(expression):
            calls[0] += 1
            await connection.send(json.dumps({"id": calls[0], "method": "Runtime.evaluate",
                                              "params": {"expression": expression,
                                                         "awaitPromise": True,
                                                         "returnByValue": True}}))
            while True:
                message = json.loads(await asyncio.wait_for(connection.recv(), 30))
                if message.get("id") == calls[0]:
                    return message.get("result", {}).get("result", {}).get("value")

        calls[0] += 1
        await connection.send(json.dumps({"id": calls[0], "method": "Page.navigate",
                                          "params": {"url": url}}))
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if await evaluate("!!(window.dunvelView && dunvelView.framesDrawn > 0)"):
                break
            await asyncio.sleep(0.1)
        async def close():
            await connection.close()
            urllib.request.urlopen("http://127.0.0.1:%d/json/close/%s" % (self.port, target["id"]),
                                   timeout=20).read()

        return close, evaluate

    def end(self):
        self.process.terminate()
        self.process.wait(15)


def board(points):
    return {"type": "context", "payload": {
        "screen": "board", "gameName": "bench",
        "teams": [{"id": "t%d" % i, "name": "فريق %d" % i, "points": points + i}
                  for i in range(8)]}}


async def latency(companion, chromium, pushes):
    close, evaluate = await chromium.tab(companion.view)
    to_canvas, to_log = [], []
    async with websockets.connect("ws://%s/link?token=%s" % (companion.origin, TOKEN)) as host:
        for n in range(pushes):
            drawn = asyncio.ensure_future(evaluate("dunvelView.nextPixels()"))
            await asyncio.sleep(0.05)
            pushed = time.time() * 1000.0
            await host.send(json.dumps(board(1000 * (n + 1))))
            canvas_at = await asyncio.wait_for(drawn, 10)
            deadline = time.monotonic() + 10
            log_at = None
            while log_at is None and time.monotonic() < deadline:
                log_at = companion.logged_after("screen scoreboard: bench", pushed)
                await asyncio.sleep(0.005)
            to_canvas.append(canvas_at - pushed)
            to_log.append(log_at - pushed)
            with companion.lock:
                companion.log.clear()
        # Leaves the question screen ticking for the measures that follow.
        await host.send(json.dumps({"type": "context", "payload": {
            "screen": "question", "questionPoints": 10, "questionMode": "bench",
            "questionOpenedAt": time.time()}}))
        await asyncio.sleep(0.5)
    await close()
    return percentile(to_canvas, 0.99), percentile(to_log, 0.99)


async def wire_bytes(companion, window):
    """Bytes a viewer (python3-websockets, deflate as browsers ask for it) receives on joining
    and per tick, counted by a proxy between it and the companion; and a tick's pixels as PNG."""
    host, port = companion.origin.split(":")
    received = [0]

    async def relay(reader, writer, count):
        try:
            while data := await reader.read(65536):
                if count:
                    received[0] += len(data)
                writer.write(data)
                await writer.drain()
        except ConnectionError:
            pass
        finally:
            writer.close()

    async def accept(client_reader, client_writer):
        server_reader, server_writer = await asyncio.open_connection(host, int(port))
        asyncio.ensure_future(relay(client_reader, server_writer, False))
        asyncio.ensure_future(relay(server_reader, client_writer, True))

    proxy = await asyncio.start_server(accept, "127.0.0.1", 0)
    proxy_port = proxy.sockets[0].getsockname()[1]
    png_sizes = []
    async with websockets.connect("ws://127.0.0.1:%d/view/socket?token=%s" % (proxy_port, TOKEN),
                                  max_size=None) as viewer:
        joined_at = time.monotonic()
        while time.monotonic() - joined_at < 1.5:
            try:
                await asyncio.wait_for(viewer.recv(), 0.2)
            except asyncio.TimeoutError:
                pass
        full = received[0]
        received[0] = 0
        ticks = 0
        started = time.monotonic()
        while time.monotonic() - started < window:
            try:
                message = await asyncio.wait_for(viewer.recv(), 0.5)
            except asyncio.TimeoutError:
                continue
            if isinstance(message, bytes):
                ticks += 1
                x, y, w, h = struct.unpack_from("<4H", message)
                image = Image.frombytes("RGBA", (w, h), message[8:8 + w * h * 4])
                encoded = io.BytesIO()
                image.save(encoded, "PNG")
                png_sizes.append(len(encoded.getvalue()))
        per_tick = received[0] / max(ticks, 1)
    proxy.close()
    return full, per_tick, sum(png_sizes) / max(len(png_sizes), 1)


async def show_question(companion):
    async with websockets.connect("ws://%s/link?token=%s" % (companion.origin, TOKEN)) as host:
        await host.send(json.dumps({"type": "context", "payload": {
            "screen": "question", "questionPoints": 10, "questionMode": "bench",
            "questionOpenedAt": time.time()}}))
        await asyncio.sleep(0.5)


async def cpu_per_second(companion, chromium, window):
    pid = companion.process.pid
    before = cpu_seconds(pid)
    await asyncio.sleep(window)
    none = (cpu_seconds(pid) - before) / window
    close, _ = await chromium.tab(companion.view)
    await asyncio.sleep(1.0)
    before = cpu_seconds(pid)
    await asyncio.sleep(window)
    one = (cpu_seconds(pid) - before) / window
    await close()
    return none * 1000.0, one * 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--pushes", type=int, default=100)
    parser.add_argument("--window", type=float, default=10.0)
    parser.add_argument("--out", default="view.json")
    options = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="bench-view-")
    os.chmod(folder, 0o700)
    companion = chromium = None
    try:
        companion = Companion(find(options.build, "dunvel-watch"), folder)
        chromium = Chromium(folder)

        async def measure():
            canvas, log = await latency(companion, chromium, options.pushes)
            full, tick, png = await wire_bytes(companion, options.window)
            none, one = await cpu_per_second(companion, chromium, options.window)
            return canvas, log, full, tick, png, none, one

        canvas, log, full, tick, png, none, one = asyncio.run(measure())
        companion.end()
        # A window on a private X display, which paints every tick with or without a viewer.
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "640x640x24",
                                 "-nolisten", "tcp"], pass_fds=[write],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        try:
            display = ":" + os.read(read, 16).decode().strip()
            os.close(read)
            companion = Companion(find(options.build, "dunvel-watch"),
                                  tempfile.mkdtemp(dir=folder), display)

            async def windowed():
                await show_question(companion)
                return await cpu_per_second(companion, chromium, options.window)

            window_none, window_one = asyncio.run(windowed())
            if companion.process.poll() is not None:
                raise SystemExit("bench/view.py: the companion in the window ended: " +
                                 "".join(line for _, line in companion.log))
        finally:
            xvfb.terminate()
            xvfb.wait(15)
        figures = [("push_to_canvas/p99_ms", canvas, "ms"), ("push_to_log/p99_ms", log, "ms"),
                   ("full_face_bytes", full, "B"), ("tick_bytes", tick, "B"),
                   ("tick_png_bytes", png, "B"), ("cpu_per_tick_none_ms", none, "ms"),
                   ("cpu_per_tick_one_viewer_ms", one, "ms"),
                   ("window_cpu_per_tick_none_ms", window_none, "ms"),
                   ("window_cpu_per_tick_one_viewer_ms", window_one, "ms")]
        with open(options.out, "w") as out:
            json.dump({"figures": [{"name": n, "value": v, "unit": u} for n, v, u in figures]},
                      out, indent=1)
        for name, value, unit in figures:
            print("%-28s %10.2f %s" % (name, value, unit))
    finally:
        for started in (chromium, companion):
            if started:
                started.end()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
