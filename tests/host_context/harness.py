"""Runs a scenario of this folder in a fresh interpreter and returns the result it printed.

The layer chooses its context once per process, and this test process already made its own,
so every scenario about adopting the host's context needs a process of its own."""

import os

from support.scenario import run_module


def run_scenario(module, *args, env=None, timeout=120):
    where = f"{module} {' '.join(map(str, args))}".strip()
    environ = dict(os.environ, **(env or {}))
    return run_module(f"host_context.{module}", *args, env=environ, where=where, timeout=timeout)


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
