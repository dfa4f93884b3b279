"""What the Python tests share: waiting for a condition, and programs of the
test's own (the server, the simulator, Prometheus) with their output
collected line by line."""
import re
import subprocess
import threading
import time

WAIT = 30  # seconds for what should take a moment, or a scrape or two


def until(what, check, timeout=WAIT):
    """check()'s first true answer, tried every 0.2 s."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        got = check()
        if got:
            return got
        time.sleep(0.2)
    raise AssertionError(f"no {what} within {timeout} s")


class Program:
    """A program of the test's own, its output collected line by line."""

    def __init__(self, *args):
        self.lines = []
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        with self.process.stdout:
            for line in self.process.stdout:
                self.lines.append(line.rstrip("\n"))

    def seen(self, pattern, timeout=WAIT):
        """The first line's match of pattern, waited for."""
        return until(repr(pattern), lambda: next(
            (m for m in map(re.compile(pattern).search, list(self.lines)) if m), None), timeout)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
