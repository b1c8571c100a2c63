"""Module initialisation: attributes and their order, native tables, defaults, the shared
rendering state (in fresh interpreters), traceback entries, and imports that fail."""

import sys
import textwrap

import pytest

import zorva_ui.core.modules as md
from gradient.gradhelp import run_python, zg
from zorva_ui.core import GradientType
from zorva_ui.fast import GradientShader
from zorva_ui.rendering.pygame.gradient import GradientPygame

MODULE = "zorva_ui.fast.zvraygrad.zvraygrad"


def test_module_attributes_in_order():
    names = [
        n for n in vars(zg) if not n.startswith("__") or n.startswith("__pyx") or n == "__test__"
    ]
    assert names == [
        "GradientRaylib",
        "ClickGradient",
        "md",
        "GradientShader",
        "GradientPygame",
        "GradientType",
        "__pyx_unpickle_GradientRaylib",
        "__pyx_unpickle_ClickGradient",
        "__test__",
    ]
    assert zg.md is md and zg.GradientShader is GradientShader
    assert zg.GradientPygame is GradientPygame and zg.GradientType is GradientType
    assert zg.__test__ == {}
    assert not hasattr(zg, "tuple_to_vector4")
    assert not [n for n in vars(zg) if n.startswith(("_SHARED", "_LOC"))]


def test_class_members_in_order():
    own = [
        n
        for n in vars(zg.GradientRaylib)
        if not n.startswith("__") or n in ("__reduce__", "__setstate__")
    ]
    assert own == [
        "_ensure_resources",
        "generate_texture",
        "__reduce__",
        "__setstate__",
        "transparency",
        "angle",
        "center",
        "colors",
        "raw_colors",
        "type",
    ]
    own = [
        n
        for n in vars(zg.ClickGradient)
        if not n.startswith("__") or n in ("__reduce__", "__setstate__")
    ]
    assert own == [
        "set_weight",
        "set_center",
        "set_center_zvvec",
        "_recalculate_stops",
        "draw",
        "__reduce__",
        "__setstate__",
        "weights",
    ]


def test_classes():
    assert zg.GradientRaylib.__module__ == MODULE.rsplit(".", 1)[0] + ".zvraygrad"
    assert issubclass(zg.ClickGradient, zg.GradientRaylib)
    for cls in (zg.GradientRaylib, zg.ClickGradient):
        assert f"{cls.__module__}.{cls.__qualname__}" == f"{MODULE}.{cls.__name__}"
        assert type(vars(cls)["__pyx_vtable__"]).__name__ == "PyCapsule"
    assert vars(zg.GradientRaylib)["__pyx_vtable__"] is not vars(zg.ClickGradient)["__pyx_vtable__"]
    assert not hasattr(zg.GradientRaylib([]), "__dict__")


def test_object_sizes_match_the_published_layout():
    # PyObject_HEAD, table pointer, raw_colors, _transparency + _angle, _center, type, and two
    # std::vector members (three pointers each); ClickGradient adds one more vector.
    pointer = 8
    base = 2 * pointer + pointer + pointer + 4 + 4 + pointer + pointer + 2 * 3 * pointer
    assert zg.GradientRaylib.__basicsize__ == base
    assert zg.ClickGradient.__basicsize__ == base + 3 * pointer


def test_ensure_resources_is_a_classmethod():
    seen = vars(zg.GradientRaylib)["_ensure_resources"]
    assert isinstance(seen, classmethod)
    assert zg.GradientRaylib._ensure_resources() is None
    assert zg.GradientRaylib([])._ensure_resources() is None
    with pytest.raises(TypeError):
        zg.GradientRaylib._ensure_resources(1)


def test_defaults_read_once_at_import(monkeypatch):
    linear, radial = GradientType.Linear, GradientType.Radial

    class Other:
        Linear = "L"
        Radial = "R"

    monkeypatch.setattr(zg, "GradientType", Other)
    assert zg.GradientRaylib([]).type is linear
    assert zg.ClickGradient([]).type is radial
    # ... while comparisons read the module attribute at each call.
    assert zg.GradientRaylib([], "L", 45).angle == 45.0


def test_missing_gradient_type_global(monkeypatch):
    monkeypatch.delattr(zg, "GradientType")
    with pytest.raises(NameError, match="name 'GradientType' is not defined"):
        zg.GradientRaylib([], None, 5)


def test_reimport_and_reload_return_the_same_module():
    import importlib

    assert importlib.import_module(MODULE) is zg
    assert importlib.reload(zg) is zg
    assert zg.GradientRaylib([]).type is GradientType.Linear


