"""The layer as the gradient module binds it: through interfaces/bind.h, from C."""

import sys
import types

import pytest

from layer.helpers import blank_texture, pixels
from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrect.zvrect import ZvRect
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

ENTRY_POINTS = [
    "begin_zvshader_mode",
    "get_zvshader_location",
    "draw_texture_pro",
    "begin_texture_mode",
    "end_blend_mode",
    "end_shader_mode",
    "end_texture_mode",
    "begin_blend_mode",
    "set_zvshader_value_vec2_tuple",
    "set_zvshader_value_float",
    "set_zvshader_value_int",
    "set_zvshader_value_vec4_v",
    "set_zvshader_value_float_v",
    "set_zvshader_value_vec2_zvvec",
]


def test_binds_the_four_types_and_fourteen_functions(probe):
    assert probe.bind() == (ZvVector2, ZvRect, ZvRenderTexture, ZvShader)
    assert sorted(rl.__pyx_capi__) == sorted(ENTRY_POINTS)
    for name in ENTRY_POINTS:
        assert callable(getattr(rl, name))


def test_capsule_names_are_the_signatures(probe):
    signatures = {name: str(capsule).split('"')[1] for name, capsule in rl.__pyx_capi__.items()}
    assert signatures["end_texture_mode"] == "int (void)"
    assert signatures["begin_texture_mode"] == "int (struct ZvRenderTarget)"
    assert signatures["set_zvshader_value_vec4_v"] == (
        "int (struct ZvShaderObject *, int32_t, struct Vector4 const *, Py_ssize_t)"
    )


def test_native_static_constructors(probe):
    v = probe.call("vector2_new", 1.5, -2)
    assert type(v) is ZvVector2 and v == ZvVector2(1.5, -2)
    r = probe.call("rect_new", 1, 2, 3, 4)
    assert type(r) is ZvRect and probe.call("fields", r) == (1, 2, 3, 4)
    t = probe.call("render_texture_new", ZvVector2(3, 2))
    f = probe.call("fields", t)
    assert (f["width"], f["height"], f["size"], f["loaded"]) == (3, 2, (3.0, 2.0), 1)
    assert f["fbo"] == t.render_texture.id and f["texture"] == t.render_texture.texture_id


