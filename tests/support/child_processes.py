"""What the Python tests share: waiting for a condition within a bound, a child process whose
output is collected as it comes, and a private X display."""
import os
import signal
import subprocess
import threading
import time


def eventually(check, within=10.0, every=0.05):
    """Whether check() comes true within `within` seconds, asked every `every` seconds."""
    deadline = time.monotonic() + within
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(every)
    return check()


class Process:
    """A child process whose output is collected as it comes."""

    def __init__(self, arguments, env=None, preexec_fn=None):
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env, start_new_session=True,
                                        preexec_fn=preexec_fn)
        self.lock = threading.Lock()
        self.out = ""
        self.err = ""
        self.readers = [threading.Thread(target=self._collect, args=(self.process.stdout, "out")),
                        threading.Thread(target=self._collect, args=(self.process.stderr, "err"))]
        for reader in self.readers:
            reader.start()

    def _collect(self, stream, name):
        for line in iter(stream.readline, b""):
            with self.lock:
                setattr(self, name, getattr(self, name) + line.decode("utf-8", "replace"))

    def output(self):
        with self.lock:
            return self.out + self.err

    def wait_for(self, text, within=15.0):
        return eventually(lambda: text in self.output(), within)

    def end(self, sig=signal.SIGTERM, within=15.0):
        """Signals the process (sig 0: lets it end by itself) and waits for its status."""
        if sig and self.process.poll() is None:
            os.killpg(self.process.pid, sig)
        try:
            status = self.process.wait(within)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            status = self.process.wait()
        for reader in self.readers:
            reader.join()
        self.process.stdout.close()
        self.process.stderr.close()
        return status


class Xvfb:
    """A virtual X display of its own, on a display number Xvfb picks itself."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "640x640x24", "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.endswith(b"\n"):
            self.end()
            raise AssertionError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def end(self):
        self.process.terminate()
        self.process.wait(15)
