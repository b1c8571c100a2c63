"""Pickling of both gradient classes: reduce forms, state layouts, checksums, restore."""

import copy
import hashlib
import pickle

import pytest

from gradient.gradhelp import f32, zg
from zorva_ui.core import GradientType
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

G, C = zg.GradientRaylib, zg.ClickGradient
RED, BLUE = (255, 0, 0, 255), (0, 0, 255, 255)
FIELDS = {
    G: ["_angle", "_center", "_colors", "_stops", "_transparency", "raw_colors", "type"],
    C: ["_angle", "_center", "_colors", "_stops", "_transparency", "raw_colors", "type", "weights"],
}
ACCEPTED = {G: (0x0CE08233, 0x05C0DD12, 0x075FB95B), C: (0x0F8824C9, 0x0906A415, 0x0039D65A)}
UNPICKLE = {G: zg.__pyx_unpickle_GradientRaylib, C: zg.__pyx_unpickle_ClickGradient}


@pytest.mark.parametrize("cls", [G, C])
def test_checksums_name_the_field_layout(cls):
    text = " ".join(FIELDS[cls]).encode()
    digests = tuple(
        int(hashlib.new(a, text).hexdigest()[:7], 16) for a in ("sha256", "sha1", "md5")
    )
    assert digests == ACCEPTED[cls]


def test_reduce_of_constructed_gradient():
    colors = [RED, (BLUE, 3)]
    g = G(colors, GradientType.Radial, center=(0.25, 0.5), angle=0.1, transparency=77)
    func, args, state = g.__reduce__()
    assert func is zg.__pyx_unpickle_GradientRaylib
    assert args == (G, 0x0CE08233, None)
    assert state == (
        f32(0.1),
        g.center,
        [{"x": 1.0, "y": 0.0, "z": 0.0, "w": 1.0}, {"x": 0.0, "y": 0.0, "z": 1.0, "w": 1.0}],
        [0.0, 0.5],
        77,
        colors,
        GradientType.Radial,
    )
    assert state[1] is g.center and state[5] is colors
    assert list(state[2][0]) == ["x", "y", "z", "w"]


def test_reduce_of_click_gradient_carries_weights():
    g = C([RED, BLUE])
    g.set_weight(0, 3)
    func, args, state = g.__reduce__()
    assert func is zg.__pyx_unpickle_ClickGradient
    assert args == (C, 0x0F8824C9, None)
    assert len(state) == 8 and state[7] == [3.0, 1.0]


@pytest.mark.parametrize("cls", [G, C])
def test_reduce_of_bare_object_carries_state_in_arguments(cls):
    bare = cls.__new__(cls)
    func, args = bare.__reduce__()
    assert args[:2] == (cls, ACCEPTED[cls][0])
    state = args[2]
    assert state[:7] == (0.0, None, [], [], 0, None, None)
    assert len(state) == len(FIELDS[cls])
    restored = func(*args)
    assert type(restored) is cls and restored.__reduce__() == bare.__reduce__()


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_click_round_trip(protocol):
    colors = [RED, (BLUE, 2)]
    g = C(colors, GradientType.Linear, angle=33.3, transparency=-4)
    g.set_weight(1, 7)
    g.center = (0.1, 0.9)
    back = pickle.loads(pickle.dumps(g, protocol))
    assert type(back) is C
    assert back.weights == g.weights == [1.0, 7.0]
    assert back.__reduce__()[2][2:] == g.__reduce__()[2][2:]
    assert back.angle == g.angle and back.transparency == -4
    assert (back.center.x, back.center.y) == (0.1, 0.9)
    assert back.raw_colors == colors and back.type is GradientType.Linear


def test_restored_stops_are_the_stored_ones():
    g = C([RED, BLUE])
    g.weights = [5, 1]  # stops not recomputed
    back = pickle.loads(pickle.dumps(g))
    assert back.__reduce__()[2][3] == [0.0, 1.0]
    assert back.weights == [5.0, 1.0]


