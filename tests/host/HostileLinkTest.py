#!/usr/bin/python3
"""dunvel-watch's ways in under a hostile or careless local user: low descriptor limits, a
descriptor flood, wrong tokens, slow handshakes and a token kept off the command line. Each case
starts its own companion on loopback, and every wait is bounded.

    HostileLinkTest.py [unittest arguments]      (DUNVEL_WATCH, DUNVEL_HOST)
"""
import asyncio
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from child_processes import Process, eventually  # noqa: E402
from WebSocketLinkTest import HOST, TOKEN, WATCH, Companion, handshake_status, run  # noqa: E402


def cpu_seconds(pid):
    """User and system time the process has used so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def push(url_or_link, name, *options, timeout=30):
    return subprocess.run([HOST, "push", "-", "--message", "--link", url_or_link, *options],
                          input=('{"screen": "board", "gameName": "%s"}' % name).encode(),
                          capture_output=True, timeout=timeout)


class LowLimits(unittest.TestCase):
    def test_any_descriptor_limit_ends_cleanly(self):
        # Too few descriptors for the loop, the socket or the endpoint: one line and status 1,
        # nothing left behind; enough: it runs and ends on SIGTERM with 0. Never an abort.
        started = []
        for limit in (5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17, 20, 25, 40):
            folder = tempfile.mkdtemp()
            try:
                def lower():
                    resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))

                companion = subprocess.Popen(
                    [WATCH, "--headless", "--link", os.path.join(folder, "link.sock"), "--listen",
                     "ws://127.0.0.1:0"], stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, preexec_fn=lower)
                try:
                    out, err = companion.communicate(timeout=3)
                except subprocess.TimeoutExpired:
                    companion.send_signal(signal.SIGTERM)
                    out, err = companion.communicate(timeout=15)
                    self.assertEqual(companion.returncode, 0, (limit, out, err))
                    started.append(limit)
                else:
                    self.assertEqual(companion.returncode, 1, (limit, out, err))
                    lines = err.decode().splitlines()
                    self.assertEqual(len(lines), 1, (limit, err))
                    self.assertTrue(lines[0].startswith("dunvel-watch: "), (limit, err))
                self.assertEqual(os.listdir(folder), [], limit)
            finally:
                shutil.rmtree(folder, ignore_errors=True)
        self.assertIn(40, started)
        self.assertNotIn(5, started)

    def test_no_spin_when_descriptors_run_out(self):
        folder = tempfile.mkdtemp()
        companion = Companion(folder, "--headless", "--token", TOKEN,
                              preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE,
                                                                    (40, 40)))
        held = []
        try:
            # Connections that never send a byte, until the companion cannot take more: the
            # rest wait in the kernel's backlog and each accept fails at once.
            for _ in range(50):
                held.append(socket.create_connection(("127.0.0.1", companion.port)))
            time.sleep(0.5)
            before = cpu_seconds(companion.process.pid)
            time.sleep(2.0)
            used = cpu_seconds(companion.process.pid) - before
            self.assertLess(used, 0.5, "the accept loop spins")
            for connection in held:
                connection.close()
            held = []
            # Once descriptors are free again the endpoint serves as before.
            self.assertTrue(eventually(lambda: push(companion.url, "after").returncode == 0,
                                       within=20))
        finally:
            for connection in held:
                connection.close()
            self.assertEqual(companion.end(), 0, companion.output())
            shutil.rmtree(folder, ignore_errors=True)


def raw_request(port, request, source="127.0.0.1", within=10.0):
    """Sends one raw HTTP request from a loopback source address; the status of the answer, or
    None when the connection closed without one."""
    with socket.create_connection(("127.0.0.1", port), timeout=within,
                                  source_address=(source, 0)) as connection:
        connection.sendall(request.encode())
        answer = b""
        while b"\r\n" not in answer:
            chunk = connection.recv(4096)
            if not chunk:
                return None
            answer += chunk
        return int(answer.split(b" ", 2)[1])


def upgrade(path, extra=""):
    return ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
            "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Sec-WebSocket-Version: 13\r\n%s\r\n" % (path, extra))


class Lockout(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.companion = Companion(self.folder, "--headless", "--token", TOKEN)
        self.port = self.companion.port

    def tearDown(self):
        status = self.companion.end()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.assertEqual(status, 0, self.companion.output())

    def test_the_right_token_is_never_refused(self):
        # A browser and a port scan guess nothing: plain GET and HEAD, and an upgrade without a
        # token, are answered 401 as often as they come and slow nobody down.
        for _ in range(6):
            for request in ("GET /link HTTP/1.1\r\nHost: x\r\n\r\n",
                            "HEAD /link?token=nope HTTP/1.1\r\nHost: x\r\n\r\n",
                            upgrade("/link")):
                self.assertEqual(raw_request(self.port, request), 401)
        # Wrong tokens on upgrades: three are answered 401, then 429, a second late.
        statuses = [raw_request(self.port, upgrade("/link?token=wrong-%d" % i)) for i in range(3)]
        started = time.monotonic()
        statuses.append(raw_request(self.port, upgrade("/link?token=wrong")))
        self.assertGreaterEqual(time.monotonic() - started, 0.9)
        self.assertEqual(statuses, [401, 401, 401, 429])

        # Someone keeps guessing from the host's own address; the host's pushes all go through.
        stop = threading.Event()

        def guess():
            while not stop.is_set():
                raw_request(self.port, upgrade("/link?token=guess"))
                stop.wait(0.2)

        guesser = threading.Thread(target=guess)
        guesser.start()
        try:
            for attempt in range(3):
                pushed = push(self.companion.url, "through-%d" % attempt)
                self.assertEqual(pushed.returncode, 0, pushed.stderr)
        finally:
            stop.set()
            guesser.join()
        self.assertTrue(self.companion.wait_for("scoreboard: through-2"))

    def test_guesses_from_many_addresses_are_slowed_down_together(self):
        # Each guess from an address of its own: none of them is slowed down by its own
        # strikes, but together they are past the cap of all addresses.
        answers = {}
        lock = threading.Lock()
        started = time.monotonic()

        def guesses(first):
            for i in range(first, first + 40):
                status = raw_request(self.port, upgrade("/link?token=guess"),
                                     source="127.0.%d.%d" % (1 + i // 250, 1 + i % 250))
                with lock:
                    answers[status] = answers.get(status, 0) + 1

        workers = [threading.Thread(target=guesses, args=(40 * n,)) for n in range(5)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        elapsed = time.monotonic() - started
        self.assertEqual(set(answers) - {401, 429}, set(), answers)
        self.assertEqual(sum(answers.values()), 200)
        # At most 20 wrong tokens a second are answered 401 in all.
        self.assertLessEqual(answers.get(401, 0), 21 * (elapsed + 1), (answers, elapsed))
        self.assertGreater(answers.get(429, 0), 0, answers)
        # The host gets in all the same.
        pushed = push(self.companion.url, "after-guesses")
        self.assertEqual(pushed.returncode, 0, pushed.stderr)


class SlowHandshakes(unittest.TestCase):
    def test_a_connection_closed_before_any_answer_is_named_as_such(self):
        with socket.socket() as listener:
            listener.bind(("127.0.0.1", 0))
            listener.listen(4)
            port = listener.getsockname()[1]

            def close_each():
                listener.settimeout(20)
                try:
                    connection, _ = listener.accept()
                    connection.recv(4096)
                    connection.close()
                except OSError:
                    pass

            closer = threading.Thread(target=close_each)
            closer.start()
            pushed = push("ws://127.0.0.1:%d/link?token=%s" % (port, TOKEN), "nobody")
            closer.join()
        self.assertEqual(pushed.returncode, 1)
        self.assertIn(b"closed the connection before answering", pushed.stderr)
        self.assertIn(b"wss://", pushed.stderr)
        self.assertNotIn(b"200 OK", pushed.stderr)

    def test_a_host_gets_in_while_500_slow_connections_are_held(self):
        folder = tempfile.mkdtemp()
        companion = Companion(folder, "--headless", "--token", TOKEN)
        stop = threading.Event()
        opened = [0]

        def hold():
            # 500 connections from the host's own address, each sending its request a byte every
            # 0.2 s and opening again as soon as it is closed.
            request = upgrade("/link?token=" + TOKEN).encode()
            connections = {}

            def open_one():
                try:
                    connection = socket.create_connection(("127.0.0.1", companion.port), timeout=5)
                except OSError:
                    return
                connection.setblocking(False)
                connections[connection] = 0
                opened[0] += 1

            for _ in range(500):
                open_one()
            while not stop.is_set():
                for connection in list(connections):
                    sent = connections[connection]
                    try:
                        closed = connection.recv(1, socket.MSG_PEEK) == b""
                    except BlockingIOError:
                        closed = False
                    except OSError:
                        closed = True
                    if closed or sent >= len(request) - 1:
                        del connections[connection]
                        connection.close()
                        open_one()
                        continue
                    try:
                        connection.send(request[sent:sent + 1])
                        connections[connection] = sent + 1
                    except OSError:
                        pass
                stop.wait(0.2)
            for connection in connections:
                connection.close()

        holder = threading.Thread(target=hold)
        holder.start()
        try:
            self.assertTrue(eventually(lambda: opened[0] >= 500, within=30), opened)
            for attempt in range(3):
                pushed = push(companion.url, "slow-%d" % attempt)
                self.assertEqual(pushed.returncode, 0, pushed.stderr)
            self.assertTrue(companion.wait_for("scoreboard: slow-2"), companion.output())
            # More connections were opened than held: the companion made room by closing old ones.
            self.assertGreater(opened[0], 500)
        finally:
            stop.set()
            holder.join()
            status = companion.end()
            shutil.rmtree(folder, ignore_errors=True)
        self.assertEqual(status, 0, companion.output())


def raw_answer(port, data, within=10.0):
    """Everything the companion answers to raw bytes, until it closes the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=within) as connection:
        connection.sendall(data)
        answer = b""
        while True:
            try:
                chunk = connection.recv(65536)
            except ConnectionResetError:
                break
            if not chunk:
                break
            answer += chunk
        return answer


