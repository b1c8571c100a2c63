"""The layer adopts a moderngl context and draws into the framebuffer moderngl has bound.

Argument: how the context is made current before the layer's first call:
- "core": a standalone EGL context, current from its creation;
- "compat": the same with a compatibility profile (moderngl asks for 3.0; Mesa gives 4.5);
- "with-block": two contexts made, the first one made current again by `with ctx:`.

Pictures are compared with the CPU renderer (top row first; GL reads bottom row first)."""

import sys

import numpy as np

from host_context import hostgl

W, H = 48, 32
WEIGHTED = [((255, 200, 0, 255), 3), (0, 128, 255, 200), ((40, 40, 40, 0), 0.5), (255, 0, 255, 255)]
RGB3 = [(255, 0, 0, 255), (0, 0, 255, 255), (0, 255, 0, 255)]
WHITE = (255, 255, 255, 255)


def expected(picture, x, y):
    """A transparent W x H picture holding `picture` at (x, y) from the top-left."""
    out = np.zeros((H, W, 4), np.uint8)
    out[y : y + picture.shape[0], x : x + picture.shape[1]] = picture
    return out


def host_pixels(fbo):
    return np.frombuffer(fbo.read(components=4), np.uint8).reshape(H, W, 4)[::-1]


class Pictures:
    def __init__(self, ctx):
        from zorva_ui.core import GradientType
        from zorva_ui.rendering.pygame.gradient import GradientPygame

        self.ctx = ctx
        self.rl, zg, self.ZvRenderTexture, _ = hostgl.layer()
        radial = dict(type=GradientType.Radial, center=(0.3, 0.6), transparency=200)
        linear = dict(type=GradientType.Linear, angle=60)
        self.radial = zg.ClickGradient(WEIGHTED, **radial)
        self.radial_cpu = GradientPygame(WEIGHTED, **radial)
        self.linear = zg.ClickGradient(RGB3, **linear)
        self.linear_cpu = GradientPygame(RGB3, **linear)
        self.fbo = self.new_framebuffer()

    def new_framebuffer(self):
        return self.ctx.framebuffer(color_attachments=[self.ctx.texture((W, H), 4)])

    def bind_cleared(self, fbo, viewport=(0, 0, W, H)):
        fbo.use()
        fbo.clear(0, 0, 0, 0)
        self.ctx.viewport = viewport  # moderngl keeps one per framebuffer

    def cpu(self, which, w, h):
        g = self.radial_cpu if which == "radial" else self.linear_cpu
        return g.render(w, h, alpha=g.draw_alpha)

    def draw(self, which, x, y, w, h):
        rl = self.rl
        rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
        try:
            (self.radial if which == "radial" else self.linear).draw(x, y, w, h)
        finally:
            rl.end_blend_mode()

    def into_host(self, which, x, y, w, h, viewport=None):
        """`which` drawn at (x, y, w, h) into the cleared host framebuffer, whose viewport is
        `viewport` (default: all of it)."""
        vx, vy, vw, vh = viewport or (0, 0, W, H)
        self.bind_cleared(self.fbo, (vx, vy, vw, vh))
        self.draw(which, x, y, w, h)
        top = H - (vy + vh)  # the viewport's top row, counted from the top
        return hostgl.compare(
            host_pixels(self.fbo), expected(self.cpu(which, w, h), vx + x, top + y)
        )

    def texture_mode_then_host(self):
        """A gradient drawn in texture mode, then that texture drawn into the host framebuffer:
        texture mode must hand the host's framebuffer back."""
        rl = self.rl
        self.bind_cleared(self.fbo)
        target = self.ZvRenderTexture((20, 12))
        rl.begin_texture_mode(target.render_texture)
        target.c_fast_clear((0, 0, 0, 0))
        self.draw("radial", 0, 0, 20, 12)
        rl.end_texture_mode()
        bound_after = hostgl.ints(0x8CA6)[0]
        rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
        rl.draw_texture_pro(target, (0, 0, 20, 12), (6, 5, 20, 12), (0, 0), 0.0, WHITE)
        rl.end_blend_mode()
        return {
            "bound_after_texture_mode": bound_after == self.fbo.glo,
            "texture": hostgl.compare(hostgl.pixels_of(target), self.cpu("radial", 20, 12)),
            "host": hostgl.compare(
                host_pixels(self.fbo), expected(self.cpu("radial", 20, 12), 6, 5)
            ),
        }

    def follows_the_bound_framebuffer(self):
        """The layer draws into whichever framebuffer is bound at each call."""
        second = self.new_framebuffer()
        self.bind_cleared(self.fbo)
        self.draw("linear", 0, 0, 10, 10)
        first_before = host_pixels(self.fbo)
        self.bind_cleared(second)
        self.draw("linear", 30, 20, 10, 10)
        return {
            "first_unchanged": bool((host_pixels(self.fbo) == first_before).all()),
            "second": hostgl.compare(
                host_pixels(second), expected(self.cpu("linear", 10, 10), 30, 20)
            ),
        }

    def generated(self):
        texture = self.radial.generate_texture(33, 17)
        try:
            return hostgl.compare(hostgl.pixels_of(texture), self.radial_cpu.render(33, 17))
        finally:
            texture.unload()


def main():
    import moderngl

    how = sys.argv[1]
    require = 300 if how == "compat" else 330
    ctx = moderngl.create_context(standalone=True, backend="egl", require=require)
    if how == "with-block":
        moderngl.create_context(standalone=True, backend="egl")  # now this one is current
        ctx.__enter__()
    scene = hostgl.ModernglScene(ctx)
    before = scene.render()
    adopted = hostgl.egl.eglGetCurrentContext()
    rl = hostgl.layer()[0]
    result = {"profile": ctx.info["GL_VERSION"], "context": rl.context_info()["context"]}
    p = Pictures(ctx)
    result["pictures"] = {
        "radial, whole target": p.into_host("radial", 0, 0, W, H),
        "radial, offset": p.into_host("radial", 5, 3, 30, 20),
        "linear, offset": p.into_host("linear", 7, 9, 24, 16),
        "radial, in a viewport": p.into_host("radial", 2, 3, 20, 12, viewport=(8, 4, 32, 24)),
        "generate_texture": p.generated(),
    }
    result["texture_mode_then_host"] = p.texture_mode_then_host()
    result["follows_bound_framebuffer"] = p.follows_the_bound_framebuffer()
    result["moderngl_unchanged"] = scene.render() == before
    if how == "with-block":
        old = p.radial.generate_texture(2, 2)
        ctx.__exit__(None, None, None)  # leaves nothing current
        result["after_with"] = hostgl.outcome(
            lambda: (p.radial.generate_texture(2, 2), rl.context_info()["context"])[1]
        )
        result["old target after with"] = hostgl.outcome(old.read_pixels)
        result["adopted_handle"] = f"0x{adopted:x}"
    return result


if __name__ == "__main__":
    hostgl.run(main)
