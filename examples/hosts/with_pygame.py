"""Gradients in a pygame-ce window opened with an OpenGL display.

    .venv/bin/python examples/hosts/with_pygame.py      (or `make window HOST=pygame-gl`)

pygame's 2D drawing does not reach an OpenGL display, so the host draws with moderngl on the
same context here (a clear, and rectangles as clipped clears). `set_mode` makes the context
current, so the layer adopts it at its first call.
"""

import os

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")

import moderngl  # noqa: E402
import pygame  # noqa: E402
import scene  # noqa: E402


def open_window():
    pygame.display.init()
    pygame.display.gl_set_attribute(pygame.GL_CONTEXT_MAJOR_VERSION, 3)
    pygame.display.gl_set_attribute(pygame.GL_CONTEXT_MINOR_VERSION, 3)
    pygame.display.gl_set_attribute(pygame.GL_CONTEXT_PROFILE_MASK, pygame.GL_CONTEXT_PROFILE_CORE)
    pygame.display.set_mode(scene.SIZE, pygame.OPENGL | pygame.DOUBLEBUF)
    pygame.display.set_caption("zorva_ui in pygame-ce")


def run(frames=None, on_frame=None):
    """Draws until the window closes, after `frames` frames, or when `on_frame(n)` (called with
    each finished frame still in the back buffer) returns True."""
    open_window()
    ctx = moderngl.create_context()
    gradient = scene.make_gradient()
    height = scene.SIZE[1]

    def rectangle(rect, colour):
        x, y, w, h = rect
        ctx.clear(*(c / 255 for c in colour), viewport=(x, height - y - h, w, h))  # y up

    frame = 0
    try:
        while frame != frames:
            if any(event.type == pygame.QUIT for event in pygame.event.get()):
                break
            ctx.clear(*(c / 255 for c in scene.BACKGROUND))
            rectangle(*scene.BEFORE)
            gradient.draw(*scene.GRADIENT_RECT)
            rectangle(*scene.AFTER)
            frame += 1
            if on_frame is not None and on_frame(frame):
                break
            pygame.display.flip()
    finally:
        pygame.quit()


if __name__ == "__main__":
    run()
