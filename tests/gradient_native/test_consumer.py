"""A compiled caller (Cython, C++ mode) that cimports the gradient classes from the package's
declarations: it must see the same fields the module keeps and reach the colour update through
each object's own operation table."""

import math
import pathlib
import pickle
import warnings

import numpy as np
import pytest
from support.cython_build import build_and_import
from support.refleak import assert_no_leak

from zorva_ui.core import GradientType
from zorva_ui.fast.zvraygrad import zvraygrad

GradientRaylib = zvraygrad.GradientRaylib
ClickGradient = zvraygrad.ClickGradient

RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 128)


@pytest.fixture(scope="module")
def consumer_and_warnings():
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        module = build_and_import(pathlib.Path(__file__).with_name("gradient_consumer.pyx"))
    return module, [str(w.message) for w in caught]


@pytest.fixture(scope="module")
def consumer(consumer_and_warnings):
    return consumer_and_warnings[0]


def f32(x):
    return float(np.float32(x))


def expected_colour(c):
    return tuple(f32(ch / 255) for ch in c)


def test_import_checks_sizes_and_tables_without_complaint(consumer_and_warnings):
    # Cython compares each type's size with the declarations and warns when they differ.
    _, caught = consumer_and_warnings
    assert [m for m in caught if "size changed" in m] == []
    assert ClickGradient.__basicsize__ > GradientRaylib.__basicsize__


def test_each_type_publishes_its_own_table():
    base = GradientRaylib.__dict__["__pyx_vtable__"]
    click = ClickGradient.__dict__["__pyx_vtable__"]
    assert type(base).__name__ == type(click).__name__ == "PyCapsule"
    assert base is not click


GRADIENTS = [
    pytest.param(GradientRaylib, ([RED, GREEN],), {}, id="linear-2"),
    pytest.param(
        GradientRaylib,
        ([RED, (GREEN, 3), BLUE],),
        {"type": GradientType.Radial, "center": (0.25, 0.75), "transparency": 77},
        id="radial-weighted",
    ),
    pytest.param(GradientRaylib, ([],), {"angle": 0.1}, id="empty"),
    pytest.param(ClickGradient, ([(RED, 1), (BLUE, 3)],), {"angle": 30}, id="click"),
    pytest.param(ClickGradient, ([RED, GREEN, BLUE, RED],), {"transparency": -5}, id="click-4"),
]


@pytest.mark.parametrize(("cls", "args", "kwargs"), GRADIENTS)
def test_native_fields_match_the_module(consumer, cls, args, kwargs):
    g = cls(*args, **kwargs)
    raw, transparency, angle, center, kind = consumer.scalar_fields(g)
    assert raw is g.raw_colors
    assert center is g.center
    assert kind is g.type
    assert transparency == g.transparency
    assert angle == g.angle
    state = g.__reduce__()[2]
    assert consumer.colors(g) == [(c["x"], c["y"], c["z"], c["w"]) for c in state[2]]
    assert consumer.stops(g) == state[3]
    assert consumer.sizes(g) == (len(args[0]), len(args[0]))
    if cls is ClickGradient:
        assert consumer.weights(g) == g.weights


def test_native_colours_are_the_normalised_channels(consumer):
    g = GradientRaylib([RED, (BLUE, 2), (10, 20, 30, 40)])
    assert consumer.colors(g) == [
        expected_colour(RED),
        expected_colour(BLUE),
        expected_colour((10, 20, 30, 40)),
    ]
    assert consumer.stops(g) == pytest.approx([0.0, 0.5, 1.0])


def test_native_writes_are_seen_by_python(consumer):
    g = GradientRaylib([RED])
    consumer.set_fields(g, 42, 0.1)
    assert g.transparency == 42
    assert g.angle == f32(0.1)


def test_vector_grown_natively_is_owned_and_freed_by_the_object(consumer):
    g = GradientRaylib([RED, GREEN])
    for i in range(1000):
        consumer.add_stop(g, i)
    assert consumer.sizes(g) == (2, 1002)
    assert g.__reduce__()[2][3][-1] == 999.0
    del g  # the module frees the grown buffer (the sanitizer build checks the allocator pairing)


@pytest.mark.parametrize(
    ("colors", "stops"),
    [
        ([RED, GREEN, BLUE, RED], [0.0, 0.375, 0.625, 1.0]),
        ([(RED, 3), (GREEN, 1)], [0.5, 1.0]),
        ([(RED, 0), (GREEN, 0)], [0.0, 0.0]),
        ([RED], [0.0]),
        ([], []),
    ],
)
def test_update_through_the_table_rebuilds_colours_and_stops(consumer, colors, stops):
    raw = [BLUE]
    g = GradientRaylib(raw)
    consumer.update_colors(g, colors)
    assert consumer.colors(g) == [expected_colour(c[0] if len(c) == 2 else c) for c in colors]
    assert consumer.stops(g) == pytest.approx(stops)
    assert g.raw_colors is raw  # the native update leaves the stored list alone