def test_copy_module_uses_reduce():
    g = G([RED, BLUE], angle=12)
    assert copy.copy(g).__reduce__()[2] == g.__reduce__()[2]
    deep = copy.deepcopy(g)
    assert deep.raw_colors == g.raw_colors and deep.raw_colors is not g.raw_colors


class WithDict(C):
    pass


def test_subclass_dict_round_trip():
    g = WithDict([RED])
    assert len(g.__reduce__()[2]) == 8  # empty __dict__: no extra item
    g.note = "kept"
    state = g.__reduce__()[2]
    assert len(state) == 9 and state[8] == {"note": "kept"}
    back = pickle.loads(pickle.dumps(g))
    assert type(back) is WithDict and back.note == "kept"


def test_setstate_dict_update_through_method():

    g = WithDict([RED])
    state = g.__reduce__()[2] + ([("a", 1)],)
    g.__setstate__(state)  # a non-dict item is handed to __dict__.update
    assert g.a == 1


def test_setstate_ignores_items_after_dict():
    g = WithDict([RED])
    g.__setstate__(g.__reduce__()[2] + ({"b": 2}, "ignored", 5))
    assert g.b == 2


def test_setstate_dict_on_object_without_dict():
    g = C([RED])
    with pytest.raises(AttributeError):
        g.__setstate__(g.__reduce__()[2] + ({"b": 2},))


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("checksum", [0, 1, -1])
def test_checksum_mismatch(cls, checksum):
    with pytest.raises(pickle.PickleError) as info:
        UNPICKLE[cls](cls, checksum, None)
    accepted = ", ".join(f"0x{a:x}" for a in ACCEPTED[cls])
    given = "0x%x" % checksum  # noqa: UP031 - Python's %x, as the message is built
    fields = ", ".join(FIELDS[cls])
    assert str(info.value) == f"Incompatible checksums ({given} vs ({accepted}) = ({fields}))"


def test_other_class_checksum_refused():
    with pytest.raises(
        pickle.PickleError, match=r"0xf8824c9 vs \(0xce08233, 0x5c0dd12, 0x75fb95b\)"
    ):
        zg.__pyx_unpickle_GradientRaylib(G, 0x0F8824C9, None)


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("index", range(3))
def test_all_three_checksums_accepted(cls, index):
    obj = UNPICKLE[cls](cls, ACCEPTED[cls][index], None)
    assert type(obj) is cls and obj.raw_colors is None and obj.center is None


def test_unpickle_argument_checks():
    with pytest.raises(TypeError, match=r"expected tuple, got list"):
        zg.__pyx_unpickle_GradientRaylib(G, 0x0CE08233, [])
    with pytest.raises(TypeError):
        zg.__pyx_unpickle_GradientRaylib(G, "sum", None)
    with pytest.raises(TypeError):
        zg.__pyx_unpickle_GradientRaylib(int, 0x0CE08233, None)
    with pytest.raises(TypeError):
        zg.__pyx_unpickle_ClickGradient(G, 0x0F8824C9, None)  # not a subclass
    with pytest.raises(TypeError):
        zg.__pyx_unpickle_GradientRaylib(G, 0x0CE08233)


def test_unpickle_subclass_by_keyword():
    class Sub(G):
        pass

    obj = zg.__pyx_unpickle_GradientRaylib(
        __pyx_type=Sub, __pyx_checksum=0x05C0DD12, __pyx_state=None
    )
    assert type(obj) is Sub
    with pytest.raises(TypeError, match="is not safe"):
        zg.__pyx_unpickle_GradientRaylib(WithDict, 0x05C0DD12, None)


def good_state(cls=G):
    return (
        1.5,
        ZvVector2(0.2, 0.4),
        [{"x": 1, "y": 0.5, "z": 0, "w": 1, "extra": "ignored"}],
        (0.25,),
        12,
        [RED],
        "kind",
    ) + (([2.0],) if cls is C else ())


@pytest.mark.parametrize("cls", [G, C])
def test_setstate_restores_every_field(cls):
    g = cls([BLUE, RED], angle=3)
    state = good_state(cls)
    assert g.__setstate__(state) is None
    got = g.__reduce__()[2]
    assert got[0] == 1.5 and got[1] is state[1]
    assert got[2] == [{"x": 1.0, "y": 0.5, "z": 0.0, "w": 1.0}]
    assert got[3:7] == ([0.25], 12, [RED], "kind")
    if cls is C:
        assert g.weights == [2.0]


