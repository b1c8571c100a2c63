"""Gradients under a Dear ImGui interface (imgui-bundle), in a GLFW window.

    .venv/bin/python examples/hosts/with_imgui.py      (or `make window HOST=imgui`)

The gradient is drawn after the host clears the frame and before ImGui renders, so ImGui's
windows and draw lists come out on top of it. imgui-bundle ships its own GLFW library and
points the glfw package at it, so it is imported first.
"""

import ctypes

from imgui_bundle import imgui  # before glfw: it points glfw at its own GLFW library

# isort: split
import glfw
import moderngl
import scene


def open_window():
    glfw.init()
    glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
    glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
    glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
    window = glfw.create_window(*scene.SIZE, "zorva_ui under Dear ImGui", None, None)
    glfw.make_context_current(window)
    return window


def run(frames=None, on_frame=None):
    """Draws until the window closes, after `frames` frames, or when `on_frame(n)` (called with
    each finished frame still in the back buffer) returns True."""
    window = open_window()
    ctx = moderngl.create_context()
    imgui.create_context()
    imgui.get_io().set_ini_filename(None)  # no imgui.ini beside the program
    imgui.backends.glfw_init_for_opengl(ctypes.cast(window, ctypes.c_void_p).value, True)
    imgui.backends.opengl3_init("#version 330")
    gradient = scene.make_gradient()
    height = scene.SIZE[1]
    frame = 0
    try:
        while not glfw.window_should_close(window) and frame != frames:
            glfw.poll_events()
            imgui.backends.opengl3_new_frame()
            imgui.backends.glfw_new_frame()
            imgui.new_frame()
            (x, y, w, h), colour = scene.AFTER
            imgui.get_foreground_draw_list().add_rect_filled(
                (x, y), (x + w, y + h), imgui.get_color_u32((*(c / 255 for c in colour), 1.0))
            )
            imgui.render()

            ctx.clear(*(c / 255 for c in scene.BACKGROUND))
            (x, y, w, h), colour = scene.BEFORE
            ctx.clear(*(c / 255 for c in colour), viewport=(x, height - y - h, w, h))
            gradient.draw(*scene.GRADIENT_RECT)
            imgui.backends.opengl3_render_draw_data(imgui.get_draw_data())
            frame += 1
            if on_frame is not None and on_frame(frame):
                break
            glfw.swap_buffers(window)
    finally:
        imgui.backends.opengl3_shutdown()
        imgui.backends.glfw_shutdown()
        imgui.destroy_context()
        glfw.terminate()


if __name__ == "__main__":
    run()
