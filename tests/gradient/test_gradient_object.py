"""GradientRaylib: construction, directions, properties, colour conversion and stops."""

import collections
import traceback

import pytest

from gradient.gradhelp import f32, reference_stops, zg
from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

G = zg.GradientRaylib
RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)


def stops_of(g):
    return g.__reduce__()[2][3]


def colors_of(g):
    return [tuple(d[k] for k in "xyzw") for d in g.__reduce__()[2][2]]


def center_of(g):
    return (g.center.x, g.center.y)


class Named:
    def __init__(self, name):
        self.name = name


# ---- construction defaults and stored values ------------------------------------------------


def test_defaults():
    colors = [RED, BLUE]
    g = G(colors)
    assert g.raw_colors is colors and g.colors is colors
    assert g.type is GradientType.Linear
    assert g.transparency == 255
    assert g.angle == 0.0
    assert center_of(g) == (0.5, 0.5)


@pytest.mark.parametrize(
    "transparency, stored",
    [(None, 255), (0, 0), (300, 300), (-5, -5), (12.9, 12), (-12.9, -12), (True, 1)],
)
def test_transparency_argument(transparency, stored):
    assert G([], transparency=transparency).transparency == stored


@pytest.mark.parametrize(
    "value, exc, message",
    [
        (2**31, OverflowError, "value too large to convert to int"),
        (-(2**31) - 1, OverflowError, "value too large to convert to int"),
        ("12", TypeError, "an integer is required"),
        (object(), TypeError, "an integer is required"),
    ],
)
def test_transparency_refused(value, exc, message):
    with pytest.raises(exc, match=message):
        G([], transparency=value)
    g = G([])
    with pytest.raises(exc, match=message):
        g.transparency = value
    assert g.transparency == 255


class IntLike:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


INT32_EDGES = [2**31 - 1, -(2**31)]
BEYOND_INT32 = [2**31, 2**63 - 1, 2**63, 2**64, 2**100, -(2**31) - 1, -(2**63) - 1, -(2**100)]


@pytest.mark.parametrize("cls", [G, zg.ClickGradient])
@pytest.mark.parametrize("make", [int, IntLike], ids=["int", "__int__"])
@pytest.mark.parametrize("value", INT32_EDGES + BEYOND_INT32)
def test_transparency_range(cls, make, value):
    g = cls([])
    if value in INT32_EDGES:
        assert cls([], transparency=make(value)).transparency == value
        g.transparency = make(value)
        assert g.transparency == value
        return
    # However large the int, the message is the same.
    with pytest.raises(OverflowError) as info:
        cls([], transparency=make(value))
    assert str(info.value) == "value too large to convert to int"
    with pytest.raises(OverflowError) as info:
        g.transparency = make(value)
    assert str(info.value) == "value too large to convert to int"
    assert g.transparency == 255


def test_colors_argument_must_be_exactly_a_list():
    class MyList(list):
        pass

    for bad in ((RED,), MyList([RED]), "x"):
        with pytest.raises(TypeError) as info:
            G(bad)
        assert str(info.value) == (
            f"Argument 'colors' has incorrect type (expected list, got {type(bad).__name__})"
        )


def test_none_colors_fail_after_storing():
    g = G([RED])
    with pytest.raises(TypeError, match=r"object of type 'NoneType' has no len\(\)"):
        g.__init__(None, "kind")
    assert g.raw_colors is None
    assert g.type == "kind"
    assert colors_of(g) == [] and stops_of(g) == [0.0]


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, r"__init__\(\) takes at least 1 positional argument \(0 given\)"),
        (([],) * 7, {}, r"__init__\(\) takes at most 6 positional arguments \(7 given\)"),
        (([],), {"colour": 1}, "unexpected keyword argument 'colour'"),
        (([],), {"colors": []}, "multiple values for keyword argument 'colors'"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError, match=message):
        G(*args, **kwargs)


