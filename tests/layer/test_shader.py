import pickle

import numpy as np
import pytest

from layer.helpers import Drawing, blank_texture, cleared, pixels
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

# Paints one of several probes of its uniforms and inputs, chosen by `mode`.
PROBE_FS = """#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
uniform int mode;
uniform float f;
uniform vec2 v;
uniform vec4 colors[4];
uniform float stops[4];
out vec4 o;
void main() {
    if (mode == 0) o = vec4(f, 0.0, 0.0, 1.0);
    else if (mode == 1) o = vec4(v, 0.0, 1.0);
    else if (mode == 2) o = colors[2];
    else if (mode == 3) o = vec4(stops[0], stops[1], stops[3], 1.0);
    else if (mode == 4) o = vec4(fragTexCoord, 0.0, 1.0);
    else if (mode == 5) o = vec4(gl_FragCoord.xy / 255.0, 0.0, 1.0);
    else o = fragColor;
}
"""


@pytest.fixture(scope="module")
def probe_shader():
    return ZvShader(None, PROBE_FS)


def paint(shader, width=4, height=4, dest=None, tint=rl.WHITE, **uniforms):
    target = cleared(width, height)
    loc = lambda name: rl.get_zvshader_location(shader, name)  # noqa: E731
    for name, value in uniforms.items():
        setter = {
            "mode": rl.set_zvshader_value_int,
            "f": rl.set_zvshader_value_float,
            "v": rl.set_zvshader_value_vec2_tuple,
            "vv": rl.set_zvshader_value_vec2_zvvec,
            "colors": rl.set_zvshader_value_vec4_v,
            "stops": rl.set_zvshader_value_float_v,
        }[name]
        setter(shader, loc("v" if name == "vv" else name), value)
    with Drawing(target, shader=shader):
        rl.draw_texture_pro(
            blank_texture(), (0, 0, 1, 1), dest or (0, 0, width, height), (0, 0), 0.0, tint
        )
    return pixels(target).astype(int)


def close(pixel, expected):
    return np.abs(np.asarray(pixel) - np.asarray(expected)).max() <= 1


@pytest.mark.parametrize(
    "uniforms, expected",
    [
        ({"mode": 0, "f": 0.5}, (128, 0, 0, 255)),
        ({"mode": 1, "v": (0.25, 1.0)}, (64, 255, 0, 255)),
        ({"mode": 1, "vv": ZvVector2(1.0, 0.0)}, (255, 0, 0, 255)),
        (
            {"mode": 2, "colors": [(0, 0, 0, 0), (1, 1, 1, 1), (0.2, 0.4, 0.6, 1.0)]},
            (51, 102, 153, 255),
        ),
        (
            {
                "mode": 2,
                "colors": [{"x": 0, "y": 0, "z": 0, "w": 0}] * 2 + [dict(x=1, y=0, z=1, w=1)],
            },
            (255, 0, 255, 255),
        ),
        ({"mode": 3, "stops": [0.0, 0.5, 0.7, 1.0]}, (0, 128, 255, 255)),
        ({"mode": 6}, (255, 255, 255, 255)),
    ],
)
def test_uniform_setters_reach_the_shader(probe_shader, uniforms, expected):
    data = paint(probe_shader, **uniforms)
    assert close(data[0, 0], expected), data[0, 0]
    assert (data == data[0, 0]).all()


def test_array_longer_than_the_uniform_is_clamped(probe_shader):
    data = paint(probe_shader, mode=3, stops=[0.0, 0.5, 0.7, 1.0] + [9.0] * 60)
    assert close(data[0, 0], (0, 128, 255, 255))


def test_frag_tex_coord_spans_the_quad_top_left_first(probe_shader):
    data = paint(probe_shader, width=6, height=4, dest=(2, 0, 4, 4), mode=4)
    for py in range(4):
        for px in range(4):
            expected = ((px + 0.5) / 4 * 255, (py + 0.5) / 4 * 255, 0, 255)
            assert close(data[py, px + 2], expected), (px, py, data[py, px + 2])
    assert (data[:, :2] == 0).all()


def test_frag_coord_is_y_down_in_target_pixels(probe_shader):
    data = paint(probe_shader, width=5, height=3, mode=5)
    for py in range(3):
        for px in range(5):
            assert close(data[py, px], (px + 0.5, py + 0.5, 0, 255)), (px, py)


def test_tint_reaches_frag_color(probe_shader):
    data = paint(probe_shader, mode=6, tint=(10, 20, 30, 255))
    assert close(data[1, 1], (10, 20, 30, 255))


def test_wrong_uniform_type_is_reported(probe_shader):
    with pytest.raises(RuntimeError, match="GL error"):
        rl.set_zvshader_value_int(probe_shader, rl.get_zvshader_location(probe_shader, "f"), 1)
    # and the error does not linger into the next call
    rl.set_zvshader_value_float(probe_shader, rl.get_zvshader_location(probe_shader, "f"), 1)


