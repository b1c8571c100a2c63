"""Every public entry point takes any object without crashing: each call either succeeds or
raises an ordinary exception."""

import itertools

import pytest

from gradient.gradhelp import rl, zg
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2


class Hostile:
    """Answers every protocol by raising."""

    def __getattr__(self, name):
        raise RuntimeError(name)

    def __len__(self):
        raise RuntimeError("len")

    def __getitem__(self, index):
        raise RuntimeError("item")

    def __iter__(self):
        raise RuntimeError("iter")

    def __float__(self):
        raise RuntimeError("float")

    def __int__(self):
        raise RuntimeError("int")

    def __eq__(self, other):
        raise RuntimeError("eq")

    __hash__ = None


class LyingTuple(tuple):
    def __len__(self):
        return 2

    def __getitem__(self, index):
        return 10**400 if index else ()


VALUES = [
    None,
    0,
    -1,
    2**31,
    2**64,
    10**400,
    float("nan"),
    float("inf"),
    1e300,
    "",
    "name",
    b"x",
    (),
    (1,),
    (1, 2),
    (1, 2, 3, 4),
    ((1, 2, 3, 4), 1),
    LyingTuple((1, 2, 3)),
    [],
    [None],
    [(1, 2, 3, 4)],
    [((), 1)],
    [{"x": 1}],
    {},
    {"x": 1, "y": 2, "z": 3, "w": 4},
    ZvVector2(1.0, 2.0),
    Hostile(),
    object(),
    int,
]


def calls(g):
    """(name, function of one value) for every public entry point of `g`."""
    yield "init", lambda v: g.__init__(v, v, v, v, v, v)
    yield "init colors", lambda v: g.__init__(v)
    yield "init direction", lambda v: g.__init__([], g.type, v)
    yield "generate_texture", lambda v: g.generate_texture(v, 2)
    yield "setstate", lambda v: g.__setstate__(v)
    yield "setstate items", lambda v: g.__setstate__((v,) * 9)
    yield "unpickle", lambda v: zg.__pyx_unpickle_GradientRaylib(v, 0x0CE08233, v)
    for name in ("transparency", "angle", "center", "colors", "raw_colors", "type"):
        yield f"set {name}", lambda v, name=name: setattr(g, name, v)
    if isinstance(g, zg.ClickGradient):
        yield "set_weight", lambda v: g.set_weight(v, v)
        yield "set_weight value", lambda v: g.set_weight(0, v)
        yield "set_center", lambda v: g.set_center(v)
        yield "set_center_zvvec", lambda v: g.set_center_zvvec(v)
        yield "weights", lambda v: setattr(g, "weights", v)
        yield "draw", lambda v: g.draw(v, 0, 1, 1)
        yield "unpickle click", lambda v: zg.__pyx_unpickle_ClickGradient(v, 0x0F8824C9, v)


@pytest.mark.parametrize("cls", [zg.GradientRaylib, zg.ClickGradient])
def test_any_object_anywhere(cls):
    g = cls([(1, 2, 3, 4)])
    target = ZvRenderTexture((2, 2))
    rl.begin_texture_mode(target.render_texture)
    try:
        for (name, call), value in itertools.product(list(calls(g)), VALUES):
            try:
                call(value)
            except Exception:
                pass
            # Whatever the object went through, it still answers every reader.
            readers = (g.__reduce__(), g.transparency, g.angle, g.center, g.colors, g.type)
            assert len(readers) == 6, name
    finally:
        rl.end_texture_mode()
