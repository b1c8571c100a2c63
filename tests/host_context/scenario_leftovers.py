"""Host state beyond what the layer hands back, which a host may well leave set (after reading a
sub-rectangle, streaming through a pixel buffer, sampling with a sampler object, transform
feedback): the layer's pictures must not depend on it, its memory must not be overrun because
of it, and the host must find it as it left it. Argument: the item to leave set."""

import ctypes
import sys

from host_context import hostgl

GL_PIXEL_PACK_BUFFER, GL_PIXEL_UNPACK_BUFFER = 0x88EB, 0x88EC
GL_RASTERIZER_DISCARD, GL_POLYGON_SMOOTH = 0x8C89, 0x0B41
GL_FRAMEBUFFER, GL_DRAW_BUFFER0, GL_READ_BUFFER = 0x8D40, 0x8825, 0x0C02
WHITE = (255, 255, 255, 255)
COLOURS = [((255, 200, 0, 255), 3), (0, 128, 255, 200), (255, 0, 255, 255)]


def _pixel_store(pname, value):
    return (
        lambda ctx: hostgl.gl.glPixelStorei(pname, value),
        lambda: hostgl.ints(pname),
    )


def _buffer(target, binding):
    def leave(ctx):
        buffer = ctx.buffer(reserve=1 << 16)
        hostgl.gl.glBindBuffer(target, buffer.glo)
        return buffer

    return leave, lambda: hostgl.ints(binding)


def _sampler(ctx):
    import moderngl

    sampler = ctx.sampler(filter=(moderngl.LINEAR, moderngl.LINEAR), repeat_x=True)
    sampler.use(0)
    return sampler


def _enabled(cap):
    return (lambda ctx: hostgl.gl.glEnable(cap), lambda: [bool(hostgl.gl.glIsEnabled(cap))])


def _no_draw_buffers(ctx):
    """The host's framebuffer bound with no colour output and no read buffer: state of that
    framebuffer object, not of the layer's targets, so the layer leaves it alone."""
    framebuffer = ctx.framebuffer(color_attachments=[ctx.texture((4, 4), 4)])
    hostgl.gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.glo)
    hostgl.gl.glDrawBuffers(1, (ctypes.c_uint * 1)(0))
    hostgl.gl.glReadBuffer(0)
    return framebuffer


# Item -> (leave it set, read it back).
LEFTOVERS = {
    "pack skip rows": _pixel_store(0x0D03, 1),
    "pack skip pixels": _pixel_store(0x0D04, 1),
    "pack row length": _pixel_store(0x0D02, 7),
    "unpack skip rows": _pixel_store(0x0CF3, 1),
    "unpack skip pixels": _pixel_store(0x0CF4, 1),
    "unpack row length": _pixel_store(0x0CF2, 7),
    "pixel pack buffer": _buffer(GL_PIXEL_PACK_BUFFER, 0x88ED),
    "pixel unpack buffer": _buffer(GL_PIXEL_UNPACK_BUFFER, 0x88EF),
    "sampler on unit 0": (_sampler, lambda: hostgl.ints(0x8919)),
    "no draw buffers": (
        _no_draw_buffers,
        lambda: hostgl.ints(GL_DRAW_BUFFER0) + hostgl.ints(GL_READ_BUFFER),
    ),
    "rasterizer discard": _enabled(GL_RASTERIZER_DISCARD),
    # This machine's software rasteriser ignores it; drivers that smooth polygon edges do not.
    "polygon smooth": _enabled(GL_POLYGON_SMOOTH),
}


def main():
    import moderngl

    ctx = moderngl.create_context(standalone=True, backend="egl")
    rl, zg, ZvRenderTexture, _ = hostgl.layer()
    gradient = zg.GradientRaylib(COLOURS, angle=30)
    kept = gradient.generate_texture(37, 5)  # 37 wide: rows that no skip or length lines up with

    def generated():
        texture = gradient.generate_texture(37, 5)
        try:
            return texture.read_pixels()
        finally:
            texture.unload()

    def uploaded():
        """An odd-sized image uploaded, then drawn magnified in texture mode."""
        image = rl.gen_image_color(3, 3, (90, 80, 70, 255))
        texture = rl.load_texture_from_image(image)
        rl.unload_image(image)
        target = ZvRenderTexture((7, 5))
        try:
            rl.begin_texture_mode(target.render_texture)
            target.c_fast_clear((0, 0, 0, 0))
            rl.draw_texture_pro(texture, (0, 0, 3, 3), (1, 0, 5, 4), (0, 0), 0.0, WHITE)
            rl.end_texture_mode()
            return target.read_pixels()
        finally:
            target.unload()
            rl.unload_texture(texture)

    operations = {"generate_texture": generated, "uploaded": uploaded, "read": kept.read_pixels}
    clean = {name: op() for name, op in operations.items()}

    leave, read_back = LEFTOVERS[sys.argv[1]]
    keep_alive = leave(ctx)  # noqa: F841 (the host's object stays bound)
    left = read_back()
    same = {
        name: hostgl.outcome(lambda op=op, name=name: op() == clean[name])
        for name, op in operations.items()
    }
    return {"same": same, "left": left, "kept": read_back() == left}


if __name__ == "__main__":
    hostgl.run(main)
