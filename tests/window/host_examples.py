"""Scenarios for the host examples (examples/hosts/with_<host>.py), each in a process of its own
against the tests' X display:

    python -m window.host_examples NAME HOST     (from tests/, with DISPLAY set)

Each runs an example (or a scene of its own in a real host window), reads the window's back
buffer with raw GL before it is shown, and prints `RESULT {json}`."""

import ctypes
import json
import pathlib
import sys
import traceback

import numpy as np

HOSTS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "hosts"
GL_RGBA, GL_UNSIGNED_BYTE, GL_BACK, GL_READ_FRAMEBUFFER = 0x1908, 0x1401, 0x0405, 0x8CA8

_gl = None


def gl():
    """GL through the vendor-neutral library: it reaches whichever context is current."""
    global _gl
    if _gl is None:
        for name in ("libOpenGL.so.0", "libGL.so.1"):
            try:
                _gl = ctypes.CDLL(name)
                break
            except OSError:
                continue
        _gl.glGetError.restype = ctypes.c_uint
    return _gl


def window_pixels(width, height):
    """The back buffer of the current window, (height, width, 4) uint8, top row first."""
    lib = gl()
    lib.glBindFramebuffer(GL_READ_FRAMEBUFFER, 0)
    lib.glReadBuffer(GL_BACK)
    data = np.zeros((height, width, 4), np.uint8)
    lib.glReadPixels(
        0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, ctypes.c_void_p(data.ctypes.data)
    )
    return data[::-1]


def over(picture, premultiplied, x, y):
    """`premultiplied` (RGBA uint8) composited "over" `picture` (float RGB) at (x, y)."""
    h, w = premultiplied.shape[:2]
    source = premultiplied.astype(float)
    below = picture[y : y + h, x : x + w]
    picture[y : y + h, x : x + w] = source[..., :3] + below * (1 - source[..., 3:] / 255)


def gradient_picture(scene):
    from zorva_ui.rendering.pygame.gradient import GradientPygame

    cpu = GradientPygame(scene.COLORS, **scene.STYLE)
    _, _, w, h = scene.GRADIENT_RECT
    return cpu.render(w, h, alpha=cpu.draw_alpha)


def expected_scene(scene):
    """The example's picture: background, the host's first rectangle, the gradient over them,
    the host's second rectangle over that."""
    width, height = scene.SIZE
    picture = np.empty((height, width, 3))
    picture[:] = scene.BACKGROUND
    (x, y, w, h), colour = scene.BEFORE
    picture[y : y + h, x : x + w] = colour
    gx, gy, _, _ = scene.GRADIENT_RECT
    over(picture, gradient_picture(scene), gx, gy)
    (x, y, w, h), colour = scene.AFTER
    picture[y : y + h, x : x + w] = colour
    return picture


def difference(read, expected):
    """Largest channel difference and where (x, y) it is."""
    diff = np.abs(read[..., :3].astype(float) - expected).max(axis=2)
    y, x = np.unravel_index(int(diff.argmax()), diff.shape)
    return {"max": float(diff.max()), "at": [int(x), int(y)]}


def load_example(host):
    sys.path.insert(0, str(HOSTS))
    import importlib

    return importlib.import_module(f"with_{host}"), importlib.import_module("scene")


def scenario_example(host):
    """The example's third frame against the picture worked out on the CPU."""
    example, scene = load_example(host)
    out = {}

    def on_frame(frame):
        if frame < 3:
            return False
        read = window_pixels(*scene.SIZE)
        out["scene"] = difference(read, expected_scene(scene))
        from zorva_ui.core.modules import rl

        out["context"] = rl.context_info()["context"]
        return True

    example.run(frames=10, on_frame=on_frame)
    return out


# ---- behaviours in raylib's window (its bindings attached) ---------------------------------


def texture_pixels(pyray, texture):
    """A raylib render texture's pixels, top row first (GL stores its rows bottom first)."""
    image = pyray.load_image_from_texture(texture)
    try:
        data = pyray.ffi.buffer(image.data, image.width * image.height * 4)
        pixels = np.frombuffer(bytes(data), np.uint8).reshape(image.height, image.width, 4)
    finally:
        pyray.unload_image(image)
    return pixels[::-1]


