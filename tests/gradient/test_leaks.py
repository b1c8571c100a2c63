"""No reference or memory leaks on any public operation, on success and on failure paths."""

import pickle

import pytest
from support.refleak import assert_no_leak

from gradient.gradhelp import rl, zg
from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

RED, BLUE = (255, 0, 0, 255), (0, 0, 255, 255)
COLORS = [RED, (BLUE, 2), ((0, 255, 0, 128), 0.5)]
G, C = zg.GradientRaylib, zg.ClickGradient


class WithDict(C):
    pass


GRADIENT = G(COLORS, GradientType.Radial, RadialDirection.TopLeft, transparency=3)
CLICK = C(COLORS)
SUBCLASSED = WithDict(COLORS)
SUBCLASSED.note = [1, 2]
VECTOR = ZvVector2(0.1, 0.2)
BAD_STATE = (1.0, None, [{"x": 1, "y": 1, "z": 1}], [], 0, None, None)


class Reassigning:
    """A channel whose division sets the gradient's colours again, superseding the update."""

    def __init__(self, g):
        self.g = g

    def __truediv__(self, other):
        self.g.colors = COLORS
        return 0.0


def restore(reduced):
    func, args, *state = reduced
    obj = func(*args)
    if state:
        obj.__setstate__(state[0])
    return obj


OPERATIONS = {
    # construction
    "construct": lambda: G(COLORS, GradientType.Linear, LinearDirection.Bottom, 10, (0.1, 0.2), 9),
    "construct radial": lambda: C(COLORS, GradientType.Radial, (0.3, 0.4)),
    "construct subclass": lambda: WithDict(COLORS),
    "construct bad colors": lambda: G((RED,)),
    "construct bad entry": lambda: G([RED, [1, 2, 3, 4]]),
    "construct short colour": lambda: C([RED, (1, 2)]),
    "construct none": lambda: C(None),
    "construct bad keyword": lambda: G(COLORS, nope=1),
    "construct bad transparency": lambda: G(COLORS, transparency=2**40),
    "construct huge transparency": lambda: C(COLORS, transparency=-(2**100)),
    "construct short centre": lambda: G(COLORS, center=(1,)),
    "reinit": lambda: CLICK.__init__(COLORS, None, 5),
    # properties
    "read properties": lambda: (
        GRADIENT.transparency,
        GRADIENT.angle,
        GRADIENT.center,
        GRADIENT.colors,
        GRADIENT.raw_colors,
        GRADIENT.type,
        CLICK.weights,
    ),
    "set colors": lambda: setattr(GRADIENT, "colors", COLORS),
    "set bad colors": lambda: setattr(GRADIENT, "colors", [RED, None]),
    "set colors superseded": lambda: [
        setattr(g, "colors", [RED, (Reassigning(g), 0, 0, 0), BLUE]) for g in (GRADIENT, CLICK)
    ],
    "set center tuple": lambda: setattr(GRADIENT, "center", (0.5, 0.25)),
    "set center vector": lambda: setattr(GRADIENT, "center", VECTOR),
    "set bad center": lambda: setattr(GRADIENT, "center", [1, 2]),
    "set angle": lambda: setattr(GRADIENT, "angle", 12.5),
    "set bad angle": lambda: setattr(GRADIENT, "angle", "x"),
    "set raw colors": lambda: setattr(CLICK, "raw_colors", COLORS),
    "set bad raw colors": lambda: setattr(CLICK, "raw_colors", ()),
    "set weights": lambda: setattr(CLICK, "weights", (1, 2, 3)),
    "set bad weights": lambda: setattr(CLICK, "weights", [1, "x"]),
    # click gradient
    "set_weight": lambda: CLICK.set_weight(1, 3.5),
    "set_weight out of range": lambda: CLICK.set_weight(7, 1),
    "set_weight bad": lambda: CLICK.set_weight("x", 1),
    "set_center": lambda: CLICK.set_center((0.2, 0.3)),
    "set_center short": lambda: CLICK.set_center((0.2,)),
    "set_center_zvvec": lambda: CLICK.set_center_zvvec(VECTOR),
    "set_center_zvvec bad": lambda: CLICK.set_center_zvvec(None),
    "recalculate": lambda: CLICK._recalculate_stops(),
    "ensure resources": lambda: G._ensure_resources(),
    # pickling
    "reduce": lambda: (GRADIENT.__reduce__(), CLICK.__reduce__(), SUBCLASSED.__reduce__()),
    # What pickle does, without pickling the classes by name: that makes the interpreter intern
    # and drop their module name each time, whose table growth the memory check would see.
    "round trip": lambda: [restore(g.__reduce__()) for g in (GRADIENT, CLICK, SUBCLASSED)],
    "pickle state": lambda: pickle.loads(pickle.dumps(GRADIENT.__reduce__()[2])),
    "setstate bad": lambda: GRADIENT.__setstate__(BAD_STATE),
    "setstate short": lambda: CLICK.__setstate__(BAD_STATE),
    "unpickle bad checksum": lambda: zg.__pyx_unpickle_GradientRaylib(G, 5, None),
    "unpickle bad type": lambda: zg.__pyx_unpickle_ClickGradient(G, 0x0F8824C9, None),
}


@pytest.mark.parametrize("name", list(OPERATIONS))
def test_no_leak(name):
    assert_no_leak(OPERATIONS[name], GRADIENT, CLICK, VECTOR, COLORS, RED, GradientType.Radial)


TARGET = ZvRenderTexture((4, 4))


def draw(g, *rect):
    rl.begin_texture_mode(TARGET.render_texture)
    try:
        g.draw(*rect)
    finally:
        rl.end_texture_mode()


class BadWhite:
    def __enter__(self):
        self.saved = rl.WHITE
        rl.WHITE = [1, 2, 3, 4]

    def __exit__(self, *exc):
        rl.WHITE = self.saved


def draw_with_bad_tint():
    with BadWhite():
        draw(CLICK, 0, 0, 4, 4)


GPU_OPERATIONS = {
    "generate_texture": lambda: GRADIENT.generate_texture(4, 4),
    "generate_texture bad size": lambda: GRADIENT.generate_texture(0, 4),
    "generate_texture bad argument": lambda: GRADIENT.generate_texture("x", 4),
    "draw": lambda: draw(CLICK, 0.5, 0.5, 3, 3),
    "draw bad tint": draw_with_bad_tint,
    "draw bad argument": lambda: CLICK.draw(None, 0, 0, 0),
}


@pytest.mark.parametrize("name", list(GPU_OPERATIONS))
def test_no_leak_drawing(name):
    assert_no_leak(GPU_OPERATIONS[name], GRADIENT, CLICK, TARGET, warmup=50, rounds=400)
