"""A virtual X server of the tests' own for the window tests."""

import os
import select
import shutil
import subprocess
import tempfile
import time

import pytest

SCREEN = "1280x1024x24"
START_TIMEOUT = 30.0


def _read_display_number(fd, proc):
    """The number Xvfb writes to -displayfd once it accepts connections ('' if it never does)."""
    data = b""
    deadline = time.monotonic() + START_TIMEOUT
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return ""
        chunk = os.read(fd, 64)
        if not chunk:  # it exited
            return ""
        data += chunk
    return data.decode().strip()


@pytest.fixture(scope="session")
def display():
    xvfb = shutil.which("Xvfb")
    if xvfb is None:
        pytest.fail(
            "Xvfb is not installed, and the window tests need it: install Debian's xvfb "
            "(tools/system_deps.sh does so when run as root)",
            pytrace=False,
        )
    read_end, write_end = os.pipe()
    with tempfile.TemporaryFile() as log:
        # -displayfd: Xvfb picks a free display number itself, so parallel runs cannot collide.
        try:
            proc = subprocess.Popen(
                [xvfb, "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL,
                stdout=log,
                stderr=log,
                pass_fds=(write_end,),
            )
        finally:
            os.close(write_end)
        try:
            number = _read_display_number(read_end, proc)
            os.close(read_end)
            if not number.isdigit():
                log.seek(0)
                output = log.read().decode(errors="replace")[-2000:]
                pytest.fail(f"Xvfb did not start:\n{output}", pytrace=False)
            yield f":{number}"
        finally:
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
