"""The example window (examples/buttons.py) on a virtual X server: the layer adopts the window's
GLX context and draws into it, a press starts a ripple centred at the pointer, a resize
regenerates the button textures, Escape quits, and with no display the example says so."""

import shutil
import subprocess
import sys

import numpy as np
import pytest

from window.harness import EXAMPLE, display_env, run_scenario

TOLERANCE = 3  # per channel: 8-bit textures blended in float on the GPU


def assert_drawn_upright(buttons, width, height):
    """Each button lies in the window and shows its top-to-bottom gradient at its sample's row:
    a flipped or shifted projection of the window puts another row of the gradient there."""
    for b in buttons:
        x, y, w, h = b["rect"]
        assert 0 <= x and x + w <= width and 0 <= y and y + h <= height, b
        t = (b["sample"]["y"] - y + 0.5) / h
        expected = [p + (q - p) * t for p, q in zip(b["top"], b["bottom"], strict=True)]
        assert np.abs(np.array(b["sample"]["rgb"]) - expected).max() <= TOLERANCE, b


def test_the_window_context_is_adopted_and_the_buttons_drawn_upright(display):
    report = run_scenario(display, "open")
    assert report["context"] == "adopted GLX"
    assert_drawn_upright(report["buttons"], *report["size"])


@pytest.mark.parametrize(
    "label, fx, fy",
    [("SAVE", 0.25, 0.18), ("HELP", 0.72, 0.84)],
    ids=["upper-left of a top button", "lower-right of a bottom button"],
)
def test_a_press_draws_a_ripple_centred_at_the_pointer_on_that_button_only(display, label, fx, fy):
    report = run_scenario(display, "press", label, fx, fy)
    before, during, after = (
        np.array(report[name]["crop"], dtype=float) for name in ("before", "during", "after")
    )
    # How far each pixel moved toward the ripple's white: its opacity, whatever the colour under.
    coverage = (during - before).sum(axis=2) / np.maximum((255.0 - before).sum(axis=2), 1.0)
    r = report["radius"]
    assert coverage[r, r] > 0.15, "no ripple at the press point"
    # Far enough from the label at the button's centre, and from its rounded corners.
    for d in (3, 8, 14, 20):
        ring = [coverage[r, r - d], coverage[r, r + d], coverage[r - d, r], coverage[r + d, r]]
        assert max(ring) - min(ring) <= 0.04, (d, ring)
    # Clipped to the pressed button, and gone once it has run its course.
    assert report["during"]["around"] == report["before"]["around"]
    assert np.array_equal(after, before)


@pytest.mark.parametrize(
    "size, grid", [((520, 680), (2, 3)), ((1000, 560), (3, 2))], ids=["portrait", "landscape"]
)
def test_a_resize_regenerates_the_button_textures_at_the_new_size(display, size, grid):
    report = run_scenario(display, "resize", *size)
    rects = [b["rect"] for b in report["after"]]
    assert [r[2:] for r in rects] != [b["rect"][2:] for b in report["before"]]
    for button in report["after"]:
        # gradient, hover gradient and ripple target, all at the button's new size
        assert button["texture_sizes"] == [button["rect"][2:]] * 3, button
    assert (len({r[0] for r in rects}), len({r[1] for r in rects})) == grid
    assert_drawn_upright(report["after"], *size)


def test_idle_it_draws_only_when_woken(display):
    report = run_scenario(display, "idle")
    # One frame before the first sleep, then exactly one per wake-up: nothing while asleep.
    assert report["frames_at_wait"] == [1, 2, 3, 4]


def _overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


@pytest.mark.parametrize("size", [(220, 160), (480, 340)], ids=["below the minimum", "minimum"])
def test_labels_stay_inside_their_buttons_and_apart(display, size):
    buttons = run_scenario(display, "small", *size)["buttons"]
    for b in buttons:
        x, y, w, h = b["rect"]
        lx, ly, lw, lh = b["label_rect"]
        assert x < lx and lx + lw < x + w and y < ly and ly + lh < y + h, b
    rects = [b["rect"] for b in buttons]
    assert not any(_overlap(a, b) for i, a in enumerate(rects) for b in rects[i + 1 :])


@pytest.mark.parametrize("display_name", [None, ":4093"], ids=["unset", "no such server"])
def test_without_a_display_it_says_so_in_one_line_and_exits_with_2(display_name):
    proc = subprocess.run(
        [sys.executable, str(EXAMPLE)],
        env=display_env(display_name),
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert proc.returncode == 2, proc.stderr
    lines = proc.stderr.splitlines()
    assert len(lines) == 1 and "display" in lines[0], proc.stderr
    assert proc.stdout == ""


def test_escape_closes_the_window(display):
    xdotool = shutil.which("xdotool")
    if xdotool is None:
        pytest.skip("xdotool is not installed (real key presses need it)")
    env = display_env(display)
    proc = subprocess.Popen(
        [sys.executable, str(EXAMPLE)], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE
    )
    try:
        found = subprocess.run(
            [xdotool, "search", "--sync", "--onlyvisible", "--name", "zorva_ui buttons"],
            env=env,
            capture_output=True,
            text=True,
            timeout=60,
        )
        window = found.stdout.split()[0]
        subprocess.run([xdotool, "windowfocus", "--sync", window], env=env, timeout=30)
        subprocess.run([xdotool, "key", "--window", window, "Escape"], env=env, timeout=30)
        out, err = proc.communicate(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            out, err = proc.communicate()
    assert (proc.returncode, out, err) == (0, b"", b"")
