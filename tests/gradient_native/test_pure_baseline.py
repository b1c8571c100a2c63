"""The plain-Python baseline of the benchmarks must do the same work as the compiled module, or
the speed ratios compare different things: same colours, stops, angles, centres and weights."""

import pathlib
import pickle
import sys

import numpy as np
import pytest

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.fast.zvraygrad import zvraygrad

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "benchmarks"))

import pure_gradient  # noqa: E402

RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 128)


def native_state(g):
    state = g.__reduce__()[2]
    return [(c["x"], c["y"], c["z"], c["w"]) for c in state[2]], state[3]


COLOUR_LISTS = [
    [],
    [RED],
    [RED, GREEN],
    [RED, GREEN, BLUE, (10, 20, 30, 40)],
    [(RED, 3), GREEN],
    [(RED, 1), (GREEN, 3)],
    [(RED, 0), (GREEN, 0)],
    [(RED, 1), (GREEN, -1), (BLUE, 1)],
    [(RED, True), (GREEN, 2.5), BLUE],
    [(i, 255 - i, i // 2, 255) for i in range(0, 256, 3)],
]


@pytest.mark.filterwarnings("ignore:.* colours given:UserWarning")  # past the limit on purpose
@pytest.mark.parametrize("colors", COLOUR_LISTS)
@pytest.mark.parametrize(
    ("native", "pure"),
    [
        (zvraygrad.GradientRaylib, pure_gradient.PureGradient),
        (zvraygrad.ClickGradient, pure_gradient.PureClickGradient),
    ],
)
def test_same_colours_and_stops(native, pure, colors):
    g, p = native(list(colors)), pure(list(colors))
    got_colours, got_stops = native_state(g)
    assert len(got_colours) == len(p.vec_colors)
    assert np.allclose(
        np.reshape(got_colours, (-1, 4)), np.reshape(p.vec_colors, (-1, 4)), atol=1e-6
    )
    assert got_stops == pytest.approx(p.stops, abs=1e-5)


@pytest.mark.parametrize(
    ("kwargs"),
    [
        {"type": GradientType.Linear, "direction": LinearDirection.BottomLeft},
        {"type": GradientType.Linear, "direction": 30},
        {"type": GradientType.Linear, "direction": "Left"},
        {"type": GradientType.Radial, "direction": RadialDirection.TopRight},
        {"type": GradientType.Radial, "direction": (0.2, 0.8)},
        {"type": GradientType.Radial, "direction": LinearDirection.Left},
        {"type": GradientType.Linear, "direction": LinearDirection.Top, "angle": 45},
        {"type": GradientType.Radial, "center": [0.1, 0.2], "transparency": 12.9},
        {"type": "other", "direction": LinearDirection.Top},
    ],
)
def test_same_construction_steps(kwargs):
    g = zvraygrad.GradientRaylib([RED, GREEN], **kwargs)
    p = pure_gradient.PureGradient([RED, GREEN], **kwargs)
    assert g.angle == pytest.approx(p.angle)
    assert (g.center.x, g.center.y) == pytest.approx((p.center.x, p.center.y))
    assert g.transparency == p.transparency
    assert g.type is p.type and g.colors is g.raw_colors


@pytest.mark.parametrize(
    ("changes", "stops"),
    [
        ([(1, 3.0)], [0.0, 0.5]),
        ([(0, 3.0)], [0.5, 1.0]),
        ([(0, 0.0), (1, 0.0)], [0.0, 0.0]),
        ([(1, -1.0), (0, 2.0)], [3.0, 1.0]),
    ],
)
def test_same_set_weight(changes, stops):
    g = zvraygrad.ClickGradient([RED, GREEN])
    p = pure_gradient.PureClickGradient([RED, GREEN])
    for index, weight in changes:
        g.set_weight(index, weight)
        p.set_weight(index, weight)
    assert g.weights == p.weights
    assert native_state(g)[1] == pytest.approx(stops)
    assert p.stops == pytest.approx(stops)


@pytest.mark.parametrize("index", [-1, 2, 99])
def test_same_refusal_of_a_bad_index(index):
    g = zvraygrad.ClickGradient([RED, GREEN])
    p = pure_gradient.PureClickGradient([RED, GREEN])
    with pytest.raises(IndexError, match="^Color index out of range! Max: 1$"):
        g.set_weight(index, 1.0)
    with pytest.raises(IndexError, match="^Color index out of range! Max: 1$"):
        p.set_weight(index, 1.0)


def test_pickled_native_gradient_keeps_what_the_baseline_computes():
    colours = [(i * 9 % 256, i * 5 % 256, 0, 255) for i in range(8)]
    g = pickle.loads(pickle.dumps(zvraygrad.ClickGradient(colours)))
    p = pure_gradient.PureClickGradient(colours)
    got_colours, got_stops = native_state(g)
    assert np.allclose(got_colours, p.vec_colors) and np.allclose(got_stops, p.stops)
