"""Gradients in a window of raylib's Python bindings (pyray).

    .venv/bin/python examples/hosts/with_raylib.py      (or `make window HOST=raylib`)

raylib batches its draws and keeps its camera in its own matrices, so the layer is told about
it once with `rl.attach_host(pyray)`: then each gradient draw first submits raylib's pending
draws (the rectangle drawn before stays under the gradient) and follows raylib's camera,
scissor, blend and texture modes.
"""

import pyray
import scene


def run(frames=None, on_frame=None):
    """Draws until the window closes, after `frames` frames, or when `on_frame(n)` (called with
    each finished frame still in the back buffer) returns True."""
    pyray.set_trace_log_level(pyray.LOG_WARNING)
    pyray.init_window(*scene.SIZE, "zorva_ui in raylib")  # its context is current from here
    from zorva_ui.core.modules import rl

    rl.attach_host(pyray)
    gradient = scene.make_gradient()
    frame = 0
    try:
        while not pyray.window_should_close() and frame != frames:
            pyray.begin_drawing()
            pyray.clear_background(pyray.Color(*scene.BACKGROUND, 255))
            (x, y, w, h), colour = scene.BEFORE
            pyray.draw_rectangle(x, y, w, h, pyray.Color(*colour, 255))
            gradient.draw(*scene.GRADIENT_RECT)
            (x, y, w, h), colour = scene.AFTER
            pyray.draw_rectangle(x, y, w, h, pyray.Color(*colour, 255))
            frame += 1
            if on_frame is not None:
                pyray.rl_draw_render_batch_active()  # the frame complete, for reading back
                if on_frame(frame):
                    break
            pyray.end_drawing()
    finally:
        pyray.close_window()


if __name__ == "__main__":
    run()
