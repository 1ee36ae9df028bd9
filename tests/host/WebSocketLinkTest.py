#!/usr/bin/python3
"""dunvel-watch's WebSocket endpoint against clients nobody here wrote: Debian's python3-websockets
and headless Chromium, each running the README's own example, and a raw socket for what no
well-behaved client does. Everything on loopback; every wait is bounded.

    WebSocketLinkTest.py [unittest arguments]      (DUNVEL_WATCH, DUNVEL_HOST, DUNVEL_README)
"""
import asyncio
import base64
import http.server
import json
import os
import re
import shutil
import signal
import socket
import ssl
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import websockets

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from child_processes import Process, Xvfb, eventually  # noqa: E402

WATCH = os.environ.get("DUNVEL_WATCH", "build/test/tools/watch/dunvel-watch")
HOST = os.environ.get("DUNVEL_HOST", "build/test/tools/host/dunvel-host")
README = os.environ.get("DUNVEL_README", os.path.join(os.path.dirname(__file__), "../../README.md"))
TOKEN = "test-token-0123456789abcdef"
MIB = 1 << 20


def readme_example(language):
    """The code block of that language in the README's section on the link."""
    with open(README, encoding="utf-8") as readme:
        text = readme.read()
    section = text[text.index("## The link, for host-app builders"):]
    section = section[:section.index("\n## ", 1)]
    return re.search(r"```" + language + r"\n(.*?)```", section, re.S).group(1)


class Companion(Process):
    """dunvel-watch with a socket in a folder of its own and a WebSocket endpoint on a free
    loopback port."""

    def __init__(self, folder, *options, env=None, preexec_fn=None):
        self.socket = getattr(self, "socket_path", None) or os.path.join(folder, "link.sock")
        super().__init__([WATCH, "--link", self.socket, "--listen", "ws://127.0.0.1:0", *options],
                         env=env, preexec_fn=preexec_fn)
        if not self.wait_for("WebSocket link on "):
            raise AssertionError("the companion did not start: " + self.output())
        with open(self.socket + ".url", encoding="utf-8") as file:
            self.url = file.read().strip()
        self.port = int(re.search(r":(\d+)/", self.url).group(1))

    def screens(self):
        return [line for line in self.output().splitlines() if line.startswith("screen ")]


def run(coroutine, within=30.0):
    return asyncio.run(asyncio.wait_for(coroutine, within))


def context(payload):
    return json.dumps({"type": "context", "payload": payload})


async def handshake_status(url, **options):
    """The HTTP status of a refused handshake, or "open" and the first message when admitted."""
    try:
        async with websockets.connect(url, open_timeout=10, **options) as link:
            return "open", await asyncio.wait_for(link.recv(), 10)
    except websockets.exceptions.InvalidStatusCode as refused:
        return refused.status_code, None