@pytest.mark.parametrize(
    "call, qualname",
    [
        (lambda: zg.GradientRaylib(5), "GradientRaylib.__init__"),
        (lambda: zg.GradientRaylib([(1, 2, 3)]), "tuple_to_vector4"),
        (lambda: zg.GradientRaylib([[1]]), "GradientRaylib._update_colors"),
        (lambda: zg.ClickGradient([[1]]), "ClickGradient._update_colors"),
        (lambda: setattr(zg.GradientRaylib([]), "angle", "x"), "GradientRaylib.angle.__set__"),
        (lambda: zg.ClickGradient(None), "ClickGradient.__init__"),
        (lambda: zg.GradientRaylib([]).generate_texture("x", 1), "GradientRaylib.generate_texture"),
        (lambda: zg.ClickGradient([]).set_weight(0, 1), "ClickGradient.set_weight"),
        (lambda: zg.ClickGradient([]).set_center(()), "ClickGradient.set_center"),
        (lambda: zg.ClickGradient([]).set_center_zvvec(None), "ClickGradient.set_center_zvvec"),
        (lambda: zg.ClickGradient([]).draw("x", 0, 0, 0), "ClickGradient.draw"),
        (lambda: zg.GradientRaylib([]).__setstate__(()), "GradientRaylib.__setstate__"),
        (
            lambda: zg.__pyx_unpickle_ClickGradient(zg.ClickGradient, 1, None),
            "__pyx_unpickle_ClickGradient",
        ),
    ],
)
def test_traceback_entries(call, qualname):
    import traceback

    with pytest.raises(Exception) as info:  # noqa: B017
        call()
    frames = traceback.extract_tb(info.value.__traceback__)
    names = [(f.name, f.filename) for f in frames]
    assert any(
        name == f"{MODULE}.{qualname}" and file.startswith("fast/zvraygrad/")
        for name, file in names
    ), names


# ---- the shared rendering state, in a fresh interpreter -------------------------------------


def test_shared_resources_made_once_per_process():
    run_python(
        """
        from zorva_ui.fast.raylib import zorva_raylib as rl
        from zorva_ui.fast.zvraygrad import zvraygrad as zg

        rl.trace_start()
        zg.GradientRaylib([(1, 2, 3, 4)])
        first = rl.trace_stop()
        names = [c[0] for c in first]
        assert names == ["c_create_from_code"] + ["get_zvshader_location"] * 8 + [
            "gen_image_color", "load_texture_from_image", "unload_image"], names
        shader_id = first[1][1]
        assert [c[2] for c in first[1:9]] == ["gradientType", "angle", "centerPos", "colors",
            "stops", "colorCount", "alpha", "size"]
        assert all(c[1] == shader_id for c in first[1:9])
        assert first[9][1:] == (1, 1, rl.WHITE)
        assert first[10][1] == first[11][1]  # the image loaded is the image unloaded
        rl.trace_start()
        zg.ClickGradient([(1, 2, 3, 4)])
        zg.GradientRaylib._ensure_resources()
        assert rl.trace_stop() == []
        """
    )


@pytest.mark.parametrize(
    "call",
    [
        "g.generate_texture(2, 2)",
        "(rl.begin_texture_mode(target.render_texture), g.draw(0, 0, 2, 2), rl.end_texture_mode())",
    ],
)
def test_restored_gradient_in_fresh_process_makes_resources_first(call):
    import pickle

    blob = pickle.dumps(zg.ClickGradient([(0, 255, 0, 255)])).hex()
    run_python(
        f"""
        import pickle
        from zorva_ui.fast.raylib import zorva_raylib as rl
        from zorva_ui.fast.zvraygrad import zvraygrad as zg
        from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
        g = pickle.loads(bytes.fromhex("{blob}"))
        target = ZvRenderTexture((2, 2))
        rl.trace_start()
        {call}
        names = [c[0] for c in rl.trace_stop()]
        assert names[names.index("c_create_from_code") + 9] == "gen_image_color", names
        assert names.index("c_create_from_code") < names.index("draw_texture_pro"), names
        """
    )


