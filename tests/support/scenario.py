"""Scenarios that need a process of their own (a context chosen once per process, a display):
they print one line `RESULT <json>` with at least `ok`, and `traceback` when not ok."""

import json
import pathlib
import subprocess
import sys

TESTS = pathlib.Path(__file__).resolve().parents[1]


def run_module(module, *args, env, where, timeout=120):
    """Runs `python -m module args...` from the tests folder; returns the scenario's result, or
    fails with its exit status and output when it crashed, printed nothing or was not ok."""
    proc = subprocess.run(
        [sys.executable, "-m", module, *map(str, args)],
        cwd=TESTS,
        env=env,
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    lines = [line for line in proc.stdout.splitlines() if line.startswith("RESULT ")]
    if proc.returncode != 0 or not lines:
        raise AssertionError(
            f"scenario {where} exited with {proc.returncode}\n"
            f"stdout:\n{proc.stdout[-3000:]}\nstderr:\n{proc.stderr[-3000:]}"
        )
    result = json.loads(lines[-1][len("RESULT ") :])
    if not result["ok"]:
        raise AssertionError(
            f"scenario {where} failed:\n{result['traceback']}{proc.stderr[-2000:]}"
        )
    return result
