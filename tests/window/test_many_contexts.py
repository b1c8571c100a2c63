"""The layer in every GL context of the process (many_contexts.py): gradients made before the
window, two windows with and without shared objects, a window closed and another opened, and
raylib's own window. Pictures against the CPU renderer within 2; the hosts' drawing intact."""

import pytest

from window.harness import run_scenario


def run(display, name):
    return run_scenario(display, name, module="window.many_contexts")


def assert_close(comparison):
    assert comparison["max"] <= 2 and comparison["count"] == 0, comparison


@pytest.mark.parametrize("name", ["before-window", "pyray"])
def test_gradients_made_before_the_window_draw_in_it(display, name):
    report = run(display, name)
    assert_close(report["into window"])
    assert_close(report["handed to host"])  # a generated texture drawn by the host itself


def test_a_headless_render_texture_is_refused_in_the_window(display):
    report = run(display, "before-window")
    assert report["contexts"] == ["own headless EGL", "adopted GLX"]
    refused = report["headless in window"]
    assert refused.startswith("raised LayerError"), refused
    assert "own headless EGL context 0x" in refused and "adopted GLX context 0x" in refused
    assert report["host intact"]


@pytest.mark.parametrize("shared", [False, True], ids=["unshared", "shared"])
def test_two_windows_drawn_in_turn(display, shared):
    report = run(display, "shared" if shared else "unshared")
    assert_close(report["first"])
    assert_close(report["second"])
    assert_close(report["after close"])
    assert report["host intact"]
    assert report["contexts"] == 3  # the headless one and both windows
    assert len(report["share groups"]) == (1 if shared else 2)
    assert report["alive after close"] == [True, False, True]
    if shared:
        assert report["crossed"] is None
        assert_close(report["crossed picture"])
    else:
        assert report["crossed"].startswith("raised LayerError") and "share" in report["crossed"]


def test_a_closed_window_is_forgotten_and_its_objects_go_quietly(display):
    report = run(display, "reopen")
    for picture in ("before", "after", "again"):
        assert_close(report[picture])
    assert report["old target"] == (
        "raised LayerError: the context this render texture lived in was destroyed (its "
        "window was closed); create it again in the current context"
    )
    assert report["old texture drawn"] is None  # textures keep their pixels: uploaded again
    assert report["unloaded"] == report["collected"] == "done"
    assert report["alive"] == [True, False, True]
    assert report["host intact"]