def scenario_raylib_modes():
    """raylib's camera, blend, scissor and texture modes around our draw: each picture against
    the same scene worked out on the CPU."""
    import pyray

    sys.path.insert(0, str(HOSTS))
    import scene

    width, height = scene.SIZE
    pyray.set_trace_log_level(pyray.LOG_WARNING)
    pyray.init_window(width, height, "modes")
    from zorva_ui.core.modules import rl

    rl.attach_host(pyray)
    gradient = scene.make_gradient()
    picture = gradient_picture(scene)
    gx, gy, gw, gh = scene.GRADIENT_RECT
    background = pyray.Color(*scene.BACKGROUND, 255)
    out = {}

    def frame(name, around, expected):
        pyray.begin_drawing()
        pyray.clear_background(background)
        around(lambda: gradient.draw(gx, gy, gw, gh))
        pyray.rl_draw_render_batch_active()
        out[name] = difference(window_pixels(width, height), expected)
        pyray.end_drawing()

    plain = np.empty((height, width, 3))
    plain[:] = scene.BACKGROUND

    def camera(draw):
        pyray.begin_mode_2d(pyray.Camera2D((50, 30), (0, 0), 0.0, 1.0))
        draw()
        pyray.end_mode_2d()

    moved = plain.copy()
    over(moved, picture[: height - gy - 30, : width - gx - 50], gx + 50, gy + 30)
    frame("camera", camera, moved)

    def additive(draw):
        pyray.begin_blend_mode(pyray.BLEND_ADDITIVE)
        draw()
        pyray.end_blend_mode()

    added = plain.copy()
    added[gy : gy + gh, gx : gx + gw] = np.minimum(
        added[gy : gy + gh, gx : gx + gw] + picture[..., :3], 255
    )
    frame("additive", additive, added)

    def scissor(draw):
        pyray.begin_scissor_mode(gx, gy, 40, 30)
        draw()
        pyray.end_scissor_mode()

    clipped = plain.copy()
    over(clipped, picture[:30, :40], gx, gy)
    frame("host scissor", scissor, clipped)

    target = pyray.load_render_texture(width, height)
    pyray.begin_texture_mode(target)
    pyray.clear_background(background)
    gradient.draw(gx, gy, gw, gh)
    pyray.end_texture_mode()
    expected = plain.copy()
    over(expected, picture, gx, gy)
    out["raylib texture mode"] = difference(texture_pixels(pyray, target.texture), expected)
    pyray.unload_render_texture(target)
    pyray.close_window()
    return out


# ---- the layer's own modes, the frame scope and the host's errors, in a GLFW window ----------

ERROR_CAUSES = {
    # Raw GL calls that fail with one error and change nothing.
    0x0500: lambda lib: lib.glEnable(0xFFFF),
    0x0501: lambda lib: lib.glViewport(0, 0, -1, -1),
    0x0502: lambda lib: lib.glEndQuery(0x8914),  # GL_SAMPLES_PASSED, no query active
    0x0506: lambda lib: clear_incomplete_framebuffer(lib),
}


def clear_incomplete_framebuffer(lib):
    name = ctypes.c_uint()
    lib.glGenFramebuffers(1, ctypes.byref(name))
    lib.glBindFramebuffer(0x8D40, name)  # no attachment: incomplete
    lib.glClear(0x4000)
    lib.glBindFramebuffer(0x8D40, 0)
    lib.glDeleteFramebuffers(1, ctypes.byref(name))


def covered(read, colour):
    """The bounding box (x, y, w, h) of the pixels of `colour` (RGB), or None."""
    ys, xs = np.nonzero((np.abs(read[..., :3].astype(int) - colour) <= 2).all(axis=2))
    if len(xs) == 0:
        return None
    return [
        int(xs.min()),
        int(ys.min()),
        int(xs.max() - xs.min() + 1),
        int(ys.max() - ys.min() + 1),
    ]


