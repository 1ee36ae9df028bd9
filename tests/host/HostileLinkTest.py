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
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from WebSocketLinkTest import (HOST, TOKEN, WATCH, Companion, Process,  # noqa: E402
                               eventually, handshake_status, run)


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
        for limit in (5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17, 20, 25):
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
        self.assertIn(25, started)
        self.assertNotIn(5, started)

    def test_no_spin_when_descriptors_run_out(self):
        folder = tempfile.mkdtemp()
        companion = Companion(folder, "--headless", "--token", TOKEN,
                              preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE,
                                                                    (20, 20)))
        held = []
        try:
            # Connections that never send a byte, until the companion cannot take more: the
            # rest wait in the kernel's backlog and each accept fails at once.
            for _ in range(30):
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