@pytest.mark.parametrize(
    "setup, exc, message",
    [
        ("GradientShader.VERTEX_SHADER = 5", "TypeError", "Expected str, got int"),
        ("GradientShader.FRAGMENT_SHADER = b'x'", "TypeError", "Expected str, got bytes"),
        ("GradientShader.FRAGMENT_SHADER = 'not glsl'", "RuntimeError", ""),
        ("rl.gen_image_color = None", "TypeError", "not callable"),
        ("rl.load_texture_from_image = len", "TypeError", ""),
    ],
)
def test_ensure_resources_failures_are_retried(setup, exc, message):
    run_python(
        f"""
        from zorva_ui.fast import GradientShader
        from zorva_ui.fast.raylib import zorva_raylib as rl
        from zorva_ui.fast.zvraygrad import zvraygrad as zg
        saved = dict(vars(GradientShader)), dict(vars(rl))
        {setup}
        try:
            zg.GradientRaylib([])
        except {exc} as e:
            assert {message!r} in str(e), e
        else:
            raise AssertionError("no error")
        for k in ("VERTEX_SHADER", "FRAGMENT_SHADER"):
            setattr(GradientShader, k, saved[0][k])
        for k in ("gen_image_color", "load_texture_from_image"):
            setattr(rl, k, saved[1][k])
        rl.trace_start()
        zg.GradientRaylib([])
        names = [c[0] for c in rl.trace_stop()]
        assert "gen_image_color" in names, names
        assert zg.GradientRaylib([(0, 0, 255, 255)]).generate_texture(1, 1).read_pixels() == bytes(
            (0, 0, 255, 255))
        """
    )


def test_unload_failure_comes_after_texture_is_stored():
    run_python(
        """
        from zorva_ui.fast.raylib import zorva_raylib as rl
        from zorva_ui.fast.zvraygrad import zvraygrad as zg
        real = rl.unload_image
        def failing(image):
            raise OSError("unload")
        rl.unload_image = failing
        try:
            zg.GradientRaylib([])
        except OSError:
            pass
        else:
            raise AssertionError("no error")
        rl.unload_image = real
        rl.trace_start()
        zg.GradientRaylib([])
        assert rl.trace_stop() == []
        """
    )


# ---- imports that fail ------------------------------------------------------------------------

RETRY = """
assert "zorva_ui.fast.zvraygrad.zvraygrad" not in sys.modules
import traceback
assert any(f.name == "init zorva_ui.fast.zvraygrad.zvraygrad"
           for f in traceback.extract_tb(error.__traceback__)), traceback.format_exception(error)
{restore}
from zorva_ui.fast.zvraygrad import zvraygrad as zg
from zorva_ui.core import GradientType
assert zg.ClickGradient([(1, 2, 3, 4)]).type is GradientType.Radial
assert zg.GradientRaylib([(255, 0, 0, 255)]).generate_texture(1, 1).read_pixels() == bytes(
    (255, 0, 0, 255))
"""


def failing_import(setup, exc, message, restore):
    """Imports the module with a stand-in set up by `setup`: the import must fail with `exc`
    whose message holds `message`, leave nothing in sys.modules, and succeed once `restore`
    has put the real sibling back."""
    code = "\n".join(
        [
            "import sys, types",
            textwrap.dedent(setup),
            "try:",
            "    import zorva_ui.fast.zvraygrad.zvraygrad",
            f"except {exc} as e:",
            "    error = e",
            "else:",
            "    raise AssertionError('import succeeded')",
            f"assert {message!r} in str(error), str(error)",
            RETRY.format(restore=textwrap.dedent(restore).strip()),
        ]
    )
    proc = run_python(code, check=False)
    assert proc.returncode == 0, proc.stderr


def test_import_fails_when_a_function_is_missing():
    failing_import(
        """
        import zorva_ui.fast.raylib.zorva_raylib as real
        stand_in = types.ModuleType(real.__name__)
        stand_in.__dict__.update(vars(real))
        stand_in.__pyx_capi__ = {k: v for k, v in real.__pyx_capi__.items()
                                 if k != "set_zvshader_value_float"}
        sys.modules[real.__name__] = stand_in
        """,
        "ImportError",
        "zorva_ui.fast.raylib.zorva_raylib does not export expected C function "
        "set_zvshader_value_float",
        "sys.modules[real.__name__] = real",
    )


def test_import_fails_on_a_wrong_signature():
    failing_import(
        """
        import zorva_ui.fast.raylib.zorva_raylib as real
        stand_in = types.ModuleType(real.__name__)
        stand_in.__dict__.update(vars(real))
        capi = dict(real.__pyx_capi__)
        capi["end_blend_mode"] = capi["begin_blend_mode"]
        stand_in.__pyx_capi__ = capi
        sys.modules[real.__name__] = stand_in
        """,
        "TypeError",
        "end_blend_mode has wrong signature",
        "sys.modules[real.__name__] = real",
    )


def test_import_fails_when_a_sibling_type_is_no_type():
    failing_import(
        """
        import zorva_ui.fast.zvrect.zvrect as real
        stand_in = types.ModuleType(real.__name__)
        stand_in.ZvRect = 5
        sys.modules[real.__name__] = stand_in
        """,
        "TypeError",
        "zorva_ui.fast.zvrect.zvrect.ZvRect is not a type object",
        "sys.modules[real.__name__] = real",
    )


