"""Runs the scenarios of scenarios.py in processes of their own, against a given X display."""

import json
import os
import pathlib
import subprocess
import sys

TESTS = pathlib.Path(__file__).resolve().parents[1]
EXAMPLE = TESTS.parent / "examples" / "buttons.py"


def display_env(display):
    """The environment of a process that must talk to `display` (None: no display at all)."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"):
        env.pop(name, None)
    if display is not None:
        env["DISPLAY"] = display
    return env


def run_scenario(display, name, *args, timeout=120, module="window.scenarios"):
    """Runs one scenario of `module` against `display`; returns its findings."""
    command = [sys.executable, "-m", module, name, *map(str, args)]
    proc = subprocess.run(
        command,
        cwd=TESTS,
        env=display_env(display),
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    lines = [line for line in proc.stdout.splitlines() if line.startswith("RESULT ")]
    where = " ".join([name, *map(str, args)])
    if proc.returncode != 0 or not lines:
        raise AssertionError(
            f"scenario {where} exited with {proc.returncode}\n"
            f"stdout:\n{proc.stdout[-3000:]}\nstderr:\n{proc.stderr[-3000:]}"
        )
    report = json.loads(lines[-1][len("RESULT ") :])
    if not report["ok"]:
        raise AssertionError(
            f"scenario {where} failed:\n{report['traceback']}{proc.stderr[-2000:]}"
        )
    return report
