"""Windows that come and go, each scenario in a process of its own:

    python -m window.many_contexts NAME      (from tests/, with DISPLAY set)

- before-window: gradients made before the window (in the layer's headless context) draw into
  the window, and a texture generated in the window is drawn by the host (moderngl) itself; a
  render texture of the headless context is refused in the window.
- unshared / shared: two windows, without and with shared objects, drawn in turn for many
  frames; a render texture of one drawn in the other (refused without sharing).
- reopen: a window closed and another opened; the old gradients draw there, the old window's
  objects report their context destroyed and are unloaded and collected quietly.
- pyray: the same gradient made before raylib's window, drawn into raylib's frame and handed to
  raylib's own draw_texture as a texture.

Pictures are compared with the CPU renderer; prints one line, `RESULT {json}`."""

import gc
import json
import sys
import traceback

import numpy as np
from host_context import hostgl

W, H = 48, 32
WEIGHTED = [((255, 200, 0, 255), 3), (0, 128, 255, 200), ((40, 40, 40, 0), 0.5), (255, 0, 255, 255)]
FRAMES = 40
QUAD_VS = """#version 330
in vec2 pos;
out vec2 uv;
void main() { uv = pos * 0.5 + 0.5; gl_Position = vec4(pos, 0.0, 1.0); }
"""
QUAD_FS = """#version 330
uniform sampler2D tex;
in vec2 uv;
out vec4 colour;
void main() { colour = texture(tex, uv); }
"""


class Gradients:
    """A click gradient and its CPU twin, made before any window exists."""

    def __init__(self):
        from zorva_ui.core import GradientType
        from zorva_ui.rendering.pygame.gradient import GradientPygame

        self.rl, zg, _, _ = hostgl.layer()
        kind = dict(type=GradientType.Radial, center=(0.3, 0.6), transparency=200)
        self.click = zg.ClickGradient(WEIGHTED, **kind)
        self.cpu = GradientPygame(WEIGHTED, **kind)
        self.headless = self.click.generate_texture(8, 8)

    def picture(self, w, h):
        return self.cpu.render(w, h, alpha=self.cpu.draw_alpha)

    def texture_picture(self, w, h):
        return self.cpu.render(w, h)

    def draw(self, x, y, w, h):
        rl = self.rl
        rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
        try:
            self.click.draw(x, y, w, h)
        finally:
            rl.end_blend_mode()


def expected(picture, x, y):
    out = np.zeros((H, W, 4), np.uint8)
    out[y : y + picture.shape[0], x : x + picture.shape[1]] = picture
    return out


class Window:
    """A GLFW window with a moderngl context on its GL context (for clearing and reading)."""

    def __init__(self, glfw, title, share=None):
        import moderngl

        glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3)
        glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3)
        glfw.window_hint(glfw.OPENGL_PROFILE, glfw.OPENGL_CORE_PROFILE)
        glfw.window_hint(glfw.OPENGL_FORWARD_COMPAT, True)
        self.glfw = glfw
        self.handle = glfw.create_window(W, H, title, None, share.handle if share else None)
        assert self.handle, "no window"
        self.use()
        self.ctx = moderngl.create_context()
        self.scene = hostgl.ModernglScene(self.ctx)
        self.scene_first = self.scene.render()

    def use(self):
        self.glfw.make_context_current(self.handle)

    def clear(self):
        self.ctx.screen.use()
        self.ctx.clear(0.0, 0.0, 0.0, 0.0)

    def pixels(self):
        return np.frombuffer(self.ctx.screen.read(components=4), np.uint8).reshape(H, W, 4)[::-1]

    def host_intact(self):
        return self.scene.render() == self.scene_first

    def host_draw(self, texture_glo, w, h):
        """The host draws a GL texture name with its own program: what it reads back."""
        ctx = self.ctx
        texture = ctx.external_texture(texture_glo, (w, h), 4, 0, "f1")
        program = ctx.program(vertex_shader=QUAD_VS, fragment_shader=QUAD_FS)
        quad = ctx.buffer(np.array([-1, -1, 1, -1, -1, 1, 1, 1], "f4"))
        vao = ctx.vertex_array(program, [(quad, "2f", "pos")])
        fbo = ctx.framebuffer(color_attachments=[ctx.texture((w, h), 4)])
        fbo.use()
        fbo.clear(0, 0, 0, 0)
        texture.use(0)
        vao.render(mode=ctx.TRIANGLE_STRIP)
        return np.frombuffer(fbo.read(components=4), np.uint8).reshape(h, w, 4)

    def close(self):
        self.glfw.destroy_window(self.handle)


def drawn_in(window, g, x, y, w, h):
    window.use()
    window.clear()
    g.draw(x, y, w, h)
    return hostgl.compare(window.pixels(), expected(g.picture(w, h), x, y))


def worst(comparisons):
    return {
        "max": max(c["max"] for c in comparisons),
        "count": sum(c["count"] for c in comparisons),
    }


def before_window():
    import glfw

    g = Gradients()
    assert glfw.init()
    window = Window(glfw, "before")
    into_window = drawn_in(window, g, 5, 3, 30, 20)
    generated = g.click.generate_texture(20, 12)
    handed = window.host_draw(generated.render_texture.texture_id, 20, 12)
    return {
        "into window": into_window,
        "handed to host": hostgl.compare(handed, g.texture_picture(20, 12)),
        "headless in window": hostgl.outcome(
            lambda: g.rl.draw_texture_pro(
                g.headless, (0, 0, 8, 8), (0, 0, 8, 8), (0, 0), 0, g.rl.WHITE
            )
        ),
        "host intact": window.host_intact(),
        "contexts": [c["context"] for c in g.rl.context_info()["contexts"]],
    }


