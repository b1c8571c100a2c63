"""examples/pygame_buttons.py headless (SDL's dummy video driver): the frame's pixels are the
CPU renderer's gradients, and a press draws a ripple over its button."""

import os
import pathlib
import subprocess
import sys

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "pygame_buttons.py"

SCENARIO = """
import importlib.util, sys
import numpy as np
import pygame

spec = importlib.util.spec_from_file_location("pygame_buttons", sys.argv[1])
example = importlib.util.module_from_spec(spec)
spec.loader.exec_module(example)
frames = []

def pixel(screen, x, y):
    return tuple(screen.get_at((x, y)))[:3]

def script(panel, screen):
    frames.append(1)
    button = panel.buttons[4]
    r = button.rect
    probe = (r.x + r.w // 2, r.y + r.h // 6)  # above the label, inside the rounded corners
    if len(frames) == 1:
        # Opaque gradients: what the screen shows is the renderer's picture.
        expected = button.gradient.render(r.w, r.h)[r.h // 6, r.w // 2, :3]
        seen = pixel(screen, *probe)
        assert seen == tuple(int(v) for v in expected), (seen, expected)
        back = panel.background.render(*screen.get_size())
        assert pixel(screen, 1, 1) == tuple(int(v) for v in back[1, 1, :3])
        script.before = pixel(screen, *probe)
        pygame.event.post(pygame.event.Event(pygame.MOUSEBUTTONDOWN, button=1, pos=probe))
        return True
    if len(frames) == 3:
        after = pixel(screen, *probe)
        # The ripple's bright ring lightens the pressed point.
        assert sum(after) > sum(script.before), (after, script.before)
        print("ok", screen.get_size())
        return False

example.run(script, size=(600, 400))
"""


def test_the_example_paints_its_panel_headless():
    pytest.importorskip("pygame")
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    env.pop("DISPLAY", None)
    proc = subprocess.run(
        [sys.executable, "-c", SCENARIO, str(EXAMPLE)],
        env=env,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "ok (600, 400)" in proc.stdout
