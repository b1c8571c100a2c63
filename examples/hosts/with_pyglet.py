"""Gradients in a pyglet window, among pyglet's own shapes.

    .venv/bin/python examples/hosts/with_pyglet.py      (or `make window HOST=pyglet`)

pyglet's window context is current once the window exists, so the layer adopts it at its first
call. pyglet counts y upwards from the bottom; the layer's rectangles count down from the top.
"""

import pyglet

pyglet.options["shadow_window"] = False  # one context: the window's, which the layer adopts

import scene  # noqa: E402


def shape(rect, colour, batch):
    x, y, w, h = rect
    return pyglet.shapes.Rectangle(x, scene.SIZE[1] - y - h, w, h, color=colour, batch=batch)


def run(frames=None, on_frame=None):
    """Draws until the window closes, after `frames` frames, or when `on_frame(n)` (called with
    each finished frame still in the back buffer) returns True."""
    window = pyglet.window.Window(*scene.SIZE, caption="zorva_ui in pyglet")
    gradient = scene.make_gradient()
    before, after = pyglet.graphics.Batch(), pyglet.graphics.Batch()
    shapes = [shape(*scene.BEFORE, before), shape(*scene.AFTER, after)]  # noqa: F841 (kept)
    pyglet.gl.glClearColor(*(c / 255 for c in scene.BACKGROUND), 1.0)
    frame = 0
    try:
        while not window.has_exit and frame != frames:
            window.dispatch_events()
            window.clear()
            before.draw()
            gradient.draw(*scene.GRADIENT_RECT)
            after.draw()
            frame += 1
            if on_frame is not None and on_frame(frame):
                break
            window.flip()
    finally:
        window.close()


if __name__ == "__main__":
    run()
