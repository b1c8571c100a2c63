import pytest
from support.refleak import assert_no_leak

from layer.helpers import blank_texture
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrect.zvrect import ZvRect
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

SOURCE, DEST, ORIGIN, TINT = (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), (255, 255, 255, 255)
COLORS = [(0.1, 0.2, 0.3, 0.4), {"x": 1, "y": 1, "z": 1, "w": 1}]
STOPS = [0.0, 1.0]


@pytest.fixture(scope="module")
def scene():
    shader = ZvShader(
        None,
        "#version 330\nuniform vec4 colors[2]; uniform float stops[2]; uniform vec2 v;\n"
        "uniform int i; uniform float f; out vec4 o;\n"
        "void main() { o = colors[0] * stops[1] + vec4(v, f, float(i)); }",
    )
    locs = {n: rl.get_zvshader_location(shader, n) for n in ("colors", "stops", "v", "i", "f")}
    return shader, locs, ZvRenderTexture((2, 2)), blank_texture()


def draw_once(shader, target, texture):
    rl.begin_texture_mode(target)
    rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY)
    rl.begin_zvshader_mode(shader)
    target.c_fast_clear((0, 0, 0, 0))
    rl.draw_texture_pro(texture, SOURCE, DEST, ORIGIN, 0.0, TINT)
    rl.end_shader_mode()
    rl.end_blend_mode()
    rl.end_texture_mode()


def test_drawing_pass(scene):
    shader, locs, target, texture = scene

    def op():
        rl.set_zvshader_value_vec4_v(shader, locs["colors"], COLORS)
        rl.set_zvshader_value_float_v(shader, locs["stops"], STOPS)
        rl.set_zvshader_value_vec2_tuple(shader, locs["v"], ORIGIN)
        rl.set_zvshader_value_vec2_zvvec(shader, locs["v"], ZvVector2(1, 2))
        rl.set_zvshader_value_int(shader, locs["i"], 1)
        rl.set_zvshader_value_float(shader, locs["f"], 0.5)
        draw_once(shader, target, texture)
        target.read_pixels()
        target.read_pixels(into, straight_alpha=True)
        with rl.begin_texture_mode(target), rl.begin_blend_mode(0), rl.begin_zvshader_mode(shader):
            pass

    into = bytearray(16)
    assert_no_leak(
        op, shader, target, texture, into, SOURCE, DEST, TINT, COLORS[1], STOPS, rounds=600
    )


def test_traced_pass(scene):
    shader, locs, target, texture = scene

    def op():
        rl.trace_start()
        rl.set_zvshader_value_vec4_v(shader, locs["colors"], COLORS)
        draw_once(shader, target, texture)
        rl.get_zvshader_location(shader, "colors")
        rl.trace_stop()

    assert_no_leak(op, shader, target, texture, SOURCE, DEST, TINT, rounds=600)


def test_objects_come_and_go():
    def op():
        ZvRenderTexture((3, 3)).c_fast_clear((1, 2, 3, 4))
        ZvRenderTexture(ZvVector2(1, 1)).unload()
        ZvShader()
        image = rl.gen_image_color(2, 2, TINT)
        texture = rl.load_texture_from_image(image)
        rl.unload_image(image)
        rl.unload_texture(texture)
        rl.unload_image(rl.image_from_pixels(2, 1, b"\1" * 8))
        rl._encode_png(b"\1" * 16, 2, 2)
        rl._encode_png(b"\1" * 16, 2, 2, stored=True)
        repr(ZvRect(1, 2, 3, 4))
        ZvVector2.new(1, 2) == ZvVector2(1, 2)  # noqa: B015
        with rl.gen_image_color(2, 2, TINT) as image, memoryview(image) as view:
            view.tobytes()
        with ZvRenderTexture((1, 1)), ZvShader(), blank_texture():
            pass

    assert_no_leak(op, TINT, rounds=400)


class BadBool:
    def __bool__(self):
        raise ValueError("no truth here")


BAD_CALLS = [
    lambda s, t, x: rl.draw_texture_pro(x, SOURCE, DEST, ORIGIN, 0.0, TINT),
    lambda s, t, x: rl.draw_texture_pro(x, SOURCE, DEST, ORIGIN, "r", TINT),
    lambda s, t, x: rl.draw_texture_pro(x, SOURCE, (0, 0, "w", 1), ORIGIN, 0.0, TINT),
    lambda s, t, x: rl.draw_texture_pro(None, SOURCE, DEST, ORIGIN, 0.0, TINT),
    lambda s, t, x: rl.set_zvshader_value_vec4_v(s, 0, [(1, 2, 3)]),
    lambda s, t, x: rl.set_zvshader_value_vec4_v(s, 0, [{"x": 1}]),
    lambda s, t, x: rl.set_zvshader_value_float_v(s, 0, [1, "a"]),
    lambda s, t, x: rl.set_zvshader_value_int(s, 0, 2**40),
    lambda s, t, x: rl.get_zvshader_location(s, b"name"),
    lambda s, t, x: rl.get_zvshader_location(None, "name"),
    lambda s, t, x: ZvRenderTexture((0, 1)),
    lambda s, t, x: ZvRenderTexture(("a", 1)),
    lambda s, t, x: t.c_fast_clear((0, 0, 0, 999)),
    lambda s, t, x: ZvShader("broken", None),
    lambda s, t, x: ZvShader(None, 1),
    lambda s, t, x: rl.end_texture_mode(),
    lambda s, t, x: rl.begin_blend_mode(77),
    lambda s, t, x: rl.gen_image_color(-1, 1, TINT),
    lambda s, t, x: rl.begin_texture_mode(x),
    lambda s, t, x: rl.write_png(t, "/nonexistent/dir/x.png"),
    lambda s, t, x: rl.image_from_pixels(2, 2, b"short"),
    lambda s, t, x: rl._encode_png(b"short", 2, 2),
    lambda s, t, x: t.read_pixels(b"\0" * 16),
    lambda s, t, x: t.read_pixels(bytearray(3)),
    lambda s, t, x: t.read_pixels(None, BadBool()),
]


@pytest.mark.parametrize("call", BAD_CALLS)
def test_failures_do_not_leak(scene, call):
    shader, _, target, texture = scene

    def op():
        try:
            call(shader, target, texture)
        except (TypeError, ValueError, RuntimeError, OverflowError, KeyError, OSError):
            return
        raise AssertionError("expected a failure")

    op()  # the failure really happens
    assert_no_leak(op, shader, target, texture, TINT, SOURCE, rounds=400)


def test_deflating_in_parts_does_not_leak():
    # Over a megabyte of rows: deflated in parts on worker threads.
    pixels = bytes(range(256)) * (1024 * 257 * 4 // 256)

    def op():
        rl._encode_png(pixels, 1024, 257)

    op()  # really encodes
    assert_no_leak(op, pixels, warmup=20, rounds=40)