def scenario_layer_modes():
    """Scissor and camera modes, in the window and in a render texture; the frame scope; the
    host's pending errors."""
    sys.path.insert(0, str(HOSTS))
    import moderngl
    import scene
    import with_glfw

    from zorva_ui.core import GradientType
    from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient

    window = with_glfw.open_window()
    ctx = moderngl.create_context()
    from zorva_ui.core.modules import rl
    from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture

    width, height = scene.SIZE
    lib = gl()
    solid = ClickGradient([(250, 10, 10, 255), (250, 10, 10, 255)], GradientType.Linear)
    gradient = scene.make_gradient()
    picture = gradient_picture(scene)
    gx, gy, gw, gh = scene.GRADIENT_RECT
    out = {}

    def window_after(draw):
        ctx.scissor = None
        ctx.clear(0, 0, 0, 1)
        draw()
        return window_pixels(width, height)

    def texture_after(draw):
        target = ZvRenderTexture((width, height))
        target.c_fast_clear((0, 0, 0, 255))
        with rl.begin_texture_mode(target.render_texture):
            draw()
        data = np.frombuffer(target.read_pixels(), np.uint8).reshape(height, width, 4)
        target.unload()
        return data

    def nested_scissor():
        with rl.begin_scissor_mode(10, 20, 100, 60), rl.begin_scissor_mode(50, 0, 200, 50):
            solid.draw(0, 0, width, height)

    def host_scissor():
        ctx.scissor = (0, 0, 80, height)  # the host's clip: the left 80 columns
        with rl.begin_scissor_mode(40, 30, 100, 40):
            solid.draw(0, 0, width, height)
        solid.draw(200, 0, 40, 40)  # outside the host's clip: nothing

    camera = {"offset": (100, 50), "target": (10, 20), "rotation": 90.0, "zoom": 2.0}

    class Camera:
        offset, target, rotation, zoom = camera.values()

    def with_camera():
        with rl.begin_mode_2d(Camera):
            solid.draw(10, 20, 30, 10)  # 60 x 20 at the target, turned a quarter: 20 x 60

    for where, after in (("window", window_after), ("texture", texture_after)):
        out[f"nested scissor in {where}"] = covered(after(nested_scissor), (250, 10, 10))
        out[f"camera in {where}"] = covered(after(with_camera), (250, 10, 10))
    out["host scissor"] = covered(window_after(host_scissor), (250, 10, 10))

    # The frame scope: the same picture as separate draws; the host's state stays the layer's
    # between draws and is the host's again at the end.
    program = ctx.program(vertex_shader=with_glfw.VERTEX, fragment_shader=with_glfw.FRAGMENT)
    lib.glUseProgram(program.glo)
    current = ctypes.c_int()

    def current_program():
        lib.glGetIntegerv(0x8B8D, ctypes.byref(current))
        return current.value

    def separate():
        gradient.draw(gx, gy, gw, gh)
        gradient.draw(gx + 20, gy + 20, gw, gh)

    programs = {}

    def scoped():
        with rl.begin_drawing():
            gradient.draw(gx, gy, gw, gh)
            programs["inside"] = current_program()
            gradient.draw(gx + 20, gy + 20, gw, gh)
        programs["after"] = current_program()

    first = window_after(separate)
    programs["separate"] = current_program()
    second = window_after(scoped)
    out["frame scope"] = {
        "same picture": bool((first == second).all()),
        "host program": program.glo,
        **programs,
    }
    expected = np.zeros((height, width, 3))
    over(expected, picture, gx, gy)
    over(expected, picture, gx + 20, gy + 20)
    out["frame scope picture"] = difference(second, expected)

    # Errors the host left pending come back to it; the layer's own are still raised.
    kept = {}
    shader = gradient_shader_of(rl)
    for code, cause in ERROR_CAUSES.items():
        lib.glGetError()
        cause(lib)
        gradient.draw(0, 0, 4, 4)
        try:
            rl.set_zvshader_value_float(shader, rl.get_zvshader_location(shader, "colorCount"), 1)
            own = "not raised"
        except RuntimeError as exc:
            own = str(exc)
        kept[hex(code)] = [lib.glGetError(), lib.glGetError(), "GL error" in own]
    out["host errors"] = kept
    glfw_terminate()
    del window
    return out


def gradient_shader_of(rl):
    """A program declaring the gradient's uniforms (an int uniform refuses a float)."""
    from zorva_ui.fast.gradient_shader import GradientShader
    from zorva_ui.fast.zvshader.zvshader import ZvShader

    return ZvShader.c_create_from_code(GradientShader.VERTEX_SHADER, GradientShader.FRAGMENT_SHADER)


def glfw_terminate():
    import glfw

    glfw.terminate()


def main():
    name, *args = sys.argv[1:]
    try:
        result = {"ok": True, **globals()[f"scenario_{name}"](*args)}
    except Exception:
        result = {"ok": False, "traceback": traceback.format_exc()}
    print("RESULT " + json.dumps(result), flush=True)


if __name__ == "__main__":
    main()