class Refusals(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.companion = Companion(self.folder, "--headless", "--token", TOKEN)

    def tearDown(self):
        status = self.companion.end()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.assertEqual(status, 0, self.companion.output())

    def test_the_url_and_the_token(self):
        url_file = self.companion.socket + ".url"
        self.assertEqual(stat.S_IMODE(os.stat(url_file).st_mode), 0o600)
        self.assertEqual(self.companion.url,
                         "ws://127.0.0.1:%d/link?token=%s" % (self.companion.port, TOKEN))
        self.assertIn("WebSocket link on " + self.companion.url, self.companion.err)
        base = "ws://127.0.0.1:%d" % self.companion.port
        self.assertEqual(run(handshake_status(base + "/link"))[0], 401)
        self.assertEqual(run(handshake_status(base + "/link?token=" + TOKEN[:-1]))[0], 401)
        self.assertEqual(run(handshake_status(base + "/other?token=" + TOKEN))[0], 404)
        self.assertEqual(run(handshake_status(self.companion.url, origin="http://evil.example"))[0],
                         403)
        # Nothing reached the app: the idle screen is all it showed.
        self.assertTrue(all(line.startswith("screen idle") for line in self.companion.screens()))

        # A fresh companion makes a token of its own: 64 hex digits, a new one each run.
        other = tempfile.mkdtemp()
        try:
            tokens = []
            for _ in range(2):
                fresh = Companion(other, "--headless")
                tokens.append(fresh.url.split("token=")[1])
                self.assertEqual(fresh.end(), 0, fresh.output())
                self.assertFalse(os.path.exists(os.path.join(other, "link.sock.url")))
            self.assertRegex(tokens[0], r"^[0-9a-f]{64}$")
            self.assertNotEqual(tokens[0], tokens[1])
        finally:
            shutil.rmtree(other, ignore_errors=True)

    def test_the_served_host_goes_on_through_every_refusal(self):
        async def scenario():
            async with websockets.connect(self.companion.url) as host:
                await host.send(context({"screen": "board", "gameName": "before"}))
                await host.send("{not json")
                error = json.loads(await asyncio.wait_for(host.recv(), 10))
                self.assertEqual(error["type"], "error")
                self.assertIn("syntax error", error["message"])
                self.assertTrue(eventually(lambda: "scoreboard: before" in self.companion.out))

                # One host across both ways in: the socket turns a host away too.
                pushed = subprocess.run([HOST, "push", "-", "--link", self.companion.socket],
                                        input=b'{"screen": "idle"}', capture_output=True,
                                        timeout=20)
                self.assertEqual(pushed.returncode, 1)
                self.assertIn(b"another host", pushed.stderr)

                # A handshake that never finishes is closed after 5 s.
                stalled = socket.create_connection(("127.0.0.1", self.companion.port))
                stalled.sendall(b"GET /link?token=" + TOKEN.encode() + b" HTTP/1.1\r\nHost: x\r\n")
                started = time.monotonic()
                stalled.settimeout(15)
                self.assertEqual(await asyncio.to_thread(stalled.recv, 100), b"")
                waited = time.monotonic() - started
                self.assertTrue(4 <= waited <= 8, waited)
                stalled.close()

                # The right token while the link is held: turned away after the handshake.
                status, first = await handshake_status(self.companion.url)
                self.assertEqual(status, "open")
                self.assertIn("another host", first)

                # 30 attempts: none gets the link. After three wrong tokens this address is
                # slowed down (429, a second late), but the right token is always let in (and
                # turned away, since the link is held). Token-less and raw attempts guess nothing.
                outcomes = {}
                for attempt in range(30):
                    if attempt % 3 == 2:
                        raw = socket.create_connection(("127.0.0.1", self.companion.port))
                        raw.close()
                        outcome = "raw"
                    else:
                        url = self.companion.url
                        if attempt < 8:
                            url = url[:-4] + "abcd"
                        status, first = await handshake_status(url)
                        outcome = status
                        if status == "open":
                            self.assertIn("another host", first)
                            outcome = "turned away"
                    outcomes[outcome] = outcomes.get(outcome, 0) + 1
                self.assertEqual(set(outcomes) - {401, 429, "raw", "turned away"}, set(), outcomes)
                self.assertEqual((outcomes["raw"], outcomes["turned away"]), (10, 14), outcomes)
                self.assertEqual(outcomes[401] + outcomes.get(429, 0), 6, outcomes)
                self.assertGreaterEqual(outcomes[401], 3, outcomes)
                self.assertGreaterEqual(outcomes.get(429, 0), 1, outcomes)

                # Through all of it the host kept its link.
                pong = await host.ping()
                await asyncio.wait_for(pong, 10)
                await host.send(context({"screen": "board", "gameName": "after"}))
                self.assertTrue(await asyncio.to_thread(
                    eventually, lambda: "scoreboard: after" in self.companion.out))

        run(scenario(), 120)

    def test_dunvel_host_over_the_network(self):
        url = self.companion.url
        pushed = subprocess.run([HOST, "push", "-", "--message", "--link", url],
                                input=b'{"screen": "board", "gameName": "pushed"}',
                                capture_output=True, timeout=20)
        self.assertEqual(pushed.returncode, 0, pushed.stderr)
        # The token stays off the screen.
        self.assertEqual(pushed.stdout.decode(), "dunvel-host: sent standard input as a message to "
                         "ws://127.0.0.1:%d/link\n" % self.companion.port)
        self.assertTrue(eventually(lambda: "scoreboard: pushed" in self.companion.out))
        wrong = subprocess.run([HOST, "push", "-", "--link", url[:-4] + "abcd"],
                               input=b'{"screen": "idle"}', capture_output=True, timeout=20)
        self.assertEqual(wrong.returncode, 1)
        self.assertIn(b"refused the connection: 401 Unauthorized: wrong token", wrong.stderr)

        # The demo night over the network; while it holds the link a socket host is turned away.
        demo = Process([HOST, "demo", "--link", url])
        try:
            self.assertTrue(self.companion.wait_for("screen question"), self.companion.output())
            socket_host = Process([HOST, "listen", "--link", self.companion.socket])
            self.assertEqual(socket_host.end(within=20, sig=0), 1)
            self.assertIn("another host", socket_host.err)
        finally:
            self.assertEqual(demo.end(), 0, demo.output())

        # listen prints the commands the companion sends: none without a tap, but it holds the
        # link until interrupted and ends cleanly.
        self.assertTrue(eventually(lambda: self.established() == 0), "the demo's link is gone")
        listen = Process([HOST, "listen", "--link", url])
        # Its connection is up; the handshake of a later one is dealt with after its own.
        self.assertTrue(eventually(lambda: self.established() == 1), listen.output())
        status, first = run(handshake_status(url))
        self.assertEqual(listen.end(), 0, listen.output())
        self.assertEqual((status, "another host" in first), ("open", True))

    def established(self):
        """Open TCP connections to the companion's endpoint, as the kernel lists them."""
        count = 0
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            with open(table) as lines:
                for line in list(lines)[1:]:
                    fields = line.split()
                    if int(fields[1].split(":")[1], 16) == self.companion.port and fields[3] == "01":
                        count += 1
        return count

    def test_an_oversized_message_closes_that_connection_only(self):
        async def scenario():
            async with websockets.connect(self.companion.url, max_size=None) as host:
                # Exactly the limit is a frame like any other.
                frame = context({"screen": "board", "gameName": "full", "pad": ""})
                frame = frame.replace('"pad": ""', '"pad": "%s"' % ("x" * (MIB - len(frame))))
                self.assertEqual(len(frame), MIB)
                await host.send(frame)
                self.assertTrue(await asyncio.to_thread(
                    eventually, lambda: "scoreboard: full" in self.companion.out))
                await host.send("x" * (MIB + 1))
                with self.assertRaises(websockets.exceptions.ConnectionClosed) as closed:
                    await asyncio.wait_for(host.recv(), 10)
                self.assertEqual(closed.exception.rcvd.code, 1009)
            async with websockets.connect(self.companion.url) as host:
                await host.send(context({"screen": "board", "gameName": "next"}))
                self.assertTrue(await asyncio.to_thread(
                    eventually, lambda: "scoreboard: next" in self.companion.out))

        run(scenario(), 60)

    def test_a_vanished_host_is_noticed(self):
        # A host whose connection stays open but who never answers again: it is pinged, and
        # after 10 s of silence the link is free for the next one.
        key = base64.b64encode(os.urandom(16)).decode()
        silent = socket.create_connection(("127.0.0.1", self.companion.port))
        silent.sendall(("GET /link?token=%s HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                        "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                        "Sec-WebSocket-Version: 13\r\n\r\n" % (TOKEN, key)).encode())
        silent.settimeout(20)
        received = b""
        while b"\r\n\r\n" not in received:
            received += silent.recv(4096)
        self.assertIn(b" 101 ", received.split(b"\r\n")[0])
        started = time.monotonic()
        status, first = run(handshake_status(self.companion.url))
        self.assertEqual(status, "open")
        self.assertIn("another host", first)
        frames = received.split(b"\r\n\r\n", 1)[1]
        while True:
            chunk = silent.recv(4096)
            if not chunk:
                break
            frames += chunk
        waited = time.monotonic() - started
        self.assertTrue(8 <= waited <= 15, waited)
        self.assertEqual(frames[0] & 0x0F, 0x9, "a ping first: %r" % frames[:8])
        silent.close()

        async def next_host():
            async with websockets.connect(self.companion.url) as host:
                await host.send(context({"screen": "board", "gameName": "next"}))
                return await asyncio.to_thread(
                    eventually, lambda: "scoreboard: next" in self.companion.out)

        self.assertTrue(run(next_host()))


class CommandLine(unittest.TestCase):
    def test_bad_usage_and_the_warning_off_loopback(self):
        folder = tempfile.mkdtemp()
        try:
            link = os.path.join(folder, "link.sock")
            for options, problem in [
                    (["--listen", "http://127.0.0.1:1"], "--listen http://127.0.0.1:1: expected"),
                    (["--listen", "ws://127.0.0.1"], "the port is missing"),
                    (["--listen", "ws://127.0.0.1:65536"], "from 0 to 65535"),
                    (["--listen", "ws://example.com:1"], "'example.com' is not an IP address"),
                    (["--listen", "wss://127.0.0.1:0"], "needs --tls-cert and --tls-key"),
                    (["--listen", "ws://127.0.0.1:0", "--token", "short"], "at least 16"),
                    (["--listen", "ws://127.0.0.1:0", "--token", "spaces are not fine"],
                     "at least 16"),
                    (["--token", TOKEN], "go with --listen")]:
                ran = subprocess.run([WATCH, "--headless", "--link", link, *options],
                                     capture_output=True, text=True, timeout=20)
                self.assertEqual(ran.returncode, 2, ran.stderr)
                self.assertEqual(ran.stderr.count("\n"), 1, ran.stderr)
                self.assertIn(problem, ran.stderr)
            busy = socket.socket()
            busy.bind(("127.0.0.1", 0))
            busy.listen()
            taken = subprocess.run([WATCH, "--headless", "--link", link, "--listen",
                                    "ws://127.0.0.1:%d" % busy.getsockname()[1]],
                                   capture_output=True, text=True, timeout=20)
            busy.close()
            self.assertEqual(taken.returncode, 1)
            self.assertIn("cannot listen on ws://127.0.0.1:", taken.stderr)
            bad_url = subprocess.run([HOST, "listen", "--link", "ws://127.0.0.1:0/link"],
                                     capture_output=True, text=True, timeout=20)
            self.assertEqual(bad_url.returncode, 1)
            self.assertIn("the port must be a number from 1 to 65535", bad_url.stderr)

            # Any address works, with a warning that plain ws:// is not encrypted.
            companion = Companion.__new__(Companion)
            Process.__init__(companion, [WATCH, "--headless", "--link", link, "--listen",
                                         "ws://0.0.0.0:0"])
            self.assertTrue(companion.wait_for("WebSocket link on ws://0.0.0.0:"),
                            companion.output())
            self.assertIn("warning: ws://0.0.0.0:0 is not encrypted", companion.err)
            self.assertEqual(companion.end(), 0)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_wss_with_a_certificate(self):
        folder = tempfile.mkdtemp()
        try:
            cert = os.path.join(folder, "cert.pem")
            key = os.path.join(folder, "key.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                            "1", "-subj", "/CN=127.0.0.1", "-addext",
                            "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                           check=True, capture_output=True, timeout=60)
            link = os.path.join(folder, "link.sock")
            companion = Companion.__new__(Companion)
            Process.__init__(companion, [WATCH, "--headless", "--link", link, "--listen",
                                         "wss://127.0.0.1:0", "--tls-cert", cert, "--tls-key", key])
            try:
                self.assertTrue(companion.wait_for("WebSocket link on wss://127.0.0.1:"),
                                companion.output())
                self.assertNotIn("warning", companion.err)
                url = re.search(r"(wss://\S+)", companion.err).group(1)
                trusted = ssl.create_default_context(cafile=cert)

                async def push():
                    async with websockets.connect(url, ssl=trusted) as host:
                        await host.send(context({"screen": "board", "gameName": "secure"}))
                        await host.send("[]")
                        return json.loads(await asyncio.wait_for(host.recv(), 10))

                self.assertEqual(run(push())["type"], "error")
                self.assertTrue(companion.wait_for("scoreboard: secure"), companion.output())
                # dunvel-host checks the certificate: trusted through $SSL_CERT_FILE, else refused.
                env = dict(os.environ, SSL_CERT_FILE=cert)
                pushed = subprocess.run([HOST, "push", "-", "--link", url], env=env,
                                        input=b'{"screen": "board", "gameName": "host"}',
                                        capture_output=True, timeout=20)
                self.assertEqual(pushed.returncode, 0, pushed.stderr)
                self.assertTrue(companion.wait_for("scoreboard: host"), companion.output())
                env.pop("SSL_CERT_FILE")
                untrusted = subprocess.run([HOST, "push", "-", "--link", url], env=env,
                                           input=b'{"screen": "idle"}', capture_output=True,
                                           timeout=20)
                self.assertEqual(untrusted.returncode, 1)
                self.assertIn(b"TLS with wss://127.0.0.1:", untrusted.stderr)
                # Plain WebSocket on the TLS port is not let in, and is told why in plain HTTP.
                self.assertEqual(run(handshake_status(url.replace("wss://", "ws://")), 15)[0],
                                 400)
                plain = subprocess.run([HOST, "push", "-", "--link",
                                        url.replace("wss://", "ws://")],
                                       input=b'{"screen": "idle"}', capture_output=True,
                                       timeout=20)
                self.assertEqual(plain.returncode, 1)
                self.assertIn(b"400 Bad Request: this endpoint speaks TLS: use a wss:// link",
                              plain.stderr)
            finally:
                self.assertEqual(companion.end(), 0, companion.output())
        finally:
            shutil.rmtree(folder, ignore_errors=True)


class PythonClient(unittest.TestCase):
    """The README's Python example pushes a question to a companion in a window on Xvfb, and
    prints the command that a click on its reveal control sends."""

    def test_the_readme_example_reads_back_a_tap(self):
        folder = tempfile.mkdtemp()
        xvfb = Xvfb()
        companion = None
        example = None
        try:
            display = xvfb.name
            env = dict(os.environ, DISPLAY=display)
            env.pop("WAYLAND_DISPLAY", None)
            companion = Companion(folder, env=env)
            script = os.path.join(folder, "example.py")
            with open(script, "w", encoding="utf-8") as file:
                file.write(readme_example("python"))
            example = Process(["/usr/bin/python3", script, companion.socket + ".url"])
            self.assertTrue(companion.wait_for("screen question"), companion.output())
            window = ""
            for _ in range(50):
                found = subprocess.run(["xdotool", "search", "--name", "^Dunvel$"], env=env,
                                       capture_output=True, text=True, timeout=10)
                window = found.stdout.split("\n")[0]
                if window:
                    break
                time.sleep(0.1)
            self.assertTrue(window, companion.output())
            # Face point (99, 125) at 2 pixels a point: the reveal control of the question screen.
            for _ in range(5):
                subprocess.run(["xdotool", "mousemove", "--window", window, "198", "250",
                                "click", "1"], env=env, check=True, timeout=10)
                if example.wait_for('"action": "reveal"', 3):
                    break
            self.assertEqual(example.end(within=10), 0, example.output())
            self.assertEqual(example.out.strip().splitlines()[-1],
                             '{"type": "message", "payload": {"action": "reveal"}}')
        finally:
            if example:
                example.end()
            status = companion.end() if companion else 0
            xvfb.end()
            shutil.rmtree(folder, ignore_errors=True)
            self.assertEqual(status, 0, companion.output() if companion else "")


class Reports(http.server.ThreadingHTTPServer):
    """Serves the page, and notes what the page reports back through /report?…."""

    def __init__(self, page):
        self.page = page.encode()
        self.reports = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path.startswith("/report?"):
                    server.reports.append(self.path[len("/report?"):])
                body = server.page if self.path == "/page.html" else b""
                self.send_response(200 if body or self.path.startswith("/report") else 404)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *arguments):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.serve_forever)
        self.thread.start()

    @property
    def origin(self):
        return "http://127.0.0.1:%d" % self.server_address[1]

    def close(self):
        self.shutdown()
        self.server_close()
        self.thread.join()