def test_import_fails_when_a_sibling_type_has_no_table():
    failing_import(
        """
        import zorva_ui.fast.zvshader.zvshader as real
        stand_in = types.ModuleType(real.__name__)
        class ZvShader(real.ZvShader):
            __pyx_vtable__ = None
        stand_in.ZvShader = ZvShader
        sys.modules[real.__name__] = stand_in
        """,
        "Exception",
        "",
        "sys.modules[real.__name__] = real",
    )


@pytest.mark.parametrize("missing", ["Linear", "Radial"])
def test_import_fails_when_gradient_type_lacks_a_member(missing):
    kept = "Radial" if missing == "Linear" else "Linear"
    failing_import(
        f"""
        import enum
        import zorva_ui.core as core
        real = core.GradientType
        core.GradientType = enum.Enum("GradientType", {kept!r})
        """,
        "AttributeError",
        missing,
        "core.GradientType = real",
    )


def test_import_fails_when_a_sibling_cannot_be_imported():
    failing_import(
        """
        import zorva_ui.fast.zvrendertex.zv_render_tex as real
        sys.modules[real.__name__] = None
        """,
        "ImportError",
        "zorva_ui.fast.zvrendertex.zv_render_tex",
        "sys.modules[real.__name__] = real",
    )


def test_import_fails_when_a_python_import_fails():
    failing_import(
        """
        import zorva_ui.rendering.pygame.gradient as real
        stand_in = types.ModuleType(real.__name__)
        sys.modules[real.__name__] = stand_in
        """,
        "ImportError",
        "GradientPygame",
        "sys.modules[real.__name__] = real",
    )


def test_second_interpreter_is_refused():
    proc = run_python(
        """
        import _interpreters
        import zorva_ui.fast.zvraygrad.zvraygrad
        interp = _interpreters.create("legacy")
        err = _interpreters.run_string(interp, "import zorva_ui.fast.zvraygrad.zvraygrad")
        print(err.msg if err else "no error")
        """,
    )
    assert "Interpreter change detected" in proc.stdout or "subinterpreters" in proc.stdout, (
        proc.stdout
    )


def test_modules_state_not_exposed():
    assert "tuple_to_vector4" not in dir(zg)
    assert sys.modules[MODULE] is zg


def test_classes_of_a_failed_import_refuse_to_make_objects():
    proc = run_python(
        """
        import enum
        import zorva_ui.core as core
        real = core.GradientType
        core.GradientType = enum.Enum("GradientType", "Linear")
        try:
            import zorva_ui.fast.zvraygrad.zvraygrad
        except AttributeError:
            pass
        # The static classes outlive the dropped module and can still be found.
        found = [t for t in object.__subclasses__() if t.__name__ == "GradientRaylib"]
        assert found, "class not reachable"
        for cls in [found[0], *found[0].__subclasses__()]:
            try:
                cls([(1, 2, 3, 4)])
            except RuntimeError as e:
                assert "not initialised" in str(e), e
            else:
                raise AssertionError("object made")
        core.GradientType = real
        from zorva_ui.fast.zvraygrad import zvraygrad as zg
        assert found[0] is zg.GradientRaylib
        zg.GradientRaylib([(1, 2, 3, 4)])
        print("ok")
        """
    )
    assert proc.stdout.strip() == "ok"


def _table(cls):
    import ctypes

    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return get_pointer(vars(cls)["__pyx_vtable__"], None)


def test_objects_carry_their_class_table_after_the_header():
    import ctypes

    for cls, table_of in [
        (zg.GradientRaylib, zg.GradientRaylib),
        (zg.ClickGradient, zg.ClickGradient),
    ]:
        obj = cls([(1, 2, 3, 4)])
        # PyObject_HEAD is two pointers; the table pointer follows it.
        assert ctypes.c_void_p.from_address(id(obj) + 16).value == _table(table_of)
    assert _table(zg.GradientRaylib) != _table(zg.ClickGradient)


def test_update_colors_slot_for_compiled_callers():
    import ctypes

    slot_type = ctypes.PYFUNCTYPE(None, ctypes.py_object, ctypes.py_object)
    click_slot = slot_type(ctypes.c_void_p.from_address(_table(zg.ClickGradient)).value)
    g = zg.ClickGradient([(255, 0, 0, 255)])
    click_slot(g, [((0, 0, 255, 255), 3), (0, 255, 0, 255)])
    assert g.weights == [3.0, 1.0]
    assert g.__reduce__()[2][3] == [0.5, 1.0]
    assert g.raw_colors == [(255, 0, 0, 255)]  # the slot does not store the list
    for bad in [((1, 2, 3, 4),), None, "colours"]:
        with pytest.raises(TypeError):
            click_slot(g, bad)