def test_all_arguments_by_keyword():
    g = G(
        colors=[RED],
        type=GradientType.Radial,
        direction=None,
        angle=10,
        center=(0.25, 0.75),
        transparency=7,
    )
    assert (g.type, g.angle, center_of(g), g.transparency) == (
        GradientType.Radial,
        10.0,
        (0.25, 0.75),
        7,
    )


# ---- directions -------------------------------------------------------------------------------


@pytest.mark.parametrize("member", list(LinearDirection))
def test_linear_table(member):
    assert G([], GradientType.Linear, member).angle == float(member.value)


@pytest.mark.parametrize("member", list(RadialDirection))
def test_radial_table(member):
    assert center_of(G([], GradientType.Radial, member)) == member.value


@pytest.mark.parametrize(
    "direction, angle",
    [
        (Named("Bottom"), 90.0),
        (Named("Center"), 0.0),  # a radial name, not in the linear table
        (Named(42), 0.0),  # a name that is no string is just not a key
        (30, 30.0),
        (True, 1.0),
        (0.1, f32(0.1)),
        ("Left", 0.0),  # a string has no `name`
        ((1, 2), 0.0),
    ],
)
def test_linear_direction(direction, angle):
    assert G([], GradientType.Linear, direction).angle == angle


@pytest.mark.parametrize(
    "direction, center",
    [
        (Named("TopLeft"), (0.0, 0.0)),
        (Named("Left"), (0.5, 0.5)),  # a linear name
        ((0.2, 0.8), (0.2, 0.8)),
        ((1, 2, 3), (1.0, 2.0)),
        (collections.namedtuple("P", "x y")(3, 4), (3.0, 4.0)),
        ([0.2, 0.8], (0.5, 0.5)),  # only tuples are taken as centres
        (45, (0.5, 0.5)),
    ],
)
def test_radial_direction(direction, center):
    assert center_of(G([], GradientType.Radial, direction)) == center


@pytest.mark.parametrize("direction", [(), (0.3,)])
def test_short_radial_direction_is_refused(direction):
    with pytest.raises(IndexError):
        G([], GradientType.Radial, direction)


def test_unhashable_direction_name_propagates():
    with pytest.raises(TypeError, match="unhashable"):
        G([], GradientType.Linear, Named([1]))


def test_direction_name_lookup_error_propagates():
    class Broken:
        @property
        def name(self):
            raise RuntimeError("boom")

    with pytest.raises(RuntimeError, match="boom"):
        G([], GradientType.Linear, Broken())


@pytest.mark.parametrize("kind", [None, "Linear", 0, GradientType])
def test_other_kinds_ignore_direction(kind):
    g = G([], kind, LinearDirection.Bottom)
    assert g.angle == 0.0 and center_of(g) == (0.5, 0.5)


def test_kind_compared_by_equality():
    class LooksLinear:
        def __eq__(self, other):
            return other is GradientType.Linear

        __hash__ = object.__hash__

    assert G([], LooksLinear(), 33).angle == 33.0


@pytest.mark.parametrize("direction", [LinearDirection.Top, RadialDirection.TopLeft, 12, (0, 0)])
def test_explicit_angle_and_center_win(direction):
    for kind in GradientType:
        g = G([], kind, direction, angle=45, center=(0.1, 0.2))
        assert g.angle == 45.0
        assert center_of(g) == (0.1, 0.2)


@pytest.mark.parametrize(
    "center, expected",
    [([0.1, 0.2], (0.1, 0.2)), ({0: 1, 1: 2}, (1.0, 2.0)), (range(5, 9), (5.0, 6.0))],
)
def test_constructor_center_is_only_indexed(center, expected):
    assert center_of(G([], center=center)) == expected


@pytest.mark.parametrize("center, exc", [((1,), IndexError), ([], IndexError), (5, TypeError)])
def test_constructor_center_errors(center, exc):
    with pytest.raises(exc):
        G([], center=center)


# ---- properties -------------------------------------------------------------------------------


def test_angle_property_narrows():
    g = G([])
    g.angle = 0.1
    assert g.angle == 0.10000000149011612
    g.angle = 7
    assert g.angle == 7.0
    with pytest.raises(TypeError):
        g.angle = "1"
    assert g.angle == 7.0