def test_native_render(probe):
    target = probe.call("render_texture_new", ZvVector2(2, 2))
    probe.call("c_fast_clear", target, (0, 0, 0, 0))
    probe.call("begin_texture_mode", target)
    probe.call("begin_blend_mode", int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
    probe.call(
        "draw_texture_pro",
        blank_texture(),
        (0, 0, 1, 1),
        (1, 0, 1, 2),
        (0, 0),
        0.0,
        (255, 255, 255, 255),
    )
    probe.call("end_blend_mode")
    probe.call("end_texture_mode")
    assert pixels(target)[:, :, 0].tolist() == [[0, 255], [0, 255]]


@pytest.mark.parametrize(
    "args, error",
    [
        (("begin_zvshader_mode", None), TypeError),
        (("get_zvshader_location", None, "x"), TypeError),
        (("set_zvshader_value_int", None, 0, 1), TypeError),
        (("set_zvshader_value_float", ZvVector2(), 0, 1.0), TypeError),
        (("set_zvshader_value_vec2_tuple", None, 0, (1, 2)), TypeError),
        (("set_zvshader_value_vec4_v", None, 0, []), TypeError),
        (("set_zvshader_value_float_v", "shader", 0, []), TypeError),
        (("set_zvshader_value_vec2_zvvec", None, 0, ZvVector2()), TypeError),
        (("render_texture_new", None), TypeError),
        (("render_texture_new", (2, 2)), TypeError),
        (("render_texture_new", ZvVector2(0, 2)), ValueError),
        (("render_texture_new", ZvVector2(-5, -5)), ValueError),
        (("c_create_from_code", 1, None), TypeError),
        (
            ("draw_texture_pro", None, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.0, (0, 0, 0, 0)),
            TypeError,
        ),
    ],
)
def test_native_calls_survive_bad_arguments(probe, args, error):
    with pytest.raises(error):
        probe.call(*args)


def test_native_shader_checks(probe):
    shader = ZvShader()
    with pytest.raises(TypeError):
        probe.call("set_zvshader_value_vec2_zvvec", shader, 0, (1, 2))
    with pytest.raises(ValueError, match="array"):
        probe.call("set_zvshader_value_float_v_raw", shader, 0, 3)  # null values, count 3
    with pytest.raises(ValueError, match="array"):
        probe.call("set_zvshader_value_float_v_raw", shader, 0, -1)
    probe.call("set_zvshader_value_float_v_raw", shader, 0, 0)  # null with no values is fine
    assert probe.call("begin_zvshader_mode", shader) is None
    probe.call("end_shader_mode")


@pytest.mark.parametrize("count", [-1, 3, 2**40])
def test_native_uniform_array_message(probe, count):
    # The message compiled callers have always had for an array they cannot have meant.
    with pytest.raises(ValueError, match=rf"^invalid uniform array \(length {count}\)$"):
        probe.call("set_zvshader_value_float_v_raw", ZvShader(), 0, count)


def test_native_texture_mode_of_an_unloaded_target(probe):
    target = ZvRenderTexture((2, 2))
    target.unload()
    with pytest.raises(ValueError, match="not loaded"):
        probe.call("begin_texture_mode", target)
    with pytest.raises(ValueError, match="not loaded"):
        probe.call("c_fast_clear", target, (0, 0, 0, 0))


# ---- binding failures, against stand-in modules -------------------------------------------------


@pytest.fixture
def standin():
    made = []

    def make(name, **attrs):
        module = types.ModuleType(name)
        module.__dict__.update(attrs)
        sys.modules[name] = module
        made.append(name)
        return module

    yield make
    for name in made:
        sys.modules.pop(name, None)


def full_capi(probe, **override):
    real = {name: str(c).split('"')[1] for name, c in rl.__pyx_capi__.items()}
    real.update(override)
    return {name: probe.capsule(sig) for name, sig in real.items() if sig is not None}


def test_standin_with_every_function_binds(probe, standin):
    standin("standin_ok", __pyx_capi__=full_capi(probe))
    assert probe.bind_api("standin_ok") is None


def test_module_that_cannot_be_imported(probe):
    with pytest.raises(ModuleNotFoundError):
        probe.bind_api("standin_nowhere")
    with pytest.raises(ModuleNotFoundError):
        probe.bind_type("standin_nowhere", "X")


def test_no_capi(probe, standin):
    standin("standin_bare")
    with pytest.raises(
        ImportError, match="standin_bare does not export expected C function begin_zvshader_mode"
    ):
        probe.bind_api("standin_bare")


@pytest.mark.parametrize(
    "missing", ["begin_zvshader_mode", "draw_texture_pro", "set_zvshader_value_vec2_zvvec"]
)
def test_missing_function(probe, standin, missing):
    standin("standin_missing", __pyx_capi__=full_capi(probe, **{missing: None}))
    with pytest.raises(ImportError) as info:
        probe.bind_api("standin_missing")
    assert str(info.value) == f"standin_missing does not export expected C function {missing}"


@pytest.mark.parametrize(
    "name, wrong",
    [
        ("draw_texture_pro", "int (void)"),
        ("set_zvshader_value_float", "int (struct ZvShaderObject *, int32_t, double)"),
    ],
)
def test_wrong_signature(probe, standin, name, wrong):
    expected = str(rl.__pyx_capi__[name]).split('"')[1]
    standin("standin_sig", __pyx_capi__=full_capi(probe, **{name: wrong}))
    with pytest.raises(TypeError) as info:
        probe.bind_api("standin_sig")
    assert str(info.value) == (
        f"C function standin_sig.{name} has wrong signature (expected {expected}, got {wrong})"
    )


def test_capi_entry_that_is_not_a_capsule(probe, standin):
    capi = full_capi(probe)
    capi["end_blend_mode"] = "int (void)"
    standin("standin_str", __pyx_capi__=capi)
    with pytest.raises(TypeError, match="end_blend_mode has wrong signature"):
        probe.bind_api("standin_str")


class NoTable:
    pass


@pytest.mark.parametrize(
    "attrs, error, message",
    [
        ({"ZvVector2": 42}, TypeError, "standin_types.ZvVector2 is not a type object"),
        ({"ZvVector2": ZvVector2.new}, TypeError, "is not a type object"),
        ({}, AttributeError, "ZvVector2"),
        ({"ZvVector2": NoTable}, AttributeError, "__pyx_vtable__"),
    ],
)
def test_type_binding_failures(probe, standin, attrs, error, message):
    standin("standin_types", **attrs)
    with pytest.raises(error, match=message):
        probe.bind_type("standin_types", "ZvVector2")


def test_type_smaller_than_the_layout(probe, standin):
    standin("standin_small", ZvVector2=ZvVector2)
    with pytest.raises(ValueError, match="size changed"):
        probe.bind_type("standin_small", "ZvVector2", 10**6)
    assert probe.bind_type("standin_small", "ZvVector2") is ZvVector2
