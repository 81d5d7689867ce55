"""Child Python processes for the Ctrl-C tests, read line by line with a
timeout, so that a child that never answers fails the test instead of
hanging it."""

import queue
import subprocess
import sys
import threading

# First lines of a child script: Python installs its KeyboardInterrupt
# handler only where SIGINT was not ignored at start-up, and a child
# inherits an ignored SIGINT (from nohup, a CI runner, a background job).
RESTORE_SIGINT = "import signal; signal.signal(signal.SIGINT, signal.default_int_handler)\n"


class Child:
    """`python -c script *args`, its standard output read by a thread."""

    def __init__(self, script, *args):
        self.process = subprocess.Popen([sys.executable, "-c", RESTORE_SIGINT + script, *args],
                                        stdout=subprocess.PIPE, text=True)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self._lines.put(line.strip())
        self._lines.put(None)

    def line(self, timeout):
        """The next line of output, None at its end; AssertionError after
        `timeout` seconds without one."""
        try:
            return self._lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError(f"no output from the child within {timeout} s") from None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.process.stdout.close()
