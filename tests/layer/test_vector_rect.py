import copy
import math
import pickle

import pytest

from zorva_ui.fast.zvrect.zvrect import ZvRect
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2


class Half:
    def __float__(self):
        return 0.5


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((), {}, (0.0, 0.0)),
        ((1, 2), {}, (1.0, 2.0)),
        ((1.5,), {"y": -3}, (1.5, -3.0)),
        ((), {"y": 7.25}, (0.0, 7.25)),
        ((Half(), True), {}, (0.5, 1.0)),
    ],
)
def test_vector_constructor(args, kwargs, expected):
    v = ZvVector2(*args, **kwargs)
    assert (v.x, v.y) == expected
    assert type(v.x) is float


@pytest.mark.parametrize(
    "args, kwargs, error",
    [
        (("a",), {}, TypeError),
        ((None,), {}, TypeError),
        ((1, 2, 3), {}, TypeError),
        ((), {"z": 1}, TypeError),
        ((1,), {"x": 2}, TypeError),
    ],
)
def test_vector_constructor_refuses(args, kwargs, error):
    with pytest.raises(error):
        ZvVector2(*args, **kwargs)


def test_vector_attributes_are_writable_doubles():
    v = ZvVector2()
    v.x = 0.1
    v.y = 1e300
    assert v.x == 0.1 and v.y == 1e300  # doubles, not narrowed
    with pytest.raises(TypeError):
        v.x = "1"
    with pytest.raises(TypeError):
        del v.y


def test_vector_new_repr_eq():
    v = ZvVector2.new(3, 4.5)
    assert type(v) is ZvVector2
    assert repr(v) == "ZvVector2(3.0, 4.5)"
    assert v == ZvVector2(3, 4.5)
    assert v != ZvVector2(3, 4)
    assert (v == (3, 4.5)) is False
    with pytest.raises(TypeError):
        hash(v)
    with pytest.raises(TypeError):
        ZvVector2.new(1)
    nan = ZvVector2(math.nan, 0)
    assert nan != nan


class Sub(ZvVector2):
    pass


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_vector_pickles_as_itself(protocol):
    v = ZvVector2(-0.0, 2.5)
    back = pickle.loads(pickle.dumps(v, protocol))
    assert type(back) is ZvVector2 and back == v
    assert math.copysign(1, back.x) == -1

    s = Sub(1, 2)
    s.tag = "kept"
    back = pickle.loads(pickle.dumps(s, protocol))
    assert type(back) is Sub and back == s and back.tag == "kept"


def test_vector_copies_are_independent():
    v = ZvVector2(1, 2)
    for c in (copy.copy(v), copy.deepcopy(v)):
        assert c == v and c is not v
        c.x = 9
        assert v.x == 1


@pytest.mark.parametrize(
    "args, expected",
    [((), (0, 0, 0, 0)), ((1, 2, 3, 4), (1, 2, 3, 4)), ((0.5, -1), (0.5, -1, 0, 0))],
)
def test_rect(args, expected):
    r = ZvRect(*args)
    assert (r.x, r.y, r.width, r.height) == expected
    assert r == ZvRect(*expected)
    assert ZvRect.new(*expected) == r
    back = pickle.loads(pickle.dumps(r))
    assert back == r and type(back) is ZvRect
    assert repr(r).startswith("ZvRect(")


def test_rect_refuses():
    with pytest.raises(TypeError):
        ZvRect("x")
    with pytest.raises(TypeError):
        ZvRect.new(1, 2, 3)
    with pytest.raises(TypeError):
        ZvRect(1, 2, 3, 4, 5)


@pytest.mark.parametrize("cls", [ZvVector2, ZvRect])
def test_types_publish_vtable(cls):
    capsule = cls.__dict__["__pyx_vtable__"]
    assert type(capsule).__name__ == "PyCapsule"
