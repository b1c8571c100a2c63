import pytest

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

FS = """#version 330
uniform int gradientType;
uniform float alpha;
uniform vec2 size;
uniform vec4 colors[4];
uniform float stops[4];
out vec4 o;
void main() {
    o = colors[0] * alpha + vec4(stops[0], size, float(gradientType));
}
"""

F32_TENTH = 0.10000000149011612


def python_call(name, *args):
    if name == "render_texture_new":
        return ZvRenderTexture.new(*args)
    if name == "c_create_from_code":
        return ZvShader.c_create_from_code(*args)
    if name == "c_fast_clear":
        return args[0].c_fast_clear(args[1])
    return getattr(rl, name)(*args)


def native_call(probe):
    return probe.call


def gradient_pass(call):
    """The calls a gradient render makes, in its order; returns the expected records."""
    image = rl.gen_image_color(1, 1, rl.WHITE)
    texture = rl.load_texture_from_image(image)
    rl.unload_image(image)
    shader = call("c_create_from_code", None, FS)
    loc = {
        n: call("get_zvshader_location", shader, n)
        for n in ("gradientType", "alpha", "size", "colors", "stops")
    }
    call("set_zvshader_value_int", shader, loc["gradientType"], 1)
    call("set_zvshader_value_float", shader, loc["alpha"], 0.1)
    call("set_zvshader_value_vec2_zvvec", shader, loc["size"], ZvVector2(4, 2))
    call("set_zvshader_value_vec4_v", shader, loc["colors"], [(0.1, 0.5, 1, 0)])
    call("set_zvshader_value_float_v", shader, loc["stops"], [0.0, 0.1])
    target = call("render_texture_new", ZvVector2(4, 2))
    call("begin_texture_mode", target)
    call("begin_blend_mode", 5)
    call("begin_zvshader_mode", shader)
    call("c_fast_clear", target, (0, 0, 0, 0))
    call("draw_texture_pro", texture, (0, 0, 1, 1), (0, 0, 4, 2), (0, 0), 0.0, rl.WHITE)
    call("end_shader_mode")
    call("end_blend_mode")
    call("end_texture_mode")
    call("set_zvshader_value_vec2_tuple", shader, loc["size"], (1, 2.5))
    sid, fbo = shader.id, target.render_texture.id
    return [
        ("gen_image_color", 1, 1, (255, 255, 255, 255)),
        ("load_texture_from_image", image.id),
        ("unload_image", image.id),
        ("c_create_from_code", None, FS),
        ("get_zvshader_location", sid, "gradientType"),
        ("get_zvshader_location", sid, "alpha"),
        ("get_zvshader_location", sid, "size"),
        ("get_zvshader_location", sid, "colors"),
        ("get_zvshader_location", sid, "stops"),
        ("set_zvshader_value_int", sid, loc["gradientType"], 1),
        ("set_zvshader_value_float", sid, loc["alpha"], F32_TENTH),
        ("set_zvshader_value_vec2_zvvec", sid, loc["size"], (4.0, 2.0)),
        ("set_zvshader_value_vec4_v", sid, loc["colors"], [(F32_TENTH, 0.5, 1.0, 0.0)]),
        ("set_zvshader_value_float_v", sid, loc["stops"], [0.0, F32_TENTH]),
        ("render_texture_new", (4.0, 2.0)),
        ("begin_texture_mode", fbo),
        ("begin_blend_mode", 5),
        ("begin_zvshader_mode", sid),
        ("c_fast_clear", fbo, (0, 0, 0, 0)),
        ("draw_texture_pro", texture.id, (0, 0, 1, 1), (0, 0, 4, 2), (0, 0), 0.0, rl.WHITE),
        ("end_shader_mode",),
        ("end_blend_mode",),
        ("end_texture_mode",),
        ("set_zvshader_value_vec2_tuple", sid, loc["size"], (1, 2.5)),
    ]


@pytest.mark.parametrize("side", ["python", "native"])
def test_records_in_call_order(side, probe):
    call = python_call if side == "python" else probe.call
    rl.trace_start()
    expected = gradient_pass(call)
    records = rl.trace_stop()
    assert records == expected
    assert all(type(r) is tuple for r in records)
    floats = [r[3] for r in records if r[0] == "set_zvshader_value_float"]
    assert type(floats[0]) is float


def test_nothing_is_recorded_when_off(probe):
    assert rl.trace_stop() == []
    gradient_pass(python_call)
    gradient_pass(probe.call)
    rl.trace_start()
    assert rl.trace_stop() == []


def test_restart_drops_earlier_records():
    rl.trace_start()
    rl.gen_image_color(1, 1, rl.WHITE)
    rl.trace_start()
    rl.gen_image_color(2, 1, rl.WHITE)
    assert rl.trace_stop() == [("gen_image_color", 2, 1, (255, 255, 255, 255))]


def test_failing_calls_are_recorded_once():
    rl.trace_start()
    with pytest.raises(ValueError):
        ZvRenderTexture((0, 3))
    with pytest.raises(RuntimeError):
        rl.end_texture_mode()
    with pytest.raises(ValueError):
        rl.begin_blend_mode(42)
    assert rl.trace_stop() == [
        ("render_texture_new", (0.0, 3.0)),
        ("end_texture_mode",),
        ("begin_blend_mode", 42),
    ]


@pytest.mark.parametrize(
    "value, expected",
    [
        (1e300, float("inf")),
        (-1e300, float("-inf")),
        (3.4028235677973362e38, 3.4028234663852886e38),  # rounds down to the largest float
        (3.4028235677973366e38, float("inf")),  # the halfway point rounds up
        (1e-50, 0.0),
    ],
)
def test_floats_narrow_like_ieee(value, expected):
    shader = ZvShader()
    rl.trace_start()
    rl.set_zvshader_value_float(shader, -1, value)
    assert rl.trace_stop() == [("set_zvshader_value_float", shader.id, -1, expected)]
