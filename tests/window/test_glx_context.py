"""The layer's context policy with GLX windows (GLFW under the tests' virtual X server)."""

from window.harness import run_scenario


def run(display, name):
    return run_scenario(display, name, module="window.glx_context")


def test_a_window_opened_after_the_layers_own_context_still_works(display):
    report = run(display, "own-first")
    assert report["context"] == "own headless EGL"
    assert report["same_picture"] and report["window_still_current"]
    assert report["window_clear"] == [0, 255, 0, 255]
    assert report["draw"].startswith("raised LayerError")
    assert "own headless context" in report["draw"] and "current" in report["draw"]
    assert report["window_after_refused_draw"] == [0, 255, 0, 255]


def test_the_window_context_is_adopted_and_guarded(display):
    report = run(display, "adopted")
    assert report["context"] == "adopted GLX"
    assert report["box"] == [16, 8, 47, 23]  # x0, y0, x1, y1 from the window's top-left
    for key in ("with_other", "with_none"):
        assert report[key].startswith("raised LayerError") and "GLX context" in report[key]
        assert "not current" in report[key]
    assert report["works_again"] is True
