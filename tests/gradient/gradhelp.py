"""Helpers for the gradient module's tests: the module, the layer's call trace, a reference
implementation of the stop arithmetic, and subprocess runs."""

import contextlib
import math
import struct
import subprocess
import sys
import textwrap

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvraygrad import zvraygrad as zg

__all__ = ["f32", "reference_stops", "rl", "run_python", "tracing", "zg"]


def f32(value):
    """`value` rounded to a 32-bit float, as a Python float (IEEE: beyond the range, infinity)."""
    try:
        return struct.unpack("f", struct.pack("f", value))[0]
    except OverflowError:
        return math.copysign(math.inf, value)


def reference_stops(weights):
    """The stop positions for float32 weights, step by step in the precision each step uses:
    boundaries as float32 running sums computed in double, the first and last stops in double,
    the middle ones in float32."""
    weights = [f32(w) for w in weights]
    n = len(weights)
    if n == 0:
        return []
    if n == 1:
        return [0.0]
    total = 0.0
    for w in weights:
        total += w
    if total <= 0:
        total = 1.0
    bounds = [0.0]
    current = 0.0
    for w in weights:
        current = f32(current + w / total)
        bounds.append(current)
    stops = []
    for i in range(n):
        if i == 0:
            b = bounds[1]
            stops.append(f32(max(0.0, b - min(b, 1.0 - b))))
        elif i == n - 1:
            b = bounds[n - 1]
            stops.append(f32(min(1.0, b + min(b, 1.0 - b))))
        else:
            stops.append(f32(f32(bounds[i] + bounds[i + 1]) * 0.5))
    return stops


class Trace:
    """The layer's records of one `with` block; `calls` holds them after the block."""

    def __init__(self):
        self.calls = []

    def names(self):
        return [c[0] for c in self.calls]

    def of(self, name):
        return [c for c in self.calls if c[0] == name]


@contextlib.contextmanager
def tracing():
    trace = Trace()
    rl.trace_start()
    try:
        yield trace
    finally:
        trace.calls = list(rl.trace_stop())


def run_python(code, *, check=True):
    """Runs `code` in a fresh interpreter; returns the completed process."""
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
    )
    if check and proc.returncode != 0:
        raise AssertionError(f"subprocess failed:\n{proc.stdout}\n{proc.stderr}")
    return proc
