"""The layer's context policy with GLX windows (GLFW under the tests' virtual X server)."""

from window.harness import run_scenario


def run(display, name):
    return run_scenario(display, name, module="window.glx_context")


def test_a_window_opened_after_the_layers_own_context_is_drawn_into(display):
    report = run(display, "own-first")
    assert report["context"] == "adopted GLX"
    assert report["same_picture"] and report["window_still_current"]
    assert report["window_clear"] == [0, 255, 0, 255]
    assert report["draw"] is None  # drawn into the window
    assert report["window_after_draw"] != [0, 255, 0, 255]
    refused = report["foreign"]
    assert refused.startswith("raised LayerError")
    assert "own headless EGL" in refused and "adopted GLX" in refused


def test_each_window_context_is_adopted_at_its_first_call(display):
    report = run(display, "adopted")
    assert report["context"] == "adopted GLX"
    assert report["box"] == [16, 8, 47, 23]  # x0, y0, x1, y1 from the window's top-left
    assert report["with_other"] == "adopted GLX"
    assert report["with_none"] == "own headless EGL"
    assert report["works_again"] is True