def test_center_property():
    g = G([])
    v = ZvVector2(3.0, 4.0)
    g.center = v
    assert g.center is v and g.center is g.center
    g.center = (1, 2)
    assert isinstance(g.center, ZvVector2) and center_of(g) == (1.0, 2.0)
    first = g.center
    assert g.center is first


@pytest.mark.parametrize("value", [(1, 2, 3), [1, 2], (1,), None, 5, "xy"])
def test_center_property_refuses(value):
    g = G([])
    before = g.center
    with pytest.raises(
        TypeError, match=r"center must be an ZvVector2 instance or a tuple of \(x, y\)"
    ):
        g.center = value
    assert g.center is before


def test_center_property_item_not_a_number():
    g = G([])
    before = g.center
    with pytest.raises(TypeError):
        g.center = (1, "y")
    assert g.center is before


@pytest.mark.parametrize("name", ["transparency", "angle", "center", "colors"])
def test_delete_refused(name):
    g = G([])
    with pytest.raises(NotImplementedError, match="__del__") as info:
        delattr(g, name)
    # The attribute protocol's refusal, not a failed native call: no entry of ours.
    entries = traceback.extract_tb(info.value.__traceback__)
    assert all(".cpp" not in entry.filename for entry in entries)


@pytest.mark.parametrize("name", ["type", "raw_colors"])
def test_delete_sets_none(name):
    g = G([])
    delattr(g, name)
    assert getattr(g, name) is None


def test_raw_colors_does_not_recompute():
    g = G([RED, BLUE])
    other = [GREEN]
    g.raw_colors = other
    assert g.colors is other
    assert len(colors_of(g)) == 2 and stops_of(g) == [0.0, 1.0]
    with pytest.raises(TypeError, match="Expected list, got tuple"):
        g.raw_colors = (RED,)
    assert g.raw_colors is other


def test_colors_setter_recomputes():
    g = G([RED, BLUE])
    other = [GREEN, RED, BLUE]
    g.colors = other
    assert g.raw_colors is other
    assert colors_of(g) == [(0.0, 1.0, 0.0, 1.0), (1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)]
    assert stops_of(g) == [0.0, 0.5, 1.0]


def test_colors_setter_refuses_non_list():
    g = G([RED])
    with pytest.raises(TypeError) as info:
        g.colors = (RED,)
    assert str(info.value) == "Argument 'value' has incorrect type (expected list, got tuple)"
    assert len(colors_of(g)) == 1


def test_type_property_stores_anything():
    g = G([])
    g.type = "anything"
    assert g.type == "anything"


# ---- colour conversion ------------------------------------------------------------------------


@pytest.mark.parametrize(
    "channel",
    [0, 1, 128, 255, 256, -1, 1000, 2**53, 2**53 + 1, 2**70, 0.5, -0.0, 1e300, True],
)
def test_channel_division_matches_python(channel):
    g = G([(channel, 0, 0, 0)])
    assert colors_of(g)[0][0] == f32(channel / 255)


def test_channel_of_other_number_types():
    import decimal
    import fractions

    g = G([(fractions.Fraction(255, 2), decimal.Decimal(51), 0, 255)])
    assert colors_of(g)[0][:2] == (f32(0.5), f32(0.2))


def test_channel_division_error_propagates():
    with pytest.raises(TypeError, match="unsupported operand"):
        G([(0, "a", 0, 0)])
    with pytest.raises(ZeroDivisionError):
        G([(0, 0, 0, ZeroDivision())])


class ZeroDivision:
    def __truediv__(self, other):
        raise ZeroDivisionError("no")


@pytest.mark.parametrize("colour", [(), (1,), (1, 2, 3)])
def test_short_colour_tuple_is_refused(colour):
    g = G([RED])
    with pytest.raises(IndexError, match="tuple index out of range"):
        g.colors = [BLUE, colour]
    assert colors_of(g) == [(0.0, 0.0, 1.0, 1.0)]