@pytest.mark.parametrize("value", [None, [], [1] * 7, "state"])
def test_setstate_refuses_non_tuple(value):
    with pytest.raises(TypeError):
        G([]).__setstate__(value)


@pytest.mark.parametrize("cls", [G, C])
@pytest.mark.parametrize("length", [0, 1, 6])
def test_short_state_refused_before_any_change(cls, length):
    g = cls([RED], angle=5)
    before = g.__reduce__()
    state = good_state(cls)[:length]
    with pytest.raises(ValueError, match=f"needs {len(FIELDS[cls])} items, got {length}"):
        g.__setstate__(state)
    assert g.__reduce__() == before
    with pytest.raises(ValueError):
        UNPICKLE[cls](cls, ACCEPTED[cls][0], state)


def test_click_state_of_seven_items_refused():
    g = C([RED])
    with pytest.raises(ValueError):
        g.__setstate__(good_state(G))


@pytest.mark.parametrize(
    "index, value, exc, message, changed",
    [
        (0, "a", TypeError, "must be real number", 0),
        (1, (0.5, 0.5), TypeError, r"Cannot convert tuple to .*ZvVector2", 1),
        (2, [[1, 2, 3, 4]], TypeError, "list indices must be integers", 2),
        (2, [5], TypeError, "Expected a mapping, got int", 2),
        (
            2,
            [{"x": 1, "y": 2, "z": 3}],
            ValueError,
            "No value specified for struct attribute 'w'",
            2,
        ),
        (2, [{"y": 2}], ValueError, "No value specified for struct attribute 'x'", 2),
        (2, 5, TypeError, "not iterable", 2),
        (3, ["x"], TypeError, "must be real number", 3),
        (4, 2**31, OverflowError, "value too large to convert to int", 4),
        (4, 2**64, OverflowError, "value too large to convert to int", 4),
        (4, -(2**100), OverflowError, "value too large to convert to int", 4),
        (4, "x", TypeError, "an integer is required", 4),
        (5, (RED,), TypeError, "Expected list, got tuple", 5),
    ],
)
def test_restore_failure_keeps_earlier_items(index, value, exc, message, changed):
    g = G([BLUE], angle=7, transparency=3)
    before = g.__reduce__()[2]
    state = list(good_state())
    state[index] = value
    with pytest.raises(exc, match=message):
        g.__setstate__(tuple(state))
    after = g.__reduce__()[2]
    for i in range(7):
        expected = state[i] if i < changed else before[i]
        if i == 2 and i < changed:
            expected = [{"x": 1.0, "y": 0.5, "z": 0.0, "w": 1.0}]
        if i == 3 and i < changed:
            expected = [0.25]
        assert after[i] == expected, i


def test_restore_colours_from_other_mappings():
    import collections

    class Mapping(collections.abc.Mapping):
        def __init__(self, **values):
            self.values = values

        def __getitem__(self, key):
            return self.values[key]

        def __iter__(self):
            return iter(self.values)

        def __len__(self):
            return len(self.values)

    state = list(good_state())
    state[2] = iter([Mapping(x=0.1, y=0.2, z=0.3, w=0.4)])
    g = G([])
    g.__setstate__(tuple(state))
    assert g.__reduce__()[2][2] == [{"x": f32(0.1), "y": f32(0.2), "z": f32(0.3), "w": f32(0.4)}]
    state[2] = [Mapping(x=1, y=2, z=3)]
    with pytest.raises(ValueError, match="struct attribute 'w'"):
        g.__setstate__(tuple(state))


def test_restored_gradient_draws_after_making_resources():
    # The shared resources exist in this process already; drawing must still work on a restored
    # object (the fresh-process case runs in test_module.py).
    g = pickle.loads(pickle.dumps(G([RED])))
    assert g.generate_texture(1, 1).read_pixels() == bytes(RED)