def test_click_gradient_held_as_base_runs_its_own_update(consumer):
    g = ClickGradient([RED, GREEN])
    consumer.update_colors(g, [(RED, 2), (GREEN, 1), (BLUE, 1)])  # typed as GradientRaylib
    assert g.weights == [2.0, 1.0, 1.0]
    assert consumer.weights(g) == [2.0, 1.0, 1.0]
    assert consumer.stops(g) == pytest.approx([0.0, 0.625, 1.0])


def test_python_override_of_recalculate_stops_runs_from_native_update(consumer):
    calls = []

    class Tracking(ClickGradient):
        def _recalculate_stops(self):
            calls.append(list(self.weights))
            super()._recalculate_stops()

    g = Tracking([RED])
    calls.clear()
    consumer.update_colors(g, [(RED, 5), GREEN])
    consumer.update_colors_click(g, [BLUE])
    assert calls == [[5.0, 1.0], [1.0]]
    assert consumer.stops(g) == [0.0]


def test_base_update_does_not_touch_a_click_gradient_path(consumer):
    # A plain GradientRaylib keeps no weights: its table entry is the base update.
    g = GradientRaylib([RED])
    consumer.update_colors(g, [(RED, 3), (GREEN, 1)])
    assert consumer.stops(g) == [0.5, 1.0]
    assert not hasattr(g, "weights")


@pytest.mark.parametrize(
    ("bad", "exc", "message"),
    [
        (None, TypeError, "object of type 'NoneType' has no len()"),
        ([RED, [0, 0, 0, 0]], TypeError, "Expected tuple, got list"),
        ([RED, (1, 2, 3)], IndexError, None),
        ([RED, (1, 2, "x", 4)], TypeError, None),
    ],
)
@pytest.mark.parametrize("cls", [GradientRaylib, ClickGradient])
def test_native_update_failures_propagate_with_partial_state(consumer, cls, bad, exc, message):
    g = cls([GREEN, BLUE, (RED, 3)])
    stops_before = consumer.stops(g)
    with pytest.raises(exc) as info:
        consumer.update_colors(g, bad)
    if message is not None:
        assert str(info.value) == message
    # Colours converted before the bad entry stay; the stops are those of the last success.
    # With no list at all the base has already emptied its colours, the click gradient not yet.
    if bad is None:
        before = [expected_colour(c) for c in (GREEN, BLUE, RED)] if cls is ClickGradient else []
        assert consumer.colors(g) == before
    else:
        assert consumer.colors(g) == [expected_colour(RED)]
    assert consumer.stops(g) == stops_before


def test_consumer_refuses_a_non_list_before_calling(consumer):
    g = GradientRaylib([RED])
    with pytest.raises(TypeError):
        consumer.update_colors(g, (RED,))
    with pytest.raises(TypeError):
        consumer.update_colors(None, [RED])
    with pytest.raises(TypeError):
        consumer.update_colors_click(GradientRaylib([RED]), [RED])


def test_many_colours_through_the_table(consumer):
    colours = [(i % 256, (i * 7) % 256, (i * 13) % 256, 255) for i in range(10_000)]
    g = ClickGradient([])
    consumer.update_colors(g, colours)
    got = consumer.colors(g)
    assert len(got) == 10_000 and got[9_999] == expected_colour(colours[9_999])
    stops = consumer.stops(g)
    assert stops[0] == 0.0 and stops[-1] == 1.0
    assert all(a <= b for a, b in zip(stops, stops[1:], strict=False))
    assert math.isclose(stops[5_000], 5_000.5 / 10_000, rel_tol=1e-3)


def test_pickled_copy_reads_the_same_natively(consumer):
    g = ClickGradient([(RED, 2), GREEN], angle=12.5, transparency=99)
    g.set_weight(1, 4.0)
    copy = pickle.loads(pickle.dumps(g))
    assert consumer.weights(copy) == consumer.weights(g) == [2.0, 4.0]
    assert consumer.stops(copy) == consumer.stops(g)
    assert consumer.colors(copy) == consumer.colors(g)
    assert consumer.scalar_fields(copy)[1:3] == (99, 12.5)


@pytest.mark.parametrize("cls", [GradientRaylib, ClickGradient])
def test_native_calls_do_not_leak(consumer, cls):
    g = cls([RED])
    good = [RED, (GREEN, 2), BLUE]
    bad = [RED, [1, 2, 3, 4]]
    assert_no_leak(lambda: consumer.update_colors(g, good), g, good, RED)
    assert_no_leak(lambda: consumer.update_colors(g, bad), g, bad, RED)
    assert_no_leak(lambda: (consumer.colors(g), consumer.scalar_fields(g)), g)


@pytest.mark.parametrize(
    "name", ["zvraygrad.pxd", "zvraygrad.h", "zvraygrad.pyi", "../../py.typed"]
)
def test_declarations_ship_with_the_installed_module(name):
    # Compiled callers and type checkers use the installed package, not the source tree.
    installed = pathlib.Path(zvraygrad.__file__).parent / name
    source = pathlib.Path(__file__).resolve().parents[2] / "src/zorva_ui/fast/zvraygrad" / name
    assert installed.resolve().read_bytes() == source.resolve().read_bytes()
