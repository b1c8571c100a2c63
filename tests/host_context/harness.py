"""Runs a scenario of this folder in a fresh interpreter and returns the result it printed.

The layer chooses its context once per process, and this test process already made its own,
so every scenario about adopting the host's context needs a process of its own."""

import json
import os
import pathlib
import subprocess
import sys

TESTS = pathlib.Path(__file__).resolve().parents[1]


def run_scenario(module, *args, env=None, timeout=120):
    environ = dict(os.environ, **(env or {}))
    command = [sys.executable, "-m", f"host_context.{module}", *map(str, args)]
    proc = subprocess.run(
        command, cwd=TESTS, env=environ, capture_output=True, text=True, timeout=timeout
    )
    lines = [line for line in proc.stdout.splitlines() if line.startswith("RESULT ")]
    where = f"scenario {module} {' '.join(map(str, args))}".strip()
    if proc.returncode != 0 or not lines:
        raise AssertionError(
            f"{where} exited with {proc.returncode}\n"
            f"stdout:\n{proc.stdout[-3000:]}\nstderr:\n{proc.stderr[-3000:]}"
        )
    result = json.loads(lines[-1][len("RESULT ") :])
    if not result["ok"]:
        raise AssertionError(f"{where} failed:\n{result['traceback']}\n{proc.stderr[-2000:]}")
    return result


_results = {}


def scenario_result(module, *args, env=None):
    """`run_scenario`, run once per process for the same arguments; a failure is remembered
    too, so the many tests reading one scenario do not each rerun it."""
    key = (module, args, tuple(sorted((env or {}).items())))
    if key not in _results:
        try:
            _results[key] = (True, run_scenario(module, *args, env=env))
        except AssertionError as exc:
            _results[key] = (False, exc)
    ok, value = _results[key]
    if not ok:
        raise AssertionError(str(value))
    return value
