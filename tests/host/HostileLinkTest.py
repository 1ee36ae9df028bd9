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
                     "ws://127.0.0.1:0", "--token", TOKEN], stdout=subprocess.PIPE,
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


if __name__ == "__main__":
    unittest.main()
