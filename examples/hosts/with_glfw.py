"""Gradients in a GLFW window whose host drawing is moderngl's.

    .venv/bin/python examples/hosts/with_glfw.py      (or `make window HOST=glfw`)

The window's OpenGL 3.3 core context is made current before anything touches the layer, so the
layer adopts it. Each frame the host clears and draws a rectangle, the gradient is drawn inside
one frame scope (`rl.begin_drawing()`), and the host draws a second rectangle over it.
"""

import glfw
import moderngl
import numpy as np
import scene

QUAD = np.array([0, 0, 1, 0, 0, 1, 1, 1], "f4")
VERTEX = """#version 330
in vec2 corner;
uniform vec4 rect;      // x, y, width, height in pixels, y down
uniform vec2 viewport;
void main() {
    vec2 p = (rect.xy + corner * rect.zw) / viewport;
    gl_Position = vec4(p.x * 2.0 - 1.0, 1.0 - p.y * 2.0, 0.0, 1.0);
}
"""
FRAGMENT = """#version 330
uniform vec3 colour;
out vec4 fragment;
void main() { fragment = vec4(colour, 1.0); }
"""


def open_window():
    glfw.init()
    glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
    glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
    glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
    window = glfw.create_window(*scene.SIZE, "zorva_ui in GLFW + moderngl", None, None)
    glfw.make_context_current(window)  # before the first call into the layer
    return window


def run(frames=None, on_frame=None):
    """Draws until the window closes, after `frames` frames, or when `on_frame(n)` (called with
    each finished frame still in the back buffer) returns True."""
    window = open_window()
    from zorva_ui.core.modules import rl

    ctx = moderngl.create_context()
    program = ctx.program(vertex_shader=VERTEX, fragment_shader=FRAGMENT)
    quad = ctx.vertex_array(program, [(ctx.buffer(QUAD.tobytes()), "2f", "corner")])
    gradient = scene.make_gradient()

    def rectangle(rect, colour):
        program["rect"].value = rect
        program["colour"].value = tuple(c / 255 for c in colour)
        quad.render(moderngl.TRIANGLE_STRIP)

    frame = 0
    try:
        while not glfw.window_should_close(window) and frame != frames:
            program["viewport"].value = glfw.get_framebuffer_size(window)
            ctx.clear(*(c / 255 for c in scene.BACKGROUND))
            rectangle(*scene.BEFORE)
            with rl.begin_drawing():  # the host's state is saved once for all our draws
                gradient.draw(*scene.GRADIENT_RECT)
            rectangle(*scene.AFTER)
            frame += 1
            if on_frame is not None and on_frame(frame):
                break
            glfw.swap_buffers(window)
            glfw.poll_events()
    finally:
        glfw.terminate()


if __name__ == "__main__":
    run()