@pytest.mark.parametrize(
    "setter, value",
    [
        (rl.set_zvshader_value_int, 1),
        (rl.set_zvshader_value_float, 1.0),
        (rl.set_zvshader_value_vec2_tuple, (1, 2)),
        (rl.set_zvshader_value_vec2_zvvec, ZvVector2()),
        (rl.set_zvshader_value_vec4_v, [(1, 2, 3, 4)]),
        (rl.set_zvshader_value_float_v, [1.0, 2.0]),
    ],
)
def test_location_minus_one_is_ignored(probe_shader, setter, value):
    setter(probe_shader, -1, value)


@pytest.mark.parametrize(
    "setter, value, error",
    [
        (rl.set_zvshader_value_vec2_tuple, (1, 2, 3), ValueError),
        (rl.set_zvshader_value_vec2_tuple, None, TypeError),
        (rl.set_zvshader_value_vec2_zvvec, (1, 2), TypeError),
        (rl.set_zvshader_value_vec4_v, [(1, 2, 3)], ValueError),
        (rl.set_zvshader_value_vec4_v, [{"x": 1}], KeyError),
        (rl.set_zvshader_value_vec4_v, (x for x in []), TypeError),
        (rl.set_zvshader_value_float_v, ["a"], TypeError),
        (rl.set_zvshader_value_float_v, None, TypeError),
        (rl.set_zvshader_value_float, "1", TypeError),
        (rl.set_zvshader_value_int, "1", TypeError),
        (rl.set_zvshader_value_int, 2**31, OverflowError),
    ],
)
def test_setters_refuse_bad_values(probe_shader, setter, value, error):
    with pytest.raises(error):
        setter(probe_shader, 0, value)


@pytest.mark.parametrize(
    "call",
    [
        lambda s: rl.begin_zvshader_mode(s),
        lambda s: rl.get_zvshader_location(s, "f"),
        lambda s: rl.set_zvshader_value_int(s, 0, 1),
        lambda s: rl.set_zvshader_value_float(s, 0, 1.0),
        lambda s: rl.set_zvshader_value_vec2_tuple(s, 0, (1, 2)),
        lambda s: rl.set_zvshader_value_vec2_zvvec(s, 0, ZvVector2()),
        lambda s: rl.set_zvshader_value_vec4_v(s, 0, []),
        lambda s: rl.set_zvshader_value_float_v(s, 0, []),
    ],
)
@pytest.mark.parametrize("not_a_shader", [None, 5, ZvVector2(), ZvShader])
def test_shader_arguments_are_checked(call, not_a_shader):
    with pytest.raises(TypeError, match="Expected ZvShader"):
        call(not_a_shader)


def test_locations(probe_shader):
    assert rl.get_zvshader_location(probe_shader, "colors") >= 0
    assert rl.get_zvshader_location(probe_shader, "missing") == -1
    with pytest.raises(TypeError, match="Expected str, got int"):
        rl.get_zvshader_location(probe_shader, 3)
    with pytest.raises(ValueError):
        rl.get_zvshader_location(probe_shader, "f\0")


def test_default_shader_fields():
    shader = ZvShader()
    assert shader.id > 0
    assert shader.locs[:3] == (0, 1, 2)  # vertexPosition, vertexTexCoord, vertexColor
    assert all(loc >= 0 for loc in shader.locs)
    assert ZvShader.c_create_from_code(None, None).id not in (0, shader.id)


@pytest.mark.parametrize(
    "vs, fs, message",
    [
        ("not glsl", None, "vertex shader failed to compile: .*error"),
        (None, "#version 330\nvoid main() { undefined_call(); }", "fragment shader failed"),
        (
            None,
            "#version 330\nout vec4 o;",
            "failed to link",
        ),
    ],
)
def test_compile_and_link_errors_carry_the_log(vs, fs, message):
    with pytest.raises(RuntimeError, match=message):
        ZvShader.c_create_from_code(vs, fs)


@pytest.mark.parametrize(
    "vs, fs, error",
    [
        (b"x", None, TypeError),
        (None, 5, TypeError),
        ("a\0b", None, ValueError),
    ],
)
def test_source_types(vs, fs, error):
    with pytest.raises(error):
        ZvShader(vs, fs)


def test_unload():
    shader = ZvShader()
    rl.begin_zvshader_mode(shader)
    with pytest.raises(RuntimeError, match="shader mode"):
        shader.unload()
    rl.end_shader_mode()
    shader.unload()
    shader.unload()
    assert shader.id == 0
    with pytest.raises(ValueError, match="not loaded"):
        rl.begin_zvshader_mode(shader)
    with pytest.raises(ValueError, match="not loaded"):
        rl.get_zvshader_location(shader, "mvp")


def test_shader_mode_keeps_the_shader_alive():
    import gc

    target = cleared(1, 1)
    rl.begin_texture_mode(target)
    rl.begin_zvshader_mode(
        ZvShader(None, "#version 330\nout vec4 o; void main() { o = vec4(0, 1, 0, 1); }")
    )
    gc.collect()
    rl.draw_texture_pro(blank_texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, rl.WHITE)
    rl.end_shader_mode()
    rl.end_texture_mode()
    assert tuple(pixels(target)[0, 0]) == (0, 255, 0, 255)


def test_not_picklable():
    with pytest.raises(TypeError, match="pickle"):
        pickle.dumps(ZvShader())
