"""Runs the scenarios of scenarios.py in processes of their own, against a given X display."""

import os
import pathlib

from support.scenario import run_module

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
    where = " ".join([name, *map(str, args)])
    return run_module(module, name, *args, env=display_env(display), where=where, timeout=timeout)