def test_extra_channels_ignored_and_values_not_clamped():
    g = G([(510, -255, 0, 255, "ignored")])
    assert colors_of(g) == [(2.0, -1.0, 0.0, 1.0)]


@pytest.mark.parametrize(
    "entry, name",
    [
        ([255, 0, 0, 255], "list"),
        (collections.namedtuple("C", "r g b a")(1, 2, 3, 4), "C"),
        ((255, 0), "int"),  # read as colour 255 with weight 0
        (("x", 1.5), "str"),
        (5, "int"),
    ],
)
def test_entry_type_errors(entry, name):
    with pytest.raises(TypeError) as info:
        G([entry])
    assert str(info.value) == f"Expected tuple, got {name}"


def test_none_entry():
    with pytest.raises(TypeError, match="'NoneType' object is not subscriptable"):
        G([RED, None])
    with pytest.raises(TypeError, match="'NoneType' object is not subscriptable"):
        G([(None, 2)])


def test_weighted_entries():
    pair = collections.namedtuple("Pair", "colour weight")
    g = G([(RED, 3), pair(BLUE, 1.0)])
    assert colors_of(g) == [(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)]
    assert stops_of(g) == [0.5, 1.0]


def test_pair_with_other_second_item_is_a_plain_colour():
    import fractions

    with pytest.raises(TypeError, match="unsupported operand"):
        G([(RED, "3")])  # RED / 255
    with pytest.raises(IndexError, match="tuple index out of range"):
        G([(255, fractions.Fraction(3))])  # a two-channel colour


def test_failed_update_keeps_converted_colours_and_old_stops():
    g = G([RED, GREEN, BLUE])
    with pytest.raises(TypeError):
        g.colors = [BLUE, RED, [0, 0, 0, 0], GREEN]
    assert colors_of(g) == [(0.0, 0.0, 1.0, 1.0), (1.0, 0.0, 0.0, 1.0)]
    assert stops_of(g) == [0.0, 0.5, 1.0]


def test_list_mutated_during_update():
    colors = []

    class Shrinks:
        def __truediv__(self, other):
            colors.clear()
            return 0.0

    colors.extend([(Shrinks(), 0, 0, 0), RED, BLUE])
    g = G(colors)
    assert colors_of(g) == [(0.0, 0.0, 0.0, 0.0)]
    assert stops_of(g) == [0.0]


# ---- stops --------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "weights, stops",
    [
        ([], []),
        ([1], [0.0]),
        ([5], [0.0]),
        ([1, 1], [0.0, 1.0]),
        ([1, 1, 1], [0.0, 0.5, 1.0]),
        ([1, 1, 1, 1], [0.0, 0.375, 0.625, 1.0]),
        ([3, 1], [0.5, 1.0]),
        ([1, 3], [0.0, 0.5]),
        ([0, 0], [0.0, 0.0]),
        ([-1, -1], [0.0, -2.0]),  # total taken as 1.0: boundaries 0, -1, -2
        ([1, -1, 1], [1.0, 0.5, 0.0]),
    ],
)
def test_stops_examples(weights, stops):
    g = G([(RED, w) for w in weights])
    assert stops_of(g) == stops


@pytest.mark.parametrize(
    "weights",
    [
        [0.1, 0.2, 0.3],
        [1, 2, 3, 4, 5, 6, 7],
        [0.3] * 10,
        [1e-8, 1, 1e8],
        [7, 0.001, 3.3, 2.2, 0.9],
        [1 / 3] * 7,
        [2.5, -0.5, 1.25, 9],
        [float("inf"), 1],
        [float("nan"), 1, 1],
        [3e38, -3e38, 3e38],  # boundaries beyond the float range become infinities
        [-3e38, -3e38, 1],
    ],
)
def test_stops_precision(weights):
    g = G([(RED, w) for w in weights])
    expected = reference_stops(weights)
    got = stops_of(g)
    assert len(got) == len(expected)
    for a, b in zip(got, expected, strict=True):
        assert a == b or (a != a and b != b), (got, expected)


