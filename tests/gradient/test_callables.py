"""Every compiled callable and property of the gradient module shows its parameters, follows the
docstring rule (GradientRaylib's members and the module functions say what they do;
ClickGradient's own members have no docstring), and a failing call names it in the traceback."""

import inspect
import traceback
import types

import pytest

from gradient.gradhelp import zg

MODULE = "zorva_ui.fast.zvraygrad.zvraygrad"
METHOD_KINDS = (types.MethodDescriptorType, types.ClassMethodDescriptorType, classmethod)
CLASSES = (zg.GradientRaylib, zg.ClickGradient)


def _callables():
    """(qualified name, object, documented) for each function, class and method."""
    found = [
        (name, value, True)
        for name, value in vars(zg).items()
        if isinstance(value, types.BuiltinFunctionType)
    ]
    for cls in CLASSES:
        documented = cls is zg.GradientRaylib
        found.append((cls.__name__, cls, documented))
        for attr, value in vars(cls).items():
            if isinstance(value, METHOD_KINDS):
                found.append((f"{cls.__name__}.{attr}", getattr(cls, attr), documented))
    return found


def _properties():
    return [
        (f"{cls.__name__}.{attr}", value, cls is zg.GradientRaylib)
        for cls in CLASSES
        for attr, value in vars(cls).items()
        if isinstance(value, types.GetSetDescriptorType)
    ]


CALLABLES = _callables()
PROPERTIES = _properties()


@pytest.mark.parametrize("qualname, obj, documented", CALLABLES, ids=[c[0] for c in CALLABLES])
def test_signature_and_docstring(qualname, obj, documented):
    inspect.signature(obj)
    assert obj.__text_signature__ is not None
    if documented:
        assert obj.__doc__ and "\n--\n" not in obj.__doc__ and len(obj.__doc__) > 10
    else:
        assert obj.__doc__ is None


@pytest.mark.parametrize(
    "qualname, descriptor, documented", PROPERTIES, ids=[p[0] for p in PROPERTIES]
)
def test_property_docstrings(qualname, descriptor, documented):
    if documented:
        assert descriptor.__doc__ and len(descriptor.__doc__) > 10
    else:
        assert descriptor.__doc__ is None


def test_signatures_read_as_the_calls_bind():
    assert str(inspect.signature(zg.ClickGradient.set_weight)) == "(self, /, index, weight)"
    assert str(inspect.signature(zg.GradientRaylib._ensure_resources)) == "()"
    assert list(inspect.signature(zg.ClickGradient).parameters) == [
        "colors",
        "type",
        "direction",
        "angle",
        "center",
        "transparency",
    ]
    g = zg.ClickGradient([(1, 2, 3, 4)] * 2)
    g.set_weight(weight=3, index=1)
    assert g.weights == [1.0, 3.0]


def _with_bad_dict(cls):
    class BadDict(cls):
        @property
        def __dict__(self):
            raise LookupError("no dict here")

    return BadDict([])


def _assign(name, value, cls=zg.GradientRaylib):
    return lambda: setattr(cls([]), name, value)


FAILING = {
    "__pyx_unpickle_GradientRaylib": lambda: zg.__pyx_unpickle_GradientRaylib(
        zg.GradientRaylib, 1, None
    ),
    "__pyx_unpickle_ClickGradient": lambda: zg.__pyx_unpickle_ClickGradient(
        zg.ClickGradient, 2, None
    ),
    "GradientRaylib": lambda: zg.GradientRaylib(5),
    "GradientRaylib._ensure_resources": lambda: zg.GradientRaylib._ensure_resources(1),
    "GradientRaylib.generate_texture": lambda: zg.GradientRaylib([]).generate_texture(1),
    "GradientRaylib.__reduce__": lambda: _with_bad_dict(zg.GradientRaylib).__reduce__(),
    "GradientRaylib.__setstate__": lambda: zg.GradientRaylib([]).__setstate__(()),
    "ClickGradient": lambda: zg.ClickGradient([], transparency="x"),
    "ClickGradient.set_weight": lambda: zg.ClickGradient([]).set_weight(0, 1),
    "ClickGradient.set_center": lambda: zg.ClickGradient([]).set_center((1,)),
    "ClickGradient.set_center_zvvec": lambda: zg.ClickGradient([]).set_center_zvvec((1, 2)),
    "ClickGradient.draw": lambda: zg.ClickGradient([]).draw(0, 0, 1),
    "ClickGradient.__reduce__": lambda: _with_bad_dict(zg.ClickGradient).__reduce__(),
    "ClickGradient.__setstate__": lambda: zg.ClickGradient([]).__setstate__((0,) * 9),
    "GradientRaylib.transparency": _assign("transparency", "x"),
    "GradientRaylib.angle": _assign("angle", None),
    "GradientRaylib.center": _assign("center", 5),
    "GradientRaylib.colors": _assign("colors", ()),
    "GradientRaylib.raw_colors": _assign("raw_colors", ()),
    "ClickGradient.weights": _assign("weights", [1, "x"], zg.ClickGradient),
}
# No failure a test can bring about from Python (only running out of memory).
CANNOT_FAIL = {"ClickGradient._recalculate_stops", "GradientRaylib.type"}


def test_every_callable_and_property_is_listed_here():
    names = {c[0] for c in CALLABLES} | {p[0] for p in PROPERTIES}
    assert names == set(FAILING) | CANNOT_FAIL


@pytest.mark.parametrize("qualname", sorted(FAILING))
def test_failing_call_names_the_callable(qualname):
    with pytest.raises(Exception) as info:  # noqa: B017
        FAILING[qualname]()
    ours = [e for e in traceback.extract_tb(info.value.__traceback__) if e.name.startswith(MODULE)]
    # The outermost entry is the callable called; helpers it ran may add entries inside it.
    suffix = (
        ".__init__"
        if qualname in ("GradientRaylib", "ClickGradient")
        else ".__set__"
        if any(p[0] == qualname for p in PROPERTIES)
        else ""
    )
    assert ours and ours[0].name == f"{MODULE}.{qualname}{suffix}", [e.name for e in ours]
    assert all(e.filename.startswith("fast/zvraygrad/") for e in ours)
