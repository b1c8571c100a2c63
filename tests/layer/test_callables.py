"""Every compiled callable of the layer's modules shows its parameters and a docstring, and a
failing call names the callable in the traceback."""

import importlib
import inspect
import traceback
import types

import pytest

from zorva_ui.fast.raylib import zorva_raylib as rl
from zorva_ui.fast.zvrect.zvrect import ZvRect
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

MODULES = {
    "zorva_ui.fast.raylib.zorva_raylib": "fast/raylib/",
    "zorva_ui.fast.zvvector2.zvvector2": "fast/zvvector2/",
    "zorva_ui.fast.zvrect.zvrect": "fast/zvrect/",
    "zorva_ui.fast.zvshader.zvshader": "fast/zvshader/",
    "zorva_ui.fast.zvrendertex.zv_render_tex": "fast/zvrendertex/",
}
METHOD_KINDS = (types.MethodDescriptorType, types.ClassMethodDescriptorType, staticmethod)
PROPERTY_KINDS = (types.GetSetDescriptorType, types.MemberDescriptorType)


def _own_types(module):
    for value in vars(module).values():
        # The module's static types: not the Python enumeration, not the struct sequence (both
        # heap types, made by the interpreter's own machinery).
        heap_type = 1 << 9
        if isinstance(value, type) and value.__module__ == module.__name__:
            if not value.__flags__ & heap_type:
                yield value


def _callables():
    """(module, qualified name, object) for each function, constructor and method."""
    found = []
    for name in MODULES:
        module = importlib.import_module(name)
        for attr, value in vars(module).items():
            if isinstance(value, types.BuiltinFunctionType) and not attr.startswith("__"):
                found.append((name, attr, value))
        for cls in _own_types(module):
            if cls.__new__ is not object.__new__ and "__new__" in vars(cls):
                found.append((name, cls.__name__, cls))
            for attr, value in vars(cls).items():
                if isinstance(value, METHOD_KINDS):
                    found.append((name, f"{cls.__name__}.{attr}", getattr(cls, attr)))
    return found


def _properties():
    return [
        (name, f"{cls.__name__}.{attr}", value)
        for name in MODULES
        for cls in _own_types(importlib.import_module(name))
        for attr, value in vars(cls).items()
        if isinstance(value, PROPERTY_KINDS)
    ]


CALLABLES = _callables()


@pytest.mark.parametrize("module, qualname, obj", CALLABLES, ids=[c[1] for c in CALLABLES])
def test_signature_and_docstring(module, qualname, obj):
    assert obj.__text_signature__ is not None
    inspect.signature(obj)
    # The text signature is not shown as part of the docstring, which says what the call does.
    assert obj.__doc__ and "\n--\n" not in obj.__doc__ and len(obj.__doc__) > 10


@pytest.mark.parametrize("module, qualname, descriptor", _properties(), ids=lambda v: str(v))
def test_properties_have_docstrings(module, qualname, descriptor):
    assert descriptor.__doc__ and len(descriptor.__doc__) > 5


def test_docstring_shows_the_parameters():
    assert inspect.signature(rl.write_png).parameters["unpremultiply"].default is False
    assert str(inspect.signature(ZvRect)) == "(x=0.0, y=0.0, width=0.0, height=0.0)"
    assert str(inspect.signature(rl.load_texture_from_image)) == "(image, /)"
    assert str(inspect.signature(ZvRenderTexture.c_fast_clear)) == "(self, color, /)"


class BadDict(ZvVector2):
    @property
    def __dict__(self):
        raise LookupError("no dict here")


def _unload_active_shader():
    shader = ZvShader()
    rl.begin_zvshader_mode(shader)
    try:
        shader.unload()
    finally:
        rl.end_shader_mode()


def _exit_active_shader():
    shader = ZvShader()
    with rl.begin_zvshader_mode(shader):
        shader.__exit__(None, None, None)


def _exit_viewed_image():
    image = rl.gen_image_color(1, 1, rl.WHITE)
    view = memoryview(image)
    try:
        image.__exit__(None, None, None)
    finally:
        view.release()


def _exit_ended_mode():
    mode = rl.begin_blend_mode(rl.BlendMode.BLEND_ALPHA)
    rl.end_blend_mode()
    mode.__exit__(None, None, None)


def _unloaded_target():
    target = ZvRenderTexture((1, 1))
    target.unload()
    return target


