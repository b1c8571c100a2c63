"""Host state around layer calls in an adopted moderngl context.

For every host scene and every layer operation: the host sets its state, the layer operation
runs, the GL state is read back, then the host draws relying on its state. The result holds
the items that changed, whether the host's picture and read equal those it got before the
layer ever touched GL, and each operation's outcome (a digest of what it produced, or the
exception it raised)."""

import gc
import os
import tempfile

import numpy as np

from host_context import hostgl

# The custom shader of the "nested modes" operation: one float uniform of its own.
_FS = """#version 330 core
in vec2 fragTexCoord;
in vec4 fragColor;
uniform float shade;
out vec4 finalColor;
void main() { finalColor = vec4(fragTexCoord, shade, 1.0) * fragColor; }
"""
COLOURS = [((255, 200, 0, 255), 3), (0, 128, 255, 200), (255, 0, 255, 255)]
WHITE = (255, 255, 255, 255)


class Objects:
    """The layer objects the operations share, made once the context is adopted."""

    def __init__(self):
        rl, zg, ZvRenderTexture, ZvShader = hostgl.layer()
        self.rl, self.ZvRenderTexture, self.ZvShader = rl, ZvRenderTexture, ZvShader
        self.gradient = zg.GradientRaylib(COLOURS, angle=30)
        self.click = zg.ClickGradient(COLOURS, center=(0.3, 0.6), transparency=200)
        image = rl.gen_image_color(1, 1, WHITE)
        self.blank = rl.load_texture_from_image(image)
        rl.unload_image(image)
        self.kept = self.gradient.generate_texture(5, 3)
        self.shader = ZvShader.c_create_from_code(None, _FS)
        self.shade = rl.get_zvshader_location(self.shader, "shade")
        self.folder = tempfile.TemporaryDirectory()
        self.png = os.path.join(self.folder.name, "kept.png")

    def blank_into(self, target, tint=WHITE, blend=None, shader=None):
        """Draws the blank texture over part of `target` in texture mode."""
        rl = self.rl
        rl.begin_texture_mode(target.render_texture)
        try:
            target.c_fast_clear((10, 20, 30, 40))
            if blend is not None:
                rl.begin_blend_mode(blend)
            if shader is not None:
                rl.begin_zvshader_mode(shader)
            try:
                rl.draw_texture_pro(self.blank, (0, 0, 1, 1), (1, 1, 3, 2), (0, 0), 0.0, tint)
            finally:
                if shader is not None:
                    rl.end_shader_mode()
                if blend is not None:
                    rl.end_blend_mode()
        finally:
            rl.end_texture_mode()


def _generate(o):
    texture = o.gradient.generate_texture(9, 7)
    try:
        return texture.read_pixels()
    finally:
        texture.unload()