@pytest.mark.filterwarnings("ignore:1000 colours given:UserWarning")  # stops only: not drawn
def test_stops_of_many_colours():
    weights = [(i % 13) + 0.5 for i in range(1000)]
    g = G([(RED, w) for w in weights])
    assert stops_of(g) == reference_stops(weights)


# ---- garbage collection -------------------------------------------------------------------


class Sentinel:
    pass


def make_cycle(cls, field):
    """A gradient in a reference cycle through `field`; returns a weak reference to an object
    that only the cycle keeps alive."""
    import weakref

    g = cls([RED])
    sentinel = Sentinel()
    if field == "raw_colors":
        g.raw_colors = [g, sentinel]
    elif field == "type":
        sentinel.gradient = g
        g.type = sentinel
    elif field == "center":

        class Vector(ZvVector2):
            pass

        sentinel = Vector(0.0, 0.0)
        sentinel.gradient = g
        g.center = sentinel
    else:  # the instance dictionary of a Python subclass
        g.me = g
        g.sentinel = sentinel
    return weakref.ref(sentinel)


class Sub(zg.ClickGradient):
    pass


@pytest.mark.parametrize(
    "cls, field",
    [(c, f) for c in (G, zg.ClickGradient, Sub) for f in ("raw_colors", "type", "center")]
    + [(Sub, "dict")],
)
def test_cycles_are_collected(cls, field):
    import gc

    ref = make_cycle(cls, field)
    gc.collect()
    assert ref() is None


def test_collector_sees_the_object_fields():
    import gc

    g = G([RED])
    g.raw_colors = [g]
    g.type = g
    gc.collect()
    assert gc.is_tracked(g)
    assert g in gc.get_referents(g.raw_colors)
    assert set(map(id, gc.get_referents(g))) >= {id(g.raw_colors), id(g.center), id(g)}


def test_kind_equality_of_int_enumerations(monkeypatch):
    import enum

    class Kinds(enum.IntEnum):
        Linear = 0
        Radial = 1

    monkeypatch.setattr(zg, "GradientType", Kinds)
    # IntEnum members equal their values: the comparison must not fall back to identity.
    assert G([], 0, 33).angle == 33.0
    assert center_of(G([], 1.0, (0.25, 0.75))) == (0.25, 0.75)
    assert G([], Kinds.Linear, 12).angle == 12.0


def test_kind_with_hash_only_compares_by_identity(monkeypatch):
    class Kind:
        def __hash__(self):
            return 0

    linear, other = Kind(), Kind()
    monkeypatch.setattr(zg, "GradientType", type("Kinds", (), {"Linear": linear, "Radial": None}))
    assert G([], linear, 20).angle == 20.0
    assert G([], other, 20).angle == 0.0


def test_direction_tables_hold_the_enumerations_as_floats():
    from zorva_ui.core import LINEAR_ANGLES, RADIAL_CENTERS

    assert LINEAR_ANGLES == {m.name: float(m.value) for m in LinearDirection}
    assert RADIAL_CENTERS == {m.name: m.value for m in RadialDirection}
    assert {type(v) for v in LINEAR_ANGLES.values()} == {float}
    assert {type(c) for v in RADIAL_CENTERS.values() for c in v} == {float}


@pytest.mark.parametrize("renderer", ["native", "cpu"])
def test_both_renderers_read_the_one_direction_table(renderer, monkeypatch):
    import zorva_ui.core as core
    from zorva_ui.rendering.pygame.gradient import GradientPygame

    cls = G if renderer == "native" else GradientPygame
    monkeypatch.setitem(core.LINEAR_ANGLES, "Top", 10.5)
    monkeypatch.setitem(core.RADIAL_CENTERS, "TopLeft", (0.25, 0.75))
    assert cls([], GradientType.Linear, LinearDirection.Top).angle == 10.5
    radial = cls([], GradientType.Radial, RadialDirection.TopLeft)
    center = radial.center if renderer == "cpu" else center_of(radial)
    assert tuple(center) == (0.25, 0.75)