def masked_text_frame(text):
    payload = text.encode()
    mask = os.urandom(4)
    if len(payload) < 126:
        length = bytes([0x80 | len(payload)])
    elif len(payload) < 65536:
        length = bytes([0x80 | 126]) + len(payload).to_bytes(2, "big")
    else:
        length = bytes([0x80 | 127]) + len(payload).to_bytes(8, "big")
    return (bytes([0x81]) + length + mask +
            bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


class Details(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_answers_to_odd_requests_and_the_goodbye(self):
        companion = Companion(self.folder, "--headless", "--token", TOKEN)
        # Once signalled, the companion is left to end by itself: a second SIGTERM that comes
        # after it has put its signal watcher away ends it as the signal's default does.
        signalled = False
        try:
            port = companion.port
            # HEAD: the headers of the answer, no body.
            head = raw_answer(port, b"HEAD /link HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertTrue(head.startswith(b"HTTP/1.1 401 "), head)
            self.assertTrue(head.endswith(b"\r\n\r\n"), head)
            self.assertIn(b"Content-Length: ", head)
            # Headers past 16 KiB: 431. An HTTP/2 preface: 400.
            big = raw_answer(port, b"GET /link HTTP/1.1\r\nHost: x\r\nX-Pad: " +
                             b"a" * 20000 + b"\r\n\r\n")
            self.assertTrue(big.startswith(b"HTTP/1.1 431 "), big[:80])
            preface = raw_answer(port, b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n")
            self.assertTrue(preface.startswith(b"HTTP/1.1 400 "), preface[:80])
            # An empty Origin is no origin that was allowed.
            self.assertEqual(raw_request(port, upgrade("/link?token=" + TOKEN, "Origin: \r\n")),
                             403)

            # A large frame sent in the same write as the upgrade request, and one of which only
            # a part comes with it, are frames like any other.
            pad = "x" * 100000
            for split in (None, 700):
                frame = masked_text_frame('{"type":"context","payload":{"screen":"board",'
                                          '"gameName":"big-%s","pad":"%s"}}' % (split, pad))
                data = upgrade("/link?token=" + TOKEN).encode() + frame
                cut = len(data) if split is None else len(data) - len(frame) + split
                with socket.create_connection(("127.0.0.1", port), timeout=10) as host:
                    host.sendall(data[:cut])
                    time.sleep(0.2)
                    host.sendall(data[cut:])
                    self.assertTrue(companion.wait_for("scoreboard: big-%s" % split),
                                    companion.output())

            # A frame sent in the same write as the upgrade request is the first frame.
            with socket.create_connection(("127.0.0.1", port), timeout=10) as host:
                host.sendall(upgrade("/link?token=" + TOKEN).encode() + masked_text_frame(
                    '{"type":"context","payload":{"screen":"board","gameName":"early"}}'))
                answer = b""
                while b"\r\n\r\n" not in answer:
                    answer += host.recv(4096)
                self.assertIn(b" 101 ", answer.split(b"\r\n")[0])
                self.assertTrue(companion.wait_for("scoreboard: early"), companion.output())

                # On SIGTERM the admitted host is told the companion goes away: close 1001.
                os.killpg(companion.process.pid, signal.SIGTERM)
                signalled = True
                frames = answer.split(b"\r\n\r\n", 1)[1]
                while True:
                    try:
                        chunk = host.recv(4096)
                    except (ConnectionResetError, socket.timeout):
                        break
                    if not chunk:
                        break
                    frames += chunk
                self.assertGreaterEqual(len(frames), 4, frames)
                self.assertEqual(frames[0] & 0x0F, 0x8, "a close frame: %r" % frames[:8])
                self.assertEqual(int.from_bytes(frames[2:4], "big"), 1001, frames[:8])
        finally:
            self.assertEqual(companion.end(0 if signalled else signal.SIGTERM), 0,
                             companion.output())

    def test_origins_as_browsers_send_them(self):
        for origin, problem in (("http://localhost:8000/", "trailing slash"),
                                ("", "cannot be empty"), ("null", "not an origin")):
            ended = subprocess.run([WATCH, "--headless", "--link",
                                    os.path.join(self.folder, "link.sock"), "--listen",
                                    "ws://127.0.0.1:0", "--allow-origin", origin],
                                   capture_output=True, timeout=20)
            self.assertEqual(ended.returncode, 2, ended)
            self.assertIn(problem.encode(), ended.stderr)
            self.assertEqual(len(ended.stderr.splitlines()), 1, ended.stderr)
        # Scheme and host in any case, the default port written or not: the same origin.
        companion = Companion(self.folder, "--headless", "--token", TOKEN, "--allow-origin",
                              "HTTP://LocalHost:80", "--allow-origin", "https://example.test")
        try:
            for origin, status in (("http://localhost", 101), ("http://LOCALHOST:80", 101),
                                   ("https://example.test:443", 101),
                                   ("http://localhost:8000", 403), ("null", 403)):
                got = raw_request(companion.port, upgrade("/link?token=" + TOKEN,
                                                          "Origin: %s\r\n" % origin))
                self.assertEqual(got, status, origin)
        finally:
            self.assertEqual(companion.end(), 0, companion.output())

    def test_tls_files_that_would_block_or_prompt(self):
        cert = os.path.join(self.folder, "cert.pem")
        key = os.path.join(self.folder, "key.pem")
        locked = os.path.join(self.folder, "locked.pem")
        phrase = os.path.join(self.folder, "phrase")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True, timeout=60)
        subprocess.run(["openssl", "pkey", "-in", key, "-out", locked, "-aes256", "-passout",
                        "pass:secret-phrase"], check=True, capture_output=True, timeout=60)
        with open(os.open(phrase, os.O_WRONLY | os.O_CREAT, 0o600), "w") as file:
            file.write("secret-phrase\n")
        os.chmod(key, 0o600)
        fifo = os.path.join(self.folder, "fifo")
        os.mkfifo(fifo)
        link = os.path.join(self.folder, "link.sock")

        def start(*tls):
            return subprocess.run([WATCH, "--headless", "--link", link, "--listen",
                                   "wss://127.0.0.1:0", *tls], capture_output=True, timeout=20,
                                  stdin=subprocess.DEVNULL)

        for tls, problem in (
                (["--tls-cert", fifo, "--tls-key", key], b"certificate " + fifo.encode() +
                 b" is not a regular file"),
                (["--tls-cert", cert, "--tls-key", fifo], b"is not a regular file"),
                (["--tls-cert", cert + ".missing", "--tls-key", key],
                 b"cannot read the TLS certificate " + cert.encode() +
                 b".missing: No such file or directory"),
                (["--tls-cert", cert, "--tls-key", locked],
                 b"is encrypted: give its pass phrase with --tls-key-pass-file FILE")):
            ended = start(*tls)
            self.assertEqual(ended.returncode, 1, ended)
            self.assertEqual(len(ended.stderr.splitlines()), 1, ended.stderr)
            self.assertIn(problem, ended.stderr)
            self.assertFalse(os.path.exists(link))

        # The encrypted key with its pass phrase from a file; a key others can read is warned of.
        os.chmod(key, 0o644)
        for tls, warned in ((["--tls-key", locked, "--tls-key-pass-file", phrase], False),
                            (["--tls-key", key], True)):
            companion = Process([WATCH, "--headless", "--link", link, "--listen",
                                 "wss://127.0.0.1:0", "--tls-cert", cert, *tls])
            try:
                self.assertTrue(companion.wait_for("WebSocket link on wss://"), companion.output())
                self.assertEqual("can be read by other users" in companion.err, warned,
                                 companion.err)
            finally:
                self.assertEqual(companion.end(), 0, companion.output())


class TokenFiles(unittest.TestCase):
    """The token stays off every command line: the companion reads it from a file, the host from
    the URL file the companion wrote for that address."""

    def setUp(self):
        self.runtime = tempfile.mkdtemp()
        self.folder = os.path.join(self.runtime, "dunvel")
        os.mkdir(self.folder, 0o700)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        self.token_file = os.path.join(self.runtime, "token")
        with open(os.open(self.token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as file:
            file.write(TOKEN + "\n")
        self.companions = []

    def tearDown(self):
        for companion in self.companions:
            companion.end()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def start(self, socket_name, *options):
        companion = CompanionAt(os.path.join(self.folder, socket_name), "--headless", *options,
                                env=self.env)
        self.companions.append(companion)
        return companion

    def host(self, *arguments, name="pushed"):
        return subprocess.run([HOST, "push", "-", "--message", *arguments],
                              input=('{"screen": "board", "gameName": "%s"}' % name).encode(),
                              capture_output=True, timeout=30, env=self.env)

    def test_no_token_on_any_command_line_and_one_url_file_per_socket(self):
        first = self.start("link.sock", "--token-file", self.token_file)
        second = self.start("other.sock")
        self.assertNotIn("warning", first.err)
        with open("/proc/%d/cmdline" % first.process.pid, "rb") as cmdline:
            self.assertNotIn(TOKEN.encode(), cmdline.read())
        self.assertTrue(first.url.endswith("?token=" + TOKEN), first.url)
        self.assertNotEqual(first.url, second.url)

        # ws://ADDRESS:PORT alone: each host reaches the companion of that port, through the URL
        # file that companion wrote.
        for companion, name in ((first, "first"), (second, "second")):
            pushed = self.host("--link", "ws://127.0.0.1:%d" % companion.port, name=name)
            self.assertEqual(pushed.returncode, 0, pushed.stderr)
            self.assertTrue(companion.wait_for("scoreboard: " + name), companion.output())
        pushed = self.host("--link-file", second.socket + ".url", name="by-file")
        self.assertEqual(pushed.returncode, 0, pushed.stderr)
        self.assertTrue(second.wait_for("scoreboard: by-file"), second.output())

        # A port no companion here wrote a URL file for: one line, status 1.
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            free = unused.getsockname()[1]
        pushed = self.host("--link", "ws://127.0.0.1:%d" % free)
        self.assertEqual(pushed.returncode, 1)
        self.assertEqual(len(pushed.stderr.decode().splitlines()), 1, pushed.stderr)
        self.assertIn(b"no companion in", pushed.stderr)
        self.assertEqual(self.host("--link-file", "/dev/null", "--link", "x").returncode, 2)

        # The second one ending takes its own URL file away and leaves the first's.
        self.assertEqual(second.end(), 0, second.output())
        self.assertEqual(sorted(os.listdir(self.folder)), ["link.sock", "link.sock.url"])
        self.assertEqual(first.end(), 0, first.output())
        self.assertEqual(os.listdir(self.folder), [])

    def test_token_warnings_and_files_that_would_block(self):
        companion = self.start("link.sock", "--token", TOKEN)
        self.assertIn("dunvel-watch: warning: --token is on the command line", companion.err)
        self.assertEqual(companion.end(), 0)
        os.chmod(self.token_file, 0o644)
        companion = self.start("link.sock", "--token-file", self.token_file)
        self.assertIn("can be read by other users", companion.err)
        self.assertEqual(companion.end(), 0)

        # A FIFO as the token file or at the URL path: refused in one line, never waited on.
        fifo = os.path.join(self.runtime, "fifo")
        os.mkfifo(fifo)
        os.mkfifo(os.path.join(self.folder, "link.sock.url"))
        for options in (["--token-file", fifo], []):
            ended = subprocess.run([WATCH, "--headless", "--link",
                                    os.path.join(self.folder, "link.sock"), "--listen",
                                    "ws://127.0.0.1:0", *options],
                                   capture_output=True, timeout=20, env=self.env)
            self.assertEqual(ended.returncode, 1, ended)
            self.assertEqual(len(ended.stderr.decode().splitlines()), 1, ended.stderr)
            self.assertIn(b"not a regular file", ended.stderr)
        self.assertEqual(sorted(os.listdir(self.folder)), ["link.sock.url"])
        os.unlink(os.path.join(self.folder, "link.sock.url"))

        # A symbolic link at the URL path is replaced, and what it pointed to is left alone.
        target = os.path.join(self.runtime, "target")
        with open(target, "w") as file:
            file.write("untouched")
        os.symlink(target, os.path.join(self.folder, "link.sock.url"))
        companion = self.start("link.sock", "--token-file", self.token_file)
        self.assertFalse(os.path.islink(companion.socket + ".url"))
        with open(target) as file:
            self.assertEqual(file.read(), "untouched")
        self.assertEqual(companion.end(), 0)


class CompanionAt(Companion):
    """A companion on a socket of the given path rather than link.sock."""

    def __init__(self, socket_path, *options, env=None):
        self.socket_path = socket_path
        super().__init__(os.path.dirname(socket_path), *options, env=env)


if __name__ == "__main__":
    unittest.main()
