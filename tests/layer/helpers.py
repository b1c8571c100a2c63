import numpy as np

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture


def pixels(target):
    w, h = int(target.size.x), int(target.size.y)
    return np.frombuffer(target.read_pixels(), np.uint8).reshape(h, w, 4)


def blank_texture(color=(255, 255, 255, 255), width=1, height=1):
    image = rl.gen_image_color(width, height, color)
    texture = rl.load_texture_from_image(image)
    rl.unload_image(image)
    return texture


def cleared(width, height, color=(0, 0, 0, 0)):
    target = ZvRenderTexture((width, height))
    target.c_fast_clear(color)
    return target


class Drawing:
    """Texture mode (and optionally blend and shader modes) for a `with` block."""

    def __init__(self, target, blend=None, shader=None):
        self.target, self.blend, self.shader = target, blend, shader

    def __enter__(self):
        rl.begin_texture_mode(self.target)
        if self.blend is not None:
            rl.begin_blend_mode(self.blend)
        if self.shader is not None:
            rl.begin_zvshader_mode(self.shader)
        return self

    def __exit__(self, *exc):
        if self.shader is not None:
            rl.end_shader_mode()
        if self.blend is not None:
            rl.end_blend_mode()
        rl.end_texture_mode()