def two_windows(shared):
    import glfw

    g = Gradients()
    assert glfw.init()
    first = Window(glfw, "first")
    second = Window(glfw, "second", share=first if shared else None)
    frames = {"first": [], "second": []}
    for frame in range(FRAMES):
        x, y = frame % 10, frame % 7
        frames["first"].append(drawn_in(first, g, x, y, 30, 20))
        frames["second"].append(drawn_in(second, g, 10 - x, 7 - y, 24, 16))
    first.use()
    made_in_first = g.click.generate_texture(16, 10)
    second.use()
    second.clear()
    rl = g.rl

    def cross():
        rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
        try:
            rl.draw_texture_pro(made_in_first, (0, 0, 16, 10), (2, 2, 16, 10), (0, 0), 0, rl.WHITE)
        finally:
            rl.end_blend_mode()

    crossed = hostgl.outcome(cross)
    info = rl.context_info()
    result = {
        "first": worst(frames["first"]),
        "second": worst(frames["second"]),
        "crossed": crossed,
        "crossed picture": hostgl.compare(
            second.pixels(), expected(g.texture_picture(16, 10), 2, 2)
        ),
        "host intact": first.host_intact() and second.host_intact(),
        "share groups": sorted({c["share_group"] for c in info["contexts"][1:]}),
        "contexts": len(info["contexts"]),
    }
    first.ctx.release()
    first.close()
    second.use()
    # Closed while another known context is current: found out by asking the window system.
    result["alive after close"] = [c["alive"] for c in rl.context_info()["contexts"]]
    result["after close"] = drawn_in(second, g, 3, 3, 24, 16)
    return result


def reopen():
    import glfw

    g = Gradients()
    rl = g.rl
    assert glfw.init()
    first = Window(glfw, "first")
    before = drawn_in(first, g, 4, 4, 30, 20)
    target = g.click.generate_texture(10, 10)
    texture = rl.load_texture_from_image(rl.gen_image_color(2, 2, rl.WHITE))
    for_collection = [
        g.click.generate_texture(4, 4),
        rl.load_texture_from_image(rl.gen_image_color(1, 1, rl.WHITE)),
    ]
    first.ctx.release()
    first.close()
    second = Window(glfw, "second")
    after = drawn_in(second, g, 6, 2, 30, 20)
    result = {
        "before": before,
        "after": after,
        "old target": hostgl.outcome(target.read_pixels),
        "old texture drawn": hostgl.outcome(
            lambda: rl.draw_texture_pro(texture, (0, 0, 2, 2), (0, 0, 2, 2), (0, 0), 0, rl.WHITE)
        ),
        "unloaded": hostgl.outcome(
            lambda: (target.unload(), rl.unload_texture(texture), "done")[2]
        ),
        "collected": hostgl.outcome(lambda: (for_collection.clear(), gc.collect(), "done")[2]),
        "host intact": second.host_intact(),
    }
    info = rl.context_info()
    result["alive"] = [c["alive"] for c in info["contexts"]]
    result["again"] = drawn_in(second, g, 0, 0, 30, 20)
    return result


def pyray_window():
    g = Gradients()
    import pyray as pr

    pr.set_trace_log_level(pr.LOG_NONE)
    pr.init_window(W, H, "pyray")
    canvas = pr.load_render_texture(W, H)
    generated = g.click.generate_texture(20, 12)
    texture = pr.Texture(
        generated.render_texture.texture_id, 20, 12, 1, pr.PIXELFORMAT_UNCOMPRESSED_R8G8B8A8
    )
    pr.begin_drawing()
    pr.begin_texture_mode(canvas)
    pr.clear_background(pr.Color(0, 0, 0, 0))
    pr.draw_rectangle(40, 0, 8, 8, pr.Color(10, 200, 30, 255))  # the host's own drawing
    pr.rl_draw_render_batch_active()
    g.draw(5, 3, 30, 20)
    pr.end_texture_mode()
    drawn = read_render_texture(pr, canvas, W, H)
    pr.begin_texture_mode(canvas)
    pr.clear_background(pr.Color(0, 0, 0, 0))
    pr.begin_blend_mode(pr.BLEND_ALPHA_PREMULTIPLY)
    pr.draw_texture(texture, 0, 0, pr.WHITE)
    pr.end_blend_mode()
    pr.end_texture_mode()
    handed = read_render_texture(pr, canvas, W, H)
    pr.end_drawing()
    rl = g.rl
    host = expected(g.picture(30, 20), 5, 3)
    host[0:8, 40:48] = (10, 200, 30, 255)
    result = {
        "into window": hostgl.compare(drawn, host),
        "handed to host": hostgl.compare(handed[:12, :20], g.texture_picture(20, 12)),
        "context": rl.context_info()["context"],
    }
    pr.unload_render_texture(canvas)
    pr.close_window()
    return result


def read_render_texture(pr, canvas, w, h):
    image = pr.load_image_from_texture(canvas.texture)
    pixels = np.frombuffer(pr.ffi.buffer(image.data, w * h * 4), np.uint8).reshape(h, w, 4)
    pixels = pixels[::-1].copy()  # raylib's render textures are stored bottom row first
    pr.unload_image(image)
    return pixels


SCENARIOS = {
    "before-window": before_window,
    "unshared": lambda: two_windows(False),
    "shared": lambda: two_windows(True),
    "reopen": reopen,
    "pyray": pyray_window,
}


def main(name):
    try:
        report = {"ok": True, **SCENARIOS[name]()}
    except Exception:
        report = {"ok": False, "traceback": traceback.format_exc()}
    sys.stdout.flush()
    print("RESULT " + json.dumps(report), flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
