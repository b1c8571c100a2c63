"""GLX scenarios of the layer's context policy, each in a process of its own:

    python -m window.glx_context NAME      (from tests/, with DISPLAY set)

- own-first: a gradient is made before the application opens its window, so the layer makes its
  own headless context; the window's GLX context must still become current (an EGL context left
  current would make that fail), then the layer works in the window: render textures made there
  and draws into it; a render texture of the headless context is refused there.
- adopted: the window's context is current first; a click gradient drawn into the window lands
  where asked, and context_info answers while another window's context, or none, is current.

Prints one line, `RESULT {json}`."""

import ctypes
import json
import sys
import traceback

import numpy as np

COLOURS = [(255, 0, 0, 255), (0, 0, 255, 255)]
W, H = 64, 48


def open_window(glfw, title):
    glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
    glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
    glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
    glfw.window_hint(glfw.OPENGL_FORWARD_COMPAT, True)
    window = glfw.create_window(W, H, title, None, None)
    assert window, "no window"
    return window


def outcome(fn):
    try:
        return fn()
    except Exception as exc:
        return f"raised {type(exc).__name__}: {exc}"


def own_first():
    import glfw
    import moderngl

    from zorva_ui.core.modules import rl
    from zorva_ui.fast.zvraygrad.zvraygrad import GradientRaylib

    gradient = GradientRaylib(COLOURS)
    headless = gradient.generate_texture(8, 8)
    expected = np.frombuffer(headless.read_pixels(), np.uint8)
    assert glfw.init()
    window = open_window(glfw, "own-first")
    glfw.make_context_current(window)  # must not fail while the layer's context exists
    ctx = moderngl.create_context()
    glx = ctypes.CDLL("libGLX.so.0")
    glx.glXGetCurrentContext.restype = ctypes.c_void_p
    glx.glXGetCurrentDrawable.restype = ctypes.c_ulong
    binding = (glx.glXGetCurrentContext(), glx.glXGetCurrentDrawable())
    texture = gradient.generate_texture(8, 8)
    same = bool((np.frombuffer(texture.read_pixels(), np.uint8) == expected).all())
    still_current = binding == (glx.glXGetCurrentContext(), glx.glXGetCurrentDrawable())
    ctx.screen.use()
    ctx.clear(0.0, 1.0, 0.0, 1.0)  # the window's context works after the layer's calls
    corner = list(ctx.screen.read(viewport=(0, 0, 1, 1), components=4))
    draw = outcome(
        lambda: rl.draw_texture_pro(texture, (0, 0, 8, 8), (0, 0, 8, 8), (0, 0), 0.0, rl.WHITE)
    )
    foreign = outcome(
        lambda: rl.draw_texture_pro(headless, (0, 0, 8, 8), (0, 0, 8, 8), (0, 0), 0.0, rl.WHITE)
    )
    top_left = list(ctx.screen.read(viewport=(0, H - 1, 1, 1), components=4))
    return {
        "context": rl.context_info()["context"],
        "same_picture": same,
        "window_still_current": still_current,
        "window_clear": corner,
        "draw": draw,
        "foreign": foreign,
        "window_after_draw": top_left,
    }


def adopted():
    import glfw
    import moderngl

    from zorva_ui.core.modules import rl
    from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient

    assert glfw.init()
    window = open_window(glfw, "adopted")
    other = open_window(glfw, "other")
    glfw.make_context_current(window)
    ctx = moderngl.create_context()
    click = ClickGradient(COLOURS)
    ctx.screen.use()
    ctx.clear(0.0, 0.0, 0.0, 0.0)
    rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
    click.draw(16.0, 8.0, 32.0, 16.0)  # top-left corner at (16, 8), y down
    rl.end_blend_mode()
    image = np.frombuffer(ctx.screen.read(components=4), np.uint8).reshape(H, W, 4)[::-1]
    covered = (image[:, :, 3] > 0).nonzero()
    box = [
        int(covered[1].min()),
        int(covered[0].min()),
        int(covered[1].max()),
        int(covered[0].max()),
    ]
    glfw.make_context_current(other)
    with_other = outcome(lambda: rl.context_info()["context"])
    glfw.make_context_current(None)
    with_none = outcome(lambda: rl.context_info()["context"])
    glfw.make_context_current(window)
    return {
        "context": rl.context_info()["context"],
        "box": box,
        "with_other": with_other,
        "with_none": with_none,
        "works_again": outcome(lambda: click.generate_texture(2, 2).loaded),
    }


def main(name):
    try:
        report = {"ok": True, **{"own-first": own_first, "adopted": adopted}[name]()}
    except Exception:
        report = {"ok": False, "traceback": traceback.format_exc()}
    sys.stdout.flush()
    print("RESULT " + json.dumps(report), flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