SHADER_ARGS = {
    "set_zvshader_value_vec2_tuple": (0, (0, 0)),
    "set_zvshader_value_float": (0, 0.0),
    "set_zvshader_value_int": (0, 0),
    "set_zvshader_value_vec4_v": (0, []),
    "set_zvshader_value_float_v": (0, []),
    "set_zvshader_value_vec2_zvvec": (0, ZvVector2()),
    "get_zvshader_location": ("x",),
    "begin_zvshader_mode": (),
}

FAILING = {
    **{
        name: (lambda n=name, a=args: getattr(rl, n)(None, *a))
        for name, args in SHADER_ARGS.items()
    },
    "draw_texture_pro": lambda: rl.draw_texture_pro(
        None, (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0, rl.WHITE
    ),
    "begin_texture_mode": lambda: rl.begin_texture_mode(None),
    "end_texture_mode": rl.end_texture_mode,
    "end_shader_mode": rl.end_shader_mode,
    "end_blend_mode": rl.end_blend_mode,
    "begin_blend_mode": lambda: rl.begin_blend_mode(99),
    "gen_image_color": lambda: rl.gen_image_color(0, 0, rl.WHITE),
    "image_from_pixels": lambda: rl.image_from_pixels(1, 1, b"short"),
    "_encode_png": lambda: rl._encode_png(b"", 0, 0),
    "load_texture_from_image": lambda: rl.load_texture_from_image(None),
    "unload_image": lambda: rl.unload_image(None),
    "unload_texture": lambda: rl.unload_texture(None),
    "write_png": lambda: rl.write_png(None, "x.png"),
    "end_drawing": rl.end_drawing,
    "begin_scissor_mode": lambda: rl.begin_scissor_mode(0, 0, -1, 1),
    "end_scissor_mode": rl.end_scissor_mode,
    "begin_mode_2d": lambda: rl.begin_mode_2d(None),
    "end_mode_2d": rl.end_mode_2d,
    "attach_host": lambda: rl.attach_host(None),
    "ZvVector2": lambda: ZvVector2(1, 2, 3),
    "ZvVector2.new": lambda: ZvVector2.new(1),
    "ZvVector2.__reduce__": lambda: BadDict().__reduce__(),
    "ZvRect": lambda: ZvRect("x"),
    "ZvRect.new": lambda: ZvRect.new(width=1),
    "ZvShader": lambda: ZvShader(vertex=1),
    "ZvShader.c_create_from_code": lambda: ZvShader.c_create_from_code(None),
    "ZvShader.unload": _unload_active_shader,
    "ZvShader.__reduce__": lambda: ZvShader().__reduce__(),
    "ZvRenderTexture": lambda: ZvRenderTexture(size=None),
    "ZvRenderTexture.new": lambda: ZvRenderTexture.new((1, 1)),
    "ZvRenderTexture.c_fast_clear": lambda: ZvRenderTexture((1, 1)).c_fast_clear(None),
    "ZvRenderTexture.read_pixels": lambda: _unloaded_target().read_pixels(),
    "ZvRenderTexture.__reduce__": lambda: ZvRenderTexture((1, 1)).__reduce__(),
    "ZvShader.__exit__": _exit_active_shader,
    "ZvRenderTexture.__array__": lambda: ZvRenderTexture((1, 1)).__array__(copy=False),
    "Image.__exit__": _exit_viewed_image,
    "DrawingMode.__exit__": _exit_ended_mode,
}
# Calls that have no failure a test can bring about from Python.
CANNOT_FAIL = {
    "trace_start",
    "trace_stop",
    "context_info",
    "begin_drawing",
    "ZvVector2.__copy__",
    "ZvRect.__reduce__",
    "ZvRenderTexture.unload",
    "ZvShader.__enter__",
    "ZvRenderTexture.__enter__",
    "ZvRenderTexture.__exit__",
    "Image.__enter__",
    "Texture.__enter__",
    "Texture.__exit__",
    "DrawingMode.__enter__",
}


def test_every_callable_is_listed_here():
    assert {c[1] for c in CALLABLES} == set(FAILING) | CANNOT_FAIL


@pytest.mark.parametrize("qualname", sorted(FAILING))
def test_failing_call_names_the_callable(qualname):
    module = next(c[0] for c in CALLABLES if c[1] == qualname)
    with pytest.raises(Exception) as info:  # noqa: B017
        FAILING[qualname]()
    entries = traceback.extract_tb(info.value.__traceback__)
    ours = [e for e in entries if e.name.startswith("zorva_ui.")]
    expected = (
        f"{module}.{qualname}.__new__" if "." not in qualname and qualname[0] == "Z" else None
    )
    assert [e.name for e in ours] == [expected or f"{module}.{qualname}"]
    assert ours[0].filename.startswith(MODULES[module])