def _draw_into_host(o):
    o.rl.begin_blend_mode(o.rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
    try:
        o.click.draw(0, 0, 4, 4)
    finally:
        o.rl.end_blend_mode()


def _texture_mode(o, **modes):
    target = o.ZvRenderTexture((6, 4))
    try:
        o.blank_into(target, tint=(200, 100, 50, 255), **modes)
        return target.read_pixels()
    finally:
        target.unload()


def _nested_modes(o):
    o.rl.set_zvshader_value_float(o.shader, o.shade, 0.5)
    return _texture_mode(o, blend=o.rl.BlendMode.BLEND_ADDITIVE, shader=o.shader)


def _write_png(o):
    o.rl.write_png(o.kept, o.png, unpremultiply=True)
    with open(o.png, "rb") as f:
        return f.read()


def _load_texture(o):
    rl = o.rl
    image = rl.gen_image_color(3, 5, (90, 80, 70, 255))
    texture = rl.load_texture_from_image(image)
    rl.unload_image(image)
    target = o.ZvRenderTexture((3, 5))
    try:
        rl.begin_texture_mode(target.render_texture)
        rl.draw_texture_pro(texture, (0, 0, 3, 5), (0, 0, 3, 5), (0, 0), 0.0, WHITE)
        rl.end_texture_mode()
        return target.read_pixels()
    finally:
        target.unload()
        rl.unload_texture(texture)


def _bad_tint_in_blend_mode(o):
    o.rl.begin_blend_mode(o.rl.BlendMode.BLEND_ALPHA)
    try:
        o.rl.draw_texture_pro(o.blank, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, "bad")
    finally:
        o.rl.end_blend_mode()


def _bad_tint_in_texture_mode(o):
    target = o.ZvRenderTexture((4, 4))
    try:
        o.blank_into(target, tint=(1, 2))
    finally:
        target.unload()


def _draw_into_released_target(o):
    rl = o.rl
    target = o.ZvRenderTexture((4, 4))
    rl.begin_texture_mode(target.render_texture)
    try:
        target.unload()
        rl.draw_texture_pro(o.blank, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 0.0, WHITE)
    finally:
        rl.end_texture_mode()


def _released_by_collection(o):
    rl = o.rl
    objects = [o.ZvRenderTexture((2, 2)), o.ZvShader.c_create_from_code(None, _FS)]
    image = rl.gen_image_color(2, 2, WHITE)
    objects.append(rl.load_texture_from_image(image))
    rl.unload_image(image)
    del objects
    gc.collect()


# Name -> operation on the shared objects. Operations that draw into the host's framebuffer
# paint its top-left 4x4 pixels (of the viewport), which the picture check leaves out.
OPERATIONS = {
    "context_info": lambda o: (o.rl.context_info(), None)[1],
    "generate_texture": _generate,
    "gradient draw into host": _draw_into_host,
    "texture mode": _texture_mode,
    "nested modes": _nested_modes,
    "read_pixels": lambda o: o.kept.read_pixels(),
    "write_png": _write_png,
    "load texture": _load_texture,
    "uniform set": lambda o: o.rl.set_zvshader_value_float(o.shader, o.shade, 0.25),
    "uniform refused": lambda o: o.rl.set_zvshader_value_int(o.shader, o.shade, 3),
    "bad tint in blend mode": _bad_tint_in_blend_mode,
    "bad tint in texture mode": _bad_tint_in_texture_mode,
    "draw into released target": _draw_into_released_target,
    "bad size": lambda o: o.ZvRenderTexture((0, 0)),
    "released by collection": _released_by_collection,
}
DRAWS_INTO_HOST = {"gradient draw into host"}


def _summary(value):
    if isinstance(value, bytes | bytearray):
        return hostgl.digest(value)
    return value if isinstance(value, str) else "done"


def _host_picture_check(scene, reference, ignore_corner):
    read, target, error = scene.draw()
    ref_read, ref_target, _ = reference
    if ignore_corner:
        vx, vy, vw, vh = scene.state["viewport"]
        target[vy + vh - 4 : vy + vh, vx : vx + 4] = 0
        ref_target = ref_target.copy()
        ref_target[vy + vh - 4 : vy + vh, vx : vx + 4] = 0
    return {
        "read_same": read == ref_read,
        "picture": hostgl.compare(target, ref_target, tolerance=0),
        "gl_error": error,
    }


def main():
    import moderngl

    ctx = moderngl.create_context(standalone=True, backend="egl")
    scene = hostgl.HostScene(ctx)
    rl = hostgl.layer()[0]

    # The host's pictures before the layer has touched GL.
    reference = {}
    for name in hostgl.SCENES:
        scene.setup(name)
        reference[name] = scene.draw()
    # The checks below are only as good as the host's draw is sensitive: each item changed by
    # hand must change the host's picture or read in at least one scene.
    detected = {}
    for item, fault in scene.faults().items():
        detected[item] = []
        for name in hostgl.SCENES:
            scene.setup(name)
            fault()
            read, target, _ = scene.draw()
            if read != reference[name][0] or not np.array_equal(target, reference[name][1]):
                detected[item].append(name)

    scene.setup("everything")
    before = hostgl.capture()
    kind = hostgl.outcome(lambda: rl.context_info()["context"])
    adoption = hostgl.changed(before, hostgl.capture())

    scene.setup("everything")
    before = hostgl.capture()
    objects = Objects()
    creation = hostgl.changed(before, hostgl.capture())

    trials = {}
    # "everything" first: each operation's first run (lazy set-up inside the layer) meets the
    # most unusual host state.
    for scene_name in ["everything", *hostgl.SCENES]:
        for op_name, op in OPERATIONS.items():
            scene.setup(scene_name)
            before = hostgl.capture()
            result = _summary(hostgl.outcome(lambda op=op: op(objects)))
            after = hostgl.capture()
            check = _host_picture_check(scene, reference[scene_name], op_name in DRAWS_INTO_HOST)
            trials.setdefault(scene_name, {})[op_name] = {
                "changed": hostgl.changed(before, after),
                "outcome": result,
                **check,
            }
    return {
        "context": kind,
        "faults_detected_in": detected,
        "adoption": adoption,
        "creation": creation,
        "trials": trials,
    }


if __name__ == "__main__":
    hostgl.run(main)