class Browser(unittest.TestCase):
    """The README's JavaScript example in headless Chromium: from an allowed origin it connects and
    the companion shows the board it pushes; from another one it cannot connect."""

    def chromium(self, url, profile):
        return Process(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                        "--no-first-run", "--disable-background-networking",
                        "--disable-component-update", "--disable-sync",
                        "--user-data-dir=" + profile, url])

    def test_the_readme_example_from_an_allowed_origin_and_from_another(self):
        folder = tempfile.mkdtemp()
        allowed = other = companion = None
        browsers = []
        try:
            allowed = Reports("")
            other = Reports("")
            companion = Companion(folder, "--headless", "--allow-origin", allowed.origin)
            example = readme_example("js")
            example = re.sub(r'"ws://[^"]*"', json.dumps(companion.url), example, count=1)
            page = ("<!doctype html><meta charset=utf-8><script>\n" + example +
                    'link.addEventListener("open", () => fetch("/report?open"));\n'
                    'link.addEventListener("close", (e) => fetch("/report?close=" + e.code));\n'
                    "</script>\n")
            allowed.page = other.page = page.encode()

            refused = self.chromium(other.origin + "/page.html", os.path.join(folder, "p1"))
            browsers.append(refused)
            self.assertTrue(eventually(lambda: other.reports, 60), refused.output())
            refused.end()
            self.assertEqual(other.reports, ["close=1006"])
            self.assertEqual([line for line in companion.screens() if "scoreboard" in line], [])

            browser = self.chromium(allowed.origin + "/page.html", os.path.join(folder, "p2"))
            browsers.append(browser)
            self.assertTrue(companion.wait_for("screen scoreboard: Quiz night", 60),
                            companion.output() + browser.output())
            self.assertTrue(eventually(lambda: allowed.reports == ["open"], 30), allowed.reports)
            browser.end()
        finally:
            for started in browsers:
                started.end()
            for server in (allowed, other):
                if server:
                    server.close()
            status = companion.end() if companion else 0
            shutil.rmtree(folder, ignore_errors=True)
            self.assertEqual(status, 0, companion.output() if companion else "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
